#include "Fakes.h"
#include "RunnerError.h"
#include "TextFormat.h"
#include "uResource.h"
#include "uRunnerResource.h"

namespace {
constexpr uint16_t kGerman = 0x0407;   // de-DE
constexpr uint16_t kEnglish = 0x0409;  // en-US
}  // namespace

TEST(LanguageCodesTest, TableAndFileNames) {
  EXPECT_EQ(LanguageCode(7), "de");
  EXPECT_EQ(LanguageCode(9), "en");
  EXPECT_EQ(LanguageCode(0), "");
  EXPECT_EQ(LanguageCode(22), "pt");
  EXPECT_EQ(LanguageCode(119), "so");
  EXPECT_EQ(LanguageCode(121), "");
  EXPECT_THROW(LanguageCode(122), TRunnerError);
  EXPECT_EQ(LanguageFileName("C:\\a.b\\resource.properties", kGerman),
            "C:\\a.b\\resource_de.properties");
  EXPECT_EQ(LanguageFileName("C:\\a.b\\resource", kGerman), "C:\\a.b\\resource_de");
  EXPECT_EQ(LanguageFileName("C:\\x\\resource.properties", 0x0416), "C:\\x\\resource_pt.properties");
  EXPECT_EQ(LanguageFileName("C:\\x\\resource.properties", 0x0400), "C:\\x\\resource_.properties");
  EXPECT_EQ(LanguageFileName("C:\\x\\resource.properties", 0x007F), "");
}

class TResourceFileTest : public TSeamTest {
 protected:
  const std::string base = "C:\\Inst\\resource.properties";
  const std::string german = "C:\\Inst\\resource_de.properties";
};

TEST_F(TResourceFileTest, GermanOverlayReplacesOnlyKnownKeys) {
  fs.Put(base, "RUNNER_Cancel=Cancel\nRUNNER_Snooze=Snooze\nSun=Sun\n");
  fs.Put(german,
         "RUNNER_Cancel=Abbrechen\n   \t\nRUNNER_OnlyGerman=Nur\nRUNNER_Snooze =Schlummern\nnoequals\n");
  TResourceFile t(base, kGerman);
  EXPECT_EQ(t.GetText("RUNNER_Cancel"), "Abbrechen");
  EXPECT_EQ(t.GetText("RUNNER_Snooze"), "Snooze");
  EXPECT_EQ(t.GetText("RUNNER_OnlyGerman"), "!!MISSING RESOURCE ENTRY: RUNNER_OnlyGerman");
  EXPECT_EQ(t.GetText("sun"), "!!MISSING RESOURCE ENTRY: sun");
  EXPECT_EQ(t.GetText("Sun"), "Sun");

  TResourceFile english(base, kEnglish);  // no resource_en file: base texts
  EXPECT_EQ(english.GetText("RUNNER_Cancel"), "Cancel");
}

TEST_F(TResourceFileTest, EmptyTextMissingKeyAndMissingFile) {
  fs.Put(base, "RUNNER_Cancel=\nA= spaced = \n");
  TResourceFile t(base, kEnglish);
  EXPECT_EQ(t.GetText("RUNNER_Cancel"), "");
  EXPECT_EQ(t.GetText("A"), " spaced = ");
  EXPECT_EQ(t.GetText("RUNNER_Snooze"), "!!MISSING RESOURCE ENTRY: RUNNER_Snooze");

  TResourceFile none("C:\\Nowhere\\resource.properties", kGerman);
  EXPECT_TRUE(none.List().Lines().empty());
  EXPECT_EQ(none.GetText("X"), "!!MISSING RESOURCE ENTRY: X");
  EXPECT_EQ(none.FormatText("X", {42}), "!!MISSING RESOURCE ENTRY: X");
}

TEST_F(TResourceFileTest, DuplicateKeysTheLineSortingFirstWinsAndOverlayHitsTheFirst) {
  fs.Put(base, "K=zulu\nK=alpha\nB=x\n");
  TResourceFile t(base, kEnglish);
  EXPECT_EQ(t.GetText("K"), "alpha");
  EXPECT_EQ(t.List().Lines().front(), "B=x");

  fs.Put(german, "K=deutsch\n");
  TResourceFile g(base, kGerman);
  // The overlay replaced the first "K" line (zulu); after sorting "K=alpha" < "K=deutsch".
  EXPECT_EQ(g.GetText("K"), "alpha");
  std::vector<std::string> expect{"B=x", "K=alpha", "K=deutsch"};
  EXPECT_EQ(g.List().Lines(), expect);
}

TEST_F(TResourceFileTest, FormatTextFillsTemplates) {
  fs.Put(base, "RUNNER_will_start=Backup starts in %d seconds\nRUNNER_still_running=%s runs; close %s first\n");
  TResourceFile t(base, kEnglish);
  EXPECT_EQ(t.FormatText("RUNNER_will_start", {42}), "Backup starts in 42 seconds");
  EXPECT_EQ(t.FormatText("RUNNER_still_running", {"A", "B"}), "A runs; close B first");
  // A template that does not fit its arguments comes back unformatted.
  EXPECT_EQ(t.FormatText("RUNNER_will_start", {"text"}), "Backup starts in %d seconds");
}

TEST_F(TResourceFileTest, ProcessTableBeforeAndAfterInit) {
  FreeTextTable();
  EXPECT_EQ(GetText("Sun"), "!!MISSING RESOURCE ENTRY: Sun");
  fs.Put(base, "Sun=Sunday\nRUNNER_MENU_Open=Open %s");
  InitTextTable(base, kEnglish);
  EXPECT_EQ(GetText("Sun"), "Sunday");
  EXPECT_EQ(FormatText("RUNNER_MENU_Open", {"Stash9"}), "Open Stash9");
  FreeTextTable();
}

TEST(FormatTemplateTest, PlaceholderSyntax) {
  struct Case {
    const char* templ;
    std::vector<TFormatArg> args;
    const char* out;
  } cases[] = {
      {"plain", {}, "plain"},
      {"100%%", {}, "100%"},
      {"%s and %s", {"a", "b"}, "a and b"},
      {"%1:s before %0:s", {"a", "b"}, "b before a"},
      {"%1:s then %s", {"a", "b", "c"}, "b then c"},
      {"[%5d]", {42}, "[   42]"},
      {"[%-5d]", {42}, "[42   ]"},
      {"[%.4d]", {42}, "[0042]"},
      {"[%.4d]", {-42}, "[-0042]"},
      {"[%6.2s]", {"abcdef"}, "[    ab]"},
      {"[%-4s]", {"ab"}, "[ab  ]"},
      {"%d", {-2147483647 - 1}, "-2147483648"},
      {"%s", {""}, ""},
      {"%0:s%0:s", {"x"}, "xx"},
      {"%D %S", {7, "up"}, "7 up"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatTemplate(c.templ, c.args), c.out) << c.templ;
}

TEST(FormatTemplateTest, MisfitsComeBackUnformatted) {
  const char* misfits[] = {"%d", "%s %s", "%5:s", "%x", "%", "abc %", "%-", "%.", "%5",
                           "%99999999999d", "%.99999999s", "%p", "%n", "%*d", "%1:"};
  for (const char* t : misfits) {
    std::string out = "untouched";
    EXPECT_FALSE(TryFormatTemplate(t, {"one"}, out)) << t;
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(FormatTemplate(t, {"one"}), t);
  }
  EXPECT_EQ(FormatTemplate("%d", {"text"}), "%d");
  EXPECT_EQ(FormatTemplate("%s", {5}), "%s");
  // The width cap still allows generous padding.
  EXPECT_EQ(FormatTemplate("%4096s", {"x"}).size(), 4096u);
}

// The shipped sample texts: every key the program looks up is present in English and
// German, and every template formats with the arguments its callers pass.
#include "Fakes.h"
#include "uResource.h"

namespace {

const char* const kPlainKeys[] = {
    "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "RUNNER_Next_Backup",
    "RUNNER_Automatic_backups_disabled", "RUNNER_Error_computing_next_backup", "RUNNER_min",
    "RUNNER_hour", "RUNNER_hours", "RUNNER_Snoozing", "RUNNER_reason_switched_off_at_night",
    "RUNNER_reason_logged_out", "RUNNER_reason_automatic_backups_disabled",
    "RUNNER_reason_backup_cancelled", "RUNNER_reason_switched_off_at_time",
    "RUNNER_reason_not_connected", "RUNNER_dont_show_warning", "RUNNER_today", "RUNNER_yesterday",
    "RUNNER_Win_Shutdown_Caption", "RUNNER_Win_Shutdown", "RUNNER_Restart_Button",
    "RUNNER_JRE_not_installed", "RUNNER_MENU_Backup_Now", "RUNNER_MENU_Quit", "RUNNER_Running",
    "RUNNER_program_not_found", "RUNNER_JRE_not_found", "RUNNER_Backup_Now", "RUNNER_Cancel",
    "RUNNER_Snooze", "RUNNER_for", "RUNNER_Uninstall_heading", "RUNNER_Do_you_want_to_continue",
    "Error"};

struct TTemplateKey {
  const char* key;
  std::vector<TFormatArg> args;
};

const std::vector<TTemplateKey>& TemplateKeys() {
  static const std::vector<TTemplateKey> keys = {
      {"RUNNER_will_start", {60}},
      {"RUNNER_detected_internet", {"P"}},
      {"RUNNER_Not_backed_up", {5}},
      {"RUNNER_Skipped_last_backup", {"today", "7 PM"}},
      {"RUNNER_last_week", {"Mon"}},
      {"RUNNER_Do_you_want_to_backup_now", {"P"}},
      {"RUNNER_MENU_Open", {"P"}},
      {"RUNNER_Show", {"P"}},
      {"RUNNER_Quit_program", {"P"}},
      {"RUNNER_will_disconnect", {"P"}},
      {"RUNNER_click_to_view_status", {"P"}},
      {"RUNNER_configure_now", {"P"}},
      {"RUNNER_will_not_be_backed_up", {"P"}},
      {"RUNNER_successfully_uninstalled", {"P"}},
      {"RUNNER_continue_with_uninstall", {"P", "C:\\Dir"}},
      {"RUNNER_still_running", {"P", "P"}},
  };
  return keys;
}

class SampleTextsTest : public TSeamTest, public ::testing::WithParamInterface<uint16_t> {};

}  // namespace

TEST_P(SampleTextsTest, EveryKeyPresentAndEveryTemplateFits) {
  fs.Put("C:\\Inst\\resource.properties", ReadSample("resource.properties"));
  fs.Put("C:\\Inst\\resource_de.properties", ReadSample("resource_de.properties"));
  ASSERT_FALSE(fs.Get("C:\\Inst\\resource.properties").empty());
  TResourceFile table("C:\\Inst\\resource.properties", GetParam());
  size_t count = 0;
  for (const char* key : kPlainKeys) {
    EXPECT_EQ(table.GetText(key).find("!!MISSING"), std::string::npos) << key;
    ++count;
  }
  for (const auto& t : TemplateKeys()) {
    std::string out;
    EXPECT_TRUE(TryFormatTemplate(table.GetText(t.key), t.args, out)) << t.key;
    EXPECT_NE(out, table.GetText(t.key)) << t.key << " has no placeholder";
    ++count;
  }
  EXPECT_EQ(count, 55u);
}

INSTANTIATE_TEST_SUITE_P(EnglishAndGerman, SampleTextsTest, ::testing::Values(0x0409, 0x0407));

TEST_F(TSeamTest, GermanSampleReallyOverlays) {
  fs.Put("C:\\Inst\\resource.properties", ReadSample("resource.properties"));
  fs.Put("C:\\Inst\\resource_de.properties", ReadSample("resource_de.properties"));
  TResourceFile table("C:\\Inst\\resource.properties", 0x0407);
  EXPECT_EQ(table.GetText("RUNNER_Cancel"), "&Abbrechen");
  EXPECT_EQ(table.GetText("RUNNER_Next_Backup"), "N\xE4" "chste Sicherung:");
}

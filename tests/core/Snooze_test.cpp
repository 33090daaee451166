#include "Fakes.h"
#include "Snooze.h"
#include "TrayTip.h"
#include "uRunnerResource.h"

TEST(FormatDurationTest, Table) {
  const struct {
    int seconds;
    const char* text;
  } cases[] = {
      {0, "0s"},        {1, "1s"},          {45, "45s"},        {59, "59s"},
      {60, "1m0s"},     {61, "1m1s"},       {300, "5m0s"},      {299, "4m59s"},
      {3599, "59m59s"}, {3600, "1h0m0s"},   {3601, "1h0m1s"},   {3725, "1h2m5s"},
      {7200, "2h0m0s"}, {86399, "23h59m59s"}, {90061, "25h1m1s"}, {-1, "0s"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatDuration(c.seconds), c.text) << c.seconds;
}

// Real milliseconds, whatever the clock shows; the counter wraps in 32 bits.
TEST(RealCountdownTest, WholeRealSecondsLeft) {
  const struct {
    int seconds;
    uint32_t startMs, nowMs;
    int left;
  } cases[] = {
      {60, 5000, 5000, 60},          {60, 5000, 5999, 60},  // milliseconds dropped
      {60, 5000, 6000, 59},          {60, 5000, 65000, 0},  {60, 5000, 66500, -1},
      {7200, 0, 7200999, 0},         {7200, 0, 7201000, -1},
      {60, 0xFFFFF000u, 25904, 30},  // 30000 ms across the wrap
      {10, 5000, 4000, 11},          // a reading before the start never ends it early
  };
  for (const auto& c : cases)
    EXPECT_EQ(TRealCountdown(c.seconds, c.startMs).SecondsLeft(c.nowMs), c.left)
        << c.seconds << " " << c.startMs << " " << c.nowMs;
}

class TSnoozeChoicesTest : public TSeamTest {};

TEST_F(TSnoozeChoicesTest, ChoicesAndMinutesInListOrder) {
  fs.Put("C:\\Inst\\resource.properties", "RUNNER_min=Min.\nRUNNER_hour=Stunde\nRUNNER_hours=Stunden\n");
  InitTextTable("C:\\Inst\\resource.properties", 0x0409);
  FillSnoozeChoices();
  FreeTextTable();
  const std::array<std::string, kSnoozeChoiceCount> texts = {"5 Min.", "15 Min.", "30 Min.",
                                                             "1 Stunde", "2 Stunden"};
  EXPECT_EQ(SnoozeChoices, texts);
  const int minutes[] = {5, 15, 30, 60, 120};
  for (int i = 0; i < kSnoozeChoiceCount; ++i) {
    EXPECT_EQ(SnoozeMinutes[i], minutes[i]);
    EXPECT_EQ(SnoozeMinutesAt(i), minutes[i]);
  }
  // No selection (CB_ERR) or a bad index never reads outside the table.
  EXPECT_EQ(SnoozeMinutesAt(-1), 5);
  EXPECT_EQ(SnoozeMinutesAt(5), 5);
}

TEST_F(TSnoozeChoicesTest, SnoozeTipText) {
  fs.Put("C:\\Inst\\resource.properties", "RUNNER_Snoozing=Backup snoozed\n");
  InitTextTable("C:\\Inst\\resource.properties", 0x0409);
  EXPECT_EQ(SnoozeTipText(300), "Backup snoozed (5m0s)");
  EXPECT_EQ(SnoozeTipText(0), "Backup snoozed (0s)");
  FreeTextTable();
}

namespace {
// Shift-JIS lead bytes, as IsDBCSLeadByte reports them in code page 932.
bool ShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
}  // namespace

TEST(FitTipTextTest, ShortensWithinTheFieldWithoutSplittingCharacters) {
  const std::string a63(63, 'a'), a62(62, 'a');
  const std::string kanji = "\x93\xFA";  // one double-byte character
  const struct {
    std::string text;
    size_t field;
    TLeadBytePredicate lead;
    std::string expected;
  } cases[] = {
      {"", 64, ShiftJisLead, ""},
      {"Stash9 Scheduler", 64, ShiftJisLead, "Stash9 Scheduler"},
      {a63, 64, ShiftJisLead, a63},
      {a63 + "bcd", 64, ShiftJisLead, a63},
      {a62 + kanji, 64, ShiftJisLead, a62},               // the character would need byte 64
      {a62 + kanji, 64, nullptr, a62 + "\x93"},            // single-byte code page: plain cut
      {std::string(61, 'a') + kanji, 64, ShiftJisLead, std::string(61, 'a') + kanji},
      {"ab\x93", 64, ShiftJisLead, "ab"},                  // lead byte without its trail
      {std::string("ab\x93\0c", 5), 64, ShiftJisLead, "ab"},
      {std::string("Snoozed (1s)\0", 13), 64, ShiftJisLead, "Snoozed (1s)"},  // ends at NUL
      {"abc", 1, ShiftJisLead, ""},
      {"abc", 0, ShiftJisLead, ""},
  };
  for (const auto& c : cases) {
    const std::string got = FitTipText(c.text, c.field, c.lead);
    EXPECT_EQ(got, c.expected) << c.text;
    EXPECT_LT(got.size(), c.field == 0 ? 1 : c.field);
  }
}

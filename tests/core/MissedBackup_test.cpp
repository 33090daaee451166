// Missed-backup rules driven through the fake clock and the real schedule: the days rule,
// the slot rule, their once-a-day / once-an-hour limits, and the texts the warning shows.
#include <algorithm>

#include "Fakes.h"
#include "MissedBackup.h"
#include "SchedUnit.h"
#include "uRunnerResource.h"

namespace {

constexpr double kHour = 1.0 / 24;

TDateTime At(int day, int hour, int minute = 0) {
  // December 2026: the 7th is a Monday.
  return EncodeDateTime({2026, 12, day, hour, minute, 0, 0});
}

const char* const kSchedule = "C:\\Inst\\zqbackup.properties";

// The program's schedule over "zqbackup.properties" and its day names, as the warning's
// context gets them in the Win32 build.
class MissedBackupTest : public TSeamTest {
 protected:
  bool proxy = false;
  bool server = true;
  int serverAsked = 0;
  TMissedBackupContext ctx;

  void SetUp() override {
    TSeamTest::SetUp();
    fs.Put("C:\\Inst\\resource.properties",
           "Sun=Sunday\nMon=Monday\nTue=Tuesday\nWed=Wednesday\nThu=Thursday\nFri=Friday\n"
           "Sat=Saturday\n"
           "RUNNER_today=today\nRUNNER_yesterday=yesterday\nRUNNER_last_week=last %s\n"
           "RUNNER_Not_backed_up=No backup for %d days:\n"
           "RUNNER_Skipped_last_backup=Skipped %s at %s:\n"
           "RUNNER_Do_you_want_to_backup_now=Back up %s now?\n");
    InitTextTable("C:\\Inst\\resource.properties", 9);
    FillDayNames();
    ResetMissedWarningState();
    WarnMissedBackups = true;
    WarnAfterDays = 4;
    NoSchedule();
    CreateScheduleWith(TAmPm{});
    ctx.lastScheduledTime = [] { return Schedule->LastScheduledTime(); };
    ctx.proxyConnected = [this] { return proxy; };
    ctx.serverReachable = [this] {
      ++serverAsked;
      return server;
    };
    ctx.dayName = [](int d) { return d >= 1 && d <= 7 ? DayNames[d] : std::string("?"); };
  }
  void TearDown() override {
    FreeSchedule();
    FreeTextTable();
    TSeamTest::TearDown();
  }
  // Every day at 19:00 (the daily switch).
  void DailyAt19() { PutSchedule("scheduler.active=ON\r\nscheduler.time=07PM\r\n"); }
  // Only the given weekday's hour list (the advanced schedule), e.g. "Monday" and "19".
  void Weekly(const std::string& day, const std::string& hours) {
    PutSchedule("scheduler.advancedschedule=ON\r\nscheduler.active=OFF\r\nscheduler." + day + "=" +
                hours + "\r\n");
  }
  // Switched off: no scheduled hour at all.
  void NoSchedule() { PutSchedule("scheduler.active=OFF\r\n"); }
  // Each version of the file gets a later last-write time, so the schedule reads it again.
  void PutSchedule(const std::string& text) {
    scheduleTime += 1.0 / 1440;
    fs.Put(kSchedule, text, scheduleTime);
  }
  TDateTime scheduleTime = At(1, 0);
  void LastBackup(TDateTime t) { fs.Put("C:\\Inst\\lastbackup.idx", "", t); }
  int Tick(TDateTime now) {
    clock.now = now;
    return DueMissedWarning(ctx);
  }
};

TEST_F(MissedBackupTest, DaysRuleConditions) {
  struct TCase {
    const char* what;
    double ago;  // days since the last backup
    bool display, proxy, server, record;
    int expected;
    int serverAsks;
  };
  const TCase cases[] = {
      {"4 days 2 hours, server answers", 4 + 2 * kHour, true, false, true, true, 1, 1},
      {"3 days 23 hours", 4 - kHour, true, false, true, true, 0, 0},
      {"server silent, no proxy", 5, true, false, false, true, 0, 1},
      {"proxy: server not asked", 5, true, true, false, true, 1, 0},
      {"warnings switched off", 9, false, false, true, true, 0, 0},
      {"no lastbackup.idx", 9, true, false, true, false, 0, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    ResetMissedWarningState();
    fs.Delete("C:\\Inst\\lastbackup.idx");
    serverAsked = 0;
    WarnMissedBackups = c.display;
    proxy = c.proxy;
    server = c.server;
    const TDateTime now = At(7, 10);
    if (c.record) LastBackup(now - c.ago);
    EXPECT_EQ(Tick(now), c.expected);
    EXPECT_EQ(serverAsked, c.serverAsks);
    EXPECT_EQ(LastMissedWarningTime, c.expected ? now : kNoDateTime);
  }
}

TEST_F(MissedBackupTest, DaysRuleWarnsOnceADay) {
  LastBackup(At(1, 9));
  EXPECT_EQ(Tick(At(7, 10)), kMissedDays);
  EXPECT_EQ(Tick(At(7, 10, 1)), 0);
  EXPECT_EQ(Tick(At(8, 9, 59)), 0);
  EXPECT_EQ(Tick(At(8, 10, 1)), kMissedDays);
}

TEST_F(MissedBackupTest, SlotRuleDailyEvening) {
  WarnAfterDays = 0;
  DailyAt19();
  LastBackup(At(6, 19, 5));  // yesterday 19:05; today's 19:00 was cancelled
  EXPECT_EQ(Tick(At(7, 19, 30)), 0) << "the current hour does not count yet";
  EXPECT_EQ(Tick(At(7, 20, 0)), kMissedSlot);
  const auto text = MissedWarningMessage(kMissedSlot, ctx);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->substr(0, text->find('\r')), "Skipped today at 7 PM:");

  ResetMissedWarningState();
  LastBackup(At(7, 19, 2));
  EXPECT_EQ(Tick(At(7, 20, 0)), 0) << "today's backup did run";
}

TEST_F(MissedBackupTest, SlotRuleWarnsOnceAnHourForEitherKind) {
  WarnAfterDays = 0;
  Weekly("Monday", "19");
  LastBackup(At(1, 10));  // the Tuesday before
  EXPECT_EQ(Tick(At(7, 19, 30)), 0) << "last slot is the previous Monday, before the backup";
  EXPECT_EQ(Tick(At(7, 20, 0)), kMissedSlot);
  EXPECT_EQ(Tick(At(7, 20, 59)), 0);
  EXPECT_EQ(Tick(At(7, 21, 1)), kMissedSlot);
  // A days warning a minute ago also holds the slot rule back.
  LastMissedWarningTime = At(7, 21, 30);
  EXPECT_EQ(Tick(At(7, 22, 0)), 0);
}

TEST_F(MissedBackupTest, SlotRuleWithoutUsableSchedule) {
  WarnAfterDays = -1;
  LastBackup(At(1, 10));
  EXPECT_EQ(Tick(At(7, 20)), 0) << "no schedule at all";
  Weekly("Monday", "7P");  // an hour entry that is not a number
  EXPECT_NO_THROW(EXPECT_EQ(Tick(At(7, 20)), 0));
  EXPECT_FALSE(MissedWarningMessage(kMissedSlot, ctx));
  Weekly("Monday", "19");
  EXPECT_EQ(Tick(At(7, 20)), kMissedSlot) << "the same hours readable again";
}

TEST_F(MissedBackupTest, LastWeekTextForTheWeeklySlot) {
  WarnAfterDays = 0;
  Weekly("Monday", "19");
  LastBackup(At(1, 10) - 7);  // older than the previous Monday 19:00
  EXPECT_EQ(Tick(At(7, 19, 30)), kMissedSlot);
  const auto text = MissedWarningMessage(kMissedSlot, ctx);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->substr(0, text->find('\r')), "Skipped last Monday at 7 PM:");
}

TEST_F(MissedBackupTest, DayTexts) {
  clock.now = At(7, 20);  // Monday
  const struct {
    TDateTime t;
    const char* text;
  } cases[] = {
      {At(7, 0), "today"},       {At(7, 19), "today"},         {At(6, 23), "yesterday"},
      {At(5, 19), "Saturday"},   {At(1, 19), "Tuesday"},       {At(3, 8), "Thursday"},
      {At(7, 19) - 7, "last Monday"}, {At(7, 19) - 8, "Sunday"},
  };
  for (const auto& c : cases) EXPECT_EQ(DayText(c.t, ctx), c.text) << c.text;
}

TEST_F(MissedBackupTest, HourTexts) {
  ctx.am = "vorm.";
  ctx.pm = "nachm.";
  const struct {
    int hour;
    const char* text;
  } cases[] = {{0, "12 vorm."}, {1, "1 vorm."}, {11, "11 vorm."}, {12, "12 nachm."},
               {13, "1 nachm."}, {19, "7 nachm."}, {23, "11 nachm."}};
  for (const auto& c : cases) EXPECT_EQ(HourText(At(7, c.hour), ctx), c.text);
  // A locale without designators: the hour alone, no trailing blank.
  ctx.am.clear();
  ctx.pm.clear();
  EXPECT_EQ(HourText(At(7, 19), ctx), "7");
  EXPECT_EQ(HourText(At(7, 0), ctx), "12");
}

TEST_F(MissedBackupTest, DaysMessageAndKindRepeat) {
  ProductName = "Stash9";
  LastBackup(At(2, 9));
  clock.now = At(7, 10);
  EXPECT_EQ(ResolveMissedWarningKind(kMissedDays), kMissedDays);
  const auto text = MissedWarningMessage(ResolveMissedWarningKind(0), ctx);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->find('\n'), std::string::npos) << "lines end with CR alone";
  EXPECT_EQ(text->substr(0, text->find('\r')), "No backup for 5 days:");
  EXPECT_EQ(text->substr(text->rfind('\r') + 1), "Back up Stash9 now?");
  EXPECT_EQ(std::count(text->begin(), text->end(), '\r'), 5);
  EXPECT_NE(text->find("\r- "), std::string::npos);

  EXPECT_EQ(ResolveMissedWarningKind(kMissedSlot), kMissedSlot);
  EXPECT_EQ(ResolveMissedWarningKind(0), kMissedSlot);
}

}  // namespace

// The tick asks whether the computer is online only when the candidate says the check could
// warn: it must agree with the rule wherever the server counts, and probe and record nothing.
TEST_F(MissedBackupTest, CandidateIsTheRuleWithoutItsProbes) {
  DailyAt19();
  const struct {
    const char* what;
    int daysWarning;
    double ago;  // days since the last backup; < 0: no lastbackup.idx
    bool display;
  } cases[] = {
      {"days rule, due", 4, 5, true},
      {"days rule, too recent", 4, 3.9, true},
      {"days rule, switched off", 4, 9, false},
      {"no record", 4, -1, true},
      {"slot rule, an hour skipped", 0, 1.2, true},
      {"slot rule, backed up since", 0, 0.05, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetMissedWarningState();
    fs.Delete("C:\\Inst\\lastbackup.idx");
    WarnAfterDays = c.daysWarning;
    WarnMissedBackups = c.display;
    const TDateTime now = At(7, 20, 30);
    clock.now = now;
    if (c.ago >= 0) LastBackup(now - c.ago);
    serverAsked = 0;
    const int candidate = MissedWarningCandidate(ctx);
    EXPECT_EQ(serverAsked, 0);
    EXPECT_EQ(LastMissedWarningTime, kNoDateTime);
    server = true;
    EXPECT_EQ(Tick(now), candidate);
    // A warning just given holds the candidate back for its day or hour, as the rule.
    if (candidate) {
      EXPECT_EQ(MissedWarningCandidate(ctx), 0);
    }
  }
}

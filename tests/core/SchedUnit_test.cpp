// The schedule: comma lists, the hour of "scheduler.time", loading, the four questions,
// the file stamp. The trigger is tested over a simulated week of the real tick handler
// under Wine (tests/win/MainWindow_test.cpp).
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>

#include "Fakes.h"
#include "FolderWatch.h"
#include "MissedBackup.h"
#include "RunnerError.h"
#include "SchedUnit.h"
#include "Snooze.h"
#include "TokenUnit.h"
#include "uRunnerResource.h"

namespace {

// 6 December 2026 is a Sunday.
TDateTime At(int weekday, int hour, int minute = 0, int second = 0) {
  return EncodeDateTime({2026, 12, 5 + weekday, hour, minute, second, 0});
}

const char* const kFile = "C:\\Inst\\zqbackup.properties";
const std::string kResources =
    "Sun=Sun\nMon=Mon\nTue=Tue\nWed=Wed\nThu=Thu\nFri=Fri\nSat=Sat\n"
    "RUNNER_Next_Backup=Next backup:\n"
    "RUNNER_Automatic_backups_disabled=Automatic backups are switched off\n"
    "RUNNER_Error_computing_next_backup=The backup schedule could not be read\n";

std::string Tip(const std::string& text) { return text + std::string(1, '\0'); }

class TSchedTest : public TSeamTest {
 protected:
  void SetUp() override {
    TSeamTest::SetUp();
    fs.Put("C:\\Inst\\resource.properties", kResources);
    InitTextTable("C:\\Inst\\resource.properties", 9);
    FillDayNames();
    LastTriggerSlot = -1;
  }
  void TearDown() override {
    FreeSchedule();
    FreeTextTable();
    TSeamTest::TearDown();
  }
  // Advanced schedule with the given per-day values (index 1..7), plus the daily switch.
  static std::string Advanced(const std::map<int, std::string>& days, bool active = false,
                              const std::string& time = "07PM") {
    static const char* const names[] = {"", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::string text = "scheduler.advancedschedule=ON\r\nscheduler.active=";
    text += active ? "ON" : "OFF";
    text += "\r\nscheduler.time=" + time + "\r\n";
    for (int d = 1; d <= 7; ++d) {
      auto it = days.find(d);
      text += std::string("scheduler.") + names[d] + "=" + (it == days.end() ? "" : it->second) +
              "\r\n";
    }
    return text;
  }
  TSched Make(const TAmPm& designators = {}) { return TSched(kFile, clock, fs, designators); }
};

TEST(TokenUnitTest, CountsAndItems) {
  struct {
    const char* text;
    int count;
    std::vector<const char*> items;
  } cases[] = {
      {"", 0, {}},
      {"5", 1, {"5"}},
      {"5,", 1, {"5"}},
      {",5", 2, {"", "5"}},
      {"5,,7", 3, {"5", "", "7"}},
      {",", 1, {""}},
      {"8, 20", 2, {"8", " 20"}},
      {"9,13,", 2, {"9", "13"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ListCount(c.text), c.count) << c.text;
    for (size_t j = 0; j < c.items.size(); ++j)
      EXPECT_EQ(ListItem(c.text, static_cast<int>(j)), c.items[j]) << c.text << " #" << j;
  }
  EXPECT_EQ(ListItem("5,7", 2), "");
  EXPECT_EQ(ListItem("5,7", -1), "");
}

TEST(TSchedParseHourTest, DailyTimeForms) {
  const std::pair<const char*, const char*> cases[] = {
      {"07PM", "19"}, {"07AM", "07"}, {"10AM", "10"}, {"12AM", "0"},  {"12PM", "12"},
      {"11PM", "23"}, {"11pm", "23"}, {"19", "19"},   {"9", "9"},     {"7PM", "7P"},
      {"", ""},       {"  ", ""},     {"/\\", ""},    {"AbPM", ""},   {"0 7P M", "19"},
      {"0/7\\PM", "19"}, {"1900", "19"}, {"12:30", "12"}, {"+1PM", "13"},
  };
  for (const auto& c : cases) EXPECT_EQ(TSched::ParseHour(c.first), c.second) << c.first;
}

TEST_F(TSchedTest, LoadBuildsTheSevenLists) {
  struct {
    const char* name;
    std::optional<std::string> file;  // nullopt: no file
    std::vector<std::string> lists;   // Sunday .. Saturday
  } cases[] = {
      {"missing file: fallback", std::nullopt, {"19", "19", "19", "19", "19", "19", "19"}},
      {"daily 07PM",
       "scheduler.active=ON\nscheduler.time=07PM\nscheduler.advancedschedule=OFF\nscheduler.Mon=5\n",
       {"19", "19", "19", "19", "19", "19", "19"}},
      {"advanced keeps inner blanks", Advanced({{2, " \t8, 20 \x01"}}),
       {"", "8, 20", "", "", "", "", ""}},
      {"advanced plus daily 07AM", Advanced({{2, "9,13"}, {6, "17"}}, true, "07AM"),
       {"07", "9,13,07", "07", "07", "07", "17,07", "07"}},
      {"both off", "scheduler.advancedschedule=OFF\nscheduler.active=OFF\nscheduler.Mon=9\n",
       {"", "", "", "", "", "", ""}},
      {"unparsable time adds a trailing comma", Advanced({{2, "9"}}, true, "AbPM"),
       {"", "9,", "", "", "", "", ""}},
      {"true spelt in any case", "SCHEDULER.ACTIVE=true\nscheduler.time=11PM\n",
       {"23", "23", "23", "23", "23", "23", "23"}},
  };
  for (const auto& c : cases) {
    fs.files.clear();
    if (c.file) fs.Put(kFile, *c.file);
    TSched s = Make();
    EXPECT_EQ(s.Load(), c.file.has_value()) << c.name;
    for (int d = 1; d <= 7; ++d)
      EXPECT_EQ(s.HourList(d), c.lists[static_cast<size_t>(d - 1)]) << c.name << " day " << d;
  }
}

TEST_F(TSchedTest, QuestionsOverOneWeek) {
  struct {
    const char* name;
    std::string file;
    TDateTime now;
    int next;      // NextSlot(-1, -1)
    int distance;  // LastSlotDistance(-1, -1)
    TDateTime last;
    bool dueNow;
  } cases[] = {
      // Wednesday (4) at 18:30 and 19:10 with the daily 19:00.
      {"daily before", "scheduler.active=ON\nscheduler.time=07PM\n", At(4, 18, 30), 4 * 24 + 19,
       23, At(3, 19), false},
      {"daily within", "scheduler.active=ON\nscheduler.time=07PM\n", At(4, 19, 10), 5 * 24 + 19,
       24, At(3, 19), true},
      // A single weekly entry, Friday 22: in its hour everything points a week away.
      {"weekly within", Advanced({{6, "22"}}), At(6, 22, 30), 6 * 24 + 22, 168, At(6, 22) - 7,
       true},
      {"weekly after", Advanced({{6, "22"}}), At(6, 23), 6 * 24 + 22, 1, At(6, 22), false},
      // Saturday 23:00 to Sunday 0:00 wraps the week.
      {"wrap", Advanced({{1, "0"}}), At(7, 23, 59), 24, 167, At(1, 0), false},
      {"leading zero", Advanced({}, true, "07AM"), At(2, 7, 1), 3 * 24 + 7, 24, At(1, 7), true},
      {"inner blank", Advanced({{2, "8, 20"}}), At(2, 20, 5), 2 * 24 + 8, 12, At(2, 8), true},
      {"empty", Advanced({}), At(2, 20), -1, -1, kNoDateTime, false},
      {"hour 24 taken as it comes", Advanced({{3, "24"}}), At(4, 0, 30), 3 * 24 + 24, 168,
       At(4, 0) - 7, false},
  };
  for (const auto& c : cases) {
    fs.Put(kFile, c.file);
    clock.now = c.now;
    TSched s = Make();
    EXPECT_EQ(s.NextSlot(), c.next) << c.name;
    EXPECT_EQ(s.LastSlotDistance(), c.distance) << c.name;
    EXPECT_NEAR(s.LastScheduledTime(), c.last, 1e-7) << c.name;
    EXPECT_EQ(s.IsDueNow(), c.dueNow) << c.name;
  }
}

TEST_F(TSchedTest, ExplicitDayAndHour) {
  fs.Put(kFile, Advanced({{2, "8, 20"}, {6, "22"}}));
  TSched s = Make();
  EXPECT_TRUE(s.IsScheduledAt(2, 20));
  EXPECT_TRUE(s.IsScheduledAt(2, 8));
  EXPECT_FALSE(s.IsScheduledAt(3, 20));
  EXPECT_FALSE(s.IsScheduledAt(0, 20));
  EXPECT_FALSE(s.IsScheduledAt(8, 20));
  EXPECT_EQ(s.NextSlot(2, 9), 2 * 24 + 20);
  EXPECT_EQ(s.NextSlot(2, 20), 6 * 24 + 22);
  EXPECT_EQ(s.NextSlot(7, 0), 2 * 24 + 8);
  EXPECT_EQ(s.LastSlotDistance(2, 9), 1);
  EXPECT_EQ(s.LastSlotDistance(2, 8), 168 - (6 * 24 + 22 - (2 * 24 + 8)));
}

TEST_F(TSchedTest, EntryThatIsNotANumberNeverEndsTheProgram) {
  // "7PM" without its leading zero leaves the entry "7P"; an empty entry is no number
  // either. The trigger still finds the good entries; the other questions fail softly.
  const std::string files[] = {Advanced({{2, "9"}}, true, "7PM"), Advanced({{2, "9,,13"}})};
  for (const auto& file : files) {
    fs.Put(kFile, file);
    clock.now = At(2, 9, 15);
    TSched s = Make();
    EXPECT_TRUE(s.IsDueNow()) << file;
    EXPECT_EQ(s.NextBackupText(), Tip("The backup schedule could not be read")) << file;
    EXPECT_THROW(s.NextSlot(), TRunnerError);
    EXPECT_THROW(s.LastSlotDistance(), TRunnerError);
    EXPECT_THROW(s.LastScheduledTime(), TRunnerError);
  }
  // Hours at the integer limits do not overflow the slot arithmetic.
  fs.Put(kFile, Advanced({{2, "2147483647"}, {3, "-2147483648"}}));
  TSched s = Make();
  EXPECT_FALSE(s.IsScheduledAt(2, 9));
  EXPECT_EQ(s.NextBackupText(), Tip("Next backup: Invalid dow: -89478475"));
}

TEST_F(TSchedTest, NextBackupTextAndSlotText) {
  clock.now = At(4, 18, 30);
  fs.Put(kFile, "scheduler.active=ON\nscheduler.time=07PM\n");
  EXPECT_EQ(Make().NextBackupText(), Tip("Next backup: Wed 7 PM"));
  EXPECT_EQ(Make(TAmPm{"vorm.", "nachm."}).NextBackupText(), Tip("Next backup: Wed 7 nachm."));
  EXPECT_EQ(Make(TAmPm{"", ""}).NextBackupText(), Tip("Next backup: Wed 7"));
  fs.Put(kFile, "scheduler.active=OFF\nscheduler.advancedschedule=OFF\n");
  EXPECT_EQ(Make().NextBackupText(), Tip("Automatic backups are switched off"));

  const TSched s = Make();
  const std::pair<long long, const char*> slots[] = {
      {24, "Sun 12 AM"},      {24 + 11, "Sun 11 AM"},   {24 + 12, "Sun 12 PM"},
      {2 * 24 + 19, "Mon 7 PM"}, {191, "Sat 11 PM"},     {23, "Invalid dow: 0"},
      {192, "Invalid dow: 8"}, {-30, "Invalid dow: -1"},
  };
  for (const auto& c : slots) EXPECT_EQ(s.SlotText(c.first), c.second) << c.first;
}

TEST_F(TSchedTest, MissingDayTextIsTheKeySuffixToo) {
  fs.Put("C:\\Inst\\resource.properties", "Sun=Sun\n");
  InitTextTable("C:\\Inst\\resource.properties", 9);
  FillDayNames();
  EXPECT_EQ(DayNames[2], "!!MISSING RESOURCE ENTRY: Mon");
  fs.Put(kFile, "scheduler.advancedschedule=ON\nscheduler.!!MISSING RESOURCE ENTRY: Mon=6\n");
  TSched s = Make();
  EXPECT_TRUE(s.IsScheduledAt(2, 6));
}

// The per-day keys under the names of another language: the current names whenever one of
// them is in the file, else the base names, else another language file's; a set with all
// seven keys wins over one with only some.
TEST_F(TSchedTest, DayKeysWrittenUnderAnotherLanguage) {
  fs.Put("C:\\Inst\\resource_de.properties",
         "Sun=So\nMon=Mo\nTue=Di\nWed=Mi\nThu=Do\nFri=Fr\nSat=Sa\n");
  fs.Put("C:\\Inst\\resource_fr.properties",
         "Sun=dim.\nMon=lun.\nTue=mar.\nWed=mer.\nThu=jeu.\nFri=ven.\nSat=sam.\n");
  // Names only some days: not a set of its own.
  fs.Put("C:\\Inst\\resource_it.properties", "Sun=dom\nWed=mer\n");
  InitTextTable("C:\\Inst\\resource.properties", 7);  // German
  FillDayNames();
  ASSERT_EQ(DayNames[4], "Mi");
  ASSERT_EQ(OtherDayNames.size(), 2u);
  EXPECT_EQ(OtherDayNames[0][4], "Wed");
  EXPECT_EQ(OtherDayNames[1][4], "mer.");
  const std::string french =
      "scheduler.dim.=\nscheduler.lun.=\nscheduler.mar.=\nscheduler.mer.=11\n"
      "scheduler.jeu.=\nscheduler.ven.=\nscheduler.sam.=\n";
  struct {
    const char* name;
    std::string days;
    std::string mon, wed;
  } cases[] = {
      {"current names", "scheduler.Mi=10\n", "", "10"},
      {"base names", "scheduler.Wed=10\nscheduler.Mon=8, 9\n", "8, 9", "10"},
      {"base names in another case", "SCHEDULER.wed=10\n", "", "10"},
      {"another language file", french, "", "11"},
      {"all seven of a later set beat some of an earlier", "scheduler.Wed=10\n" + french, "", "11"},
      {"one current key keeps the current names", "scheduler.Mo=8\nscheduler.Wed=10\n", "8", ""},
      {"an empty current key is present too", "scheduler.So=\nscheduler.Wed=10\n", "", ""},
      {"no day key at all", "scheduler.Mer=10\n", "", ""},
  };
  clock.now = At(4, 9, 30);
  for (const auto& c : cases) {
    fs.Put(kFile, "scheduler.advancedschedule=ON\nscheduler.active=OFF\n" + c.days);
    TSched s = Make();
    s.Load();
    EXPECT_EQ(s.HourList(2), c.mon) << c.name;
    EXPECT_EQ(s.HourList(4), c.wed) << c.name;
  }
  // The tray tip names what is then scheduled, under the names the user reads.
  fs.Put(kFile, "scheduler.advancedschedule=ON\nscheduler.Wed=10\n");
  EXPECT_EQ(Make().NextBackupText(), Tip("Next backup: Mi 10 AM"));
  fs.Put(kFile, "scheduler.advancedschedule=OFF\nscheduler.Wed=10\n");
  EXPECT_EQ(Make().NextBackupText(), Tip("Automatic backups are switched off"));
}

TEST_F(TSchedTest, FileStampDecidesWhenToReload) {
  const TDateTime t0 = At(2, 8, 0, 10);
  fs.Put(kFile, Advanced({{2, "9"}}), t0);
  clock.now = At(2, 8);
  TSched s = Make();
  EXPECT_EQ(s.NextSlot(), 2 * 24 + 9);

  // Rewritten within the same 2-second stamp: not noticed until the next explicit Load.
  fs.Put(kFile, Advanced({{2, "10"}}), t0 + 1.0 / 86400);
  EXPECT_EQ(s.NextSlot(), 2 * 24 + 9);
  s.Load();
  EXPECT_EQ(s.NextSlot(), 2 * 24 + 10);

  // A later stamp is noticed by the next question.
  fs.Put(kFile, Advanced({{2, "11"}}), t0 + 4.0 / 86400);
  EXPECT_TRUE(s.IsScheduledAt(2, 11));

  // Deleted: the fallback, on every question, until the file is back.
  fs.Delete(kFile);
  EXPECT_EQ(s.NextSlot(), 2 * 24 + 19);
  fs.Put(kFile, Advanced({{2, "11"}}), t0 + 4.0 / 86400);
  EXPECT_EQ(s.NextSlot(), 2 * 24 + 11);

  // Changed while its writer holds it open: what was read last stays, the questions of a
  // tick make one attempt, and a tick a second later (of the clock, either way) reads the
  // new content without waiting for another change.
  fs.Put(kFile, Advanced({{2, "12"}}), t0 + 60.0 / 86400);
  fs.locked.push_back(kFile);
  fs.reads = 0;
  EXPECT_EQ(s.NextSlot(), 2 * 24 + 11);
  EXPECT_FALSE(s.IsScheduledAt(2, 19));
  EXPECT_EQ(fs.reads, 1);
  fs.locked.clear();
  EXPECT_EQ(s.NextSlot(), 2 * 24 + 11);
  clock.now -= 1.0 / 86400;
  EXPECT_EQ(s.NextSlot(), 2 * 24 + 12);

  // Held open for a moment without any change: its stamp is the one read, so nothing is
  // read and the schedule stays.
  fs.locked.push_back(kFile);
  EXPECT_EQ(s.NextSlot(), 2 * 24 + 12);
  fs.locked.clear();

  // A stamp that cannot be read counts as a change: read again, the schedule stays.
  fs.timeless.push_back(kFile);
  EXPECT_EQ(s.NextSlot(), 2 * 24 + 12);
  fs.timeless.clear();
  EXPECT_EQ(s.NextSlot(), 2 * 24 + 12);
}

TEST_F(TSchedTest, NoBackupBeforeTheFirstGoodReading) {
  fs.Put(kFile, Advanced({{2, "9"}}));
  fs.locked.push_back(kFile);  // held by its writer since start-up
  clock.now = At(2, 19, 10);
  TSched s = Make();
  EXPECT_FALSE(s.IsDueNow()) << "not even the fallback";
  EXPECT_THROW(s.LastScheduledTime(), TRunnerError);
  EXPECT_EQ(s.NextBackupText(), Tip("The backup schedule could not be read"));
}

// The tick's file times through the folder watch: a tick with nothing changed looks at no
// file, a change is seen at the next tick, and one the watch missed within a minute.
TEST_F(TSchedTest, TicksLookAtFileTimesOnlyAfterTheFolderChanged) {
  struct TFakeWatch : IFolderWatch {
    bool changed = false;
    bool Changed() override { return std::exchange(changed, false); }
  };
  TWatchedFileSystem watched(fs, clock);
  auto owned = std::make_unique<TFakeWatch>();
  TFakeWatch& watch = *owned;
  watched.Watch("C:\\Inst", std::move(owned));
  const TDateTime t0 = At(2, 7);
  fs.Put(kFile, Advanced({{2, "9"}}), t0);
  clock.now = At(2, 8);
  TSched s(kFile, clock, watched);
  auto tick = [&] {
    clock.now += 5.0 / 86400;
    watched.Look();
    return s.NextSlot();
  };
  EXPECT_EQ(tick(), 2 * 24 + 9);
  const int reads = fs.timeReads;
  for (int i = 0; i < 10; ++i) tick();
  EXPECT_EQ(fs.timeReads, reads) << "nothing changed, nothing looked at";

  fs.Put(kFile, Advanced({{2, "10"}}), t0 + 1.0 / 24);
  watch.changed = true;
  EXPECT_EQ(tick(), 2 * 24 + 10);
  fs.Put(kFile, Advanced({{2, "11"}}), t0 + 2.0 / 24);  // not reported
  int ticks = 0;
  while (tick() != 2 * 24 + 11 && ticks < 100) ++ticks;
  EXPECT_LE(ticks, 12) << "seen within a minute";
  // Files elsewhere are never remembered.
  fs.Put("C:\\Inst\\sub\\x", "", t0);
  const int before = fs.timeReads;
  watched.FileTime("C:\\Inst\\sub\\x");
  watched.FileTime("C:\\Inst\\sub\\x");
  EXPECT_EQ(fs.timeReads, before + 2);
}

TEST_F(TSchedTest, ProcessScheduleEntryPointsWithoutSchedule) {
  FreeSchedule();
  EXPECT_FALSE(IsBackupDue());
  EXPECT_FALSE(ScheduleIsDueNow());
  EXPECT_EQ(ScheduleNextBackupText(), Tip("The backup schedule could not be read"));
  LoadSchedule();  // nothing to load, nothing happens
  EXPECT_EQ(SlotKeyOf(At(7, 23, 59, 59)), 191);
  EXPECT_EQ(SlotKeyOf(At(1, 0)), 24);
  // The hour with its date: a week later is another hour.
  EXPECT_EQ(HourNumberOf(At(2, 19, 59, 59)) + 7 * 24, HourNumberOf(At(2, 19) + 7));
  EXPECT_NEAR(HourStart(HourNumberOf(At(2, 19, 30))), At(2, 19), 1e-9);
}

#ifndef _WIN32
// A clock in a real time zone, from its POSIX rule for 2026 (the C library needs no
// time-zone database for that). It keeps the time (UTC) and the real time apart: time can
// pass, the user can set the clock, and the zone's rule shifts the local time on its day.
class TZoneClock : public IClock {
 public:
  explicit TZoneClock(const char* rule) {
    if (const char* tz = std::getenv("TZ")) saved_ = tz;
    ::setenv("TZ", rule, 1);
    ::tzset();
  }
  ~TZoneClock() override {
    if (saved_)
      ::setenv("TZ", saved_->c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }
  TDateTime Now() const override { return Local(utc); }
  uint32_t RealMs() const override { return static_cast<uint32_t>(realMs); }
  // The zone's offsets a day either side; a skipped time's images lie either side of the
  // change, which is found second by second.
  TDateTime ShownAt(TDateTime local) const override {
    const long long asUtc = std::llround((local - kUnixEpoch) * 86400);
    long long before = 0, after = 0;
    for (const long long probe : {asUtc - 86400, asUtc + 86400}) {
      const long long u = asUtc - Offset(probe);
      const TDateTime image = Local(u);
      if (std::fabs(image - local) * 86400 < 0.5) return local;
      (image > local ? after : before) = u;
    }
    if (!before || !after) return local;
    while (after - before > 1) {
      const long long middle = (before + after) / 2;
      (Local(middle) > local ? after : before) = middle;
    }
    return Local(after);
  }
  // Sets the clock to a local time that exists.
  void SetLocal(int year, int month, int day, int hour, int minute) {
    std::tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    utc = std::mktime(&t);
  }
  void Pass(long long seconds) {
    utc += seconds;
    realMs += seconds * 1000;
  }
  long long utc = 0;
  long long realMs = 0;

 private:
  static constexpr double kUnixEpoch = 25569;  // 1 Jan 1970 as a date-time
  static TDateTime Local(long long u) {
    const std::time_t t = static_cast<std::time_t>(u);
    std::tm m = {};
    ::localtime_r(&t, &m);
    return EncodeDateTime({m.tm_year + 1900, m.tm_mon + 1, m.tm_mday, m.tm_hour, m.tm_min,
                           m.tm_sec, 0});
  }
  static long long Offset(long long u) {
    const std::time_t t = static_cast<std::time_t>(u);
    std::tm m = {};
    ::localtime_r(&t, &m);
    return m.tm_gmtoff;
  }
  std::optional<std::string> saved_;
};

// The trigger, the tray tip, the missed-backup rule and the warnings' countdowns and
// snoozes over whole days of 30-second ticks through daylight-saving changes and clock
// changes. A warning counts down 60 s (real time) and runs the backup for 11 minutes, unless
// the case cancels each offer or snoozes the first offer or reminder; at a snooze's end its
// warning is back. What happened is logged per day and hour.
TEST_F(TSchedTest, DaylightSavingAndClockChangesOfferEachHourOnce) {
  enum TAction { kNone, kSetClock, kSleep, kStepInRun };
  struct {
    const char* name;
    const char* rule;
    int month, day;   // the day walked, from 23:30 the evening before
    const char* hours;  // scheduled every day
    bool cancel;        // offers are cancelled instead of run
    TAction action;     // at 19:12 local (18:30 for a forward change), or 4 min into the run
    long long seconds;
    const char* tipAt1;  // the tray tip at 1:00 local ("" = not checked)
    const char* log;
    int snooze = 0;              // minutes the first offer is snoozed
    bool snoozeWarning = false;  // the first reminder is snoozed instead
    int actAt = 0;               // seconds of the day, instead of the times above
    int warnAfterDays = 0;       // 0: the rule of the skipped hour
    int lastBackupAt = -1;       // seconds of the day before; -1: when the walk begins
    bool firstRunFails = false;  // the first run writes no record
  } cases[] = {
      // Spring: 2:00 becomes 3:00 (Lord Howe: 2:30). The skipped hour is offered right after
      // the jump, and the tip names that hour beforehand.
      {"Berlin spring", "CET-1CEST,M3.5.0,M10.5.0/3", 3, 29, "2", false, kNone, 0,
       "Next backup: Sun 3 AM", "offer 29 3:00;run 29 3:01;"},
      {"Berlin spring, cancelled", "CET-1CEST,M3.5.0,M10.5.0/3", 3, 29, "2", true, kNone, 0, "",
       "offer 29 3:00;warn 29 4:00;run 29 4:01;"},
      {"New York spring", "EST5EDT,M3.2.0,M11.1.0", 3, 8, "2", false, kNone, 0,
       "Next backup: Sun 3 AM", "offer 8 3:00;run 8 3:01;"},
      {"Lord Howe spring", "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0", 10, 4, "2", false, kNone, 0,
       "Next backup: Sun 2 AM", "offer 4 2:30;run 4 2:31;"},
      // Autumn: an hour shown twice is offered once.
      {"Berlin autumn", "CET-1CEST,M3.5.0,M10.5.0/3", 10, 25, "2", false, kNone, 0, "",
       "offer 25 2:00;run 25 2:01;"},
      {"Berlin autumn, cancelled", "CET-1CEST,M3.5.0,M10.5.0/3", 10, 25, "2", true, kNone, 0, "",
       "offer 25 2:00;warn 25 3:00;run 25 3:01;"},
      {"New York autumn", "EST5EDT,M3.2.0,M11.1.0", 11, 1, "1", false, kNone, 0, "",
       "offer 1 1:00;run 1 1:01;"},
      {"Lord Howe autumn", "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0", 4, 5, "1", false, kNone, 0,
       "", "offer 5 1:00;run 5 1:01;"},
      // The user sets the clock (Monday 7 December): back by less than 3 hours repeats no
      // offer; forward over the hour offers it; by 3 hours or more the hours count as new,
      // or as missed.
      {"clock back 1 h", "UTC0", 12, 7, "19", false, kSetClock, -3600, "",
       "offer 7 19:00;run 7 19:01;"},
      {"clock forward 2 h", "UTC0", 12, 7, "19", false, kSetClock, 2 * 3600, "",
       "offer 7 20:30;run 7 20:31;"},
      {"clock forward 4 h", "UTC0", 12, 7, "19", false, kSetClock, 4 * 3600, "",
       "warn 7 22:30;run 7 22:31;"},
      {"clock back 4 h", "UTC0", 12, 7, "19", false, kSetClock, -4 * 3600, "",
       "offer 7 19:00;run 7 19:01;offer 7 19:00;run 7 19:01;"},
      // Exactly 3 hours is 3 hours, whatever the time of day it is measured from.
      {"clock forward 3 h at 18:59:30", "UTC0", 12, 7, "19", false, kSetClock, 3 * 3600, "",
       "warn 7 21:59;run 7 22:00;", 0, false, 18 * 3600 + 59 * 60 + 30},
      {"clock back 3 h at 19:30:30", "UTC0", 12, 7, "19", false, kSetClock, -3 * 3600, "",
       "offer 7 19:00;run 7 19:01;offer 7 19:00;run 7 19:01;", 0, false,
       19 * 3600 + 30 * 60 + 30},
      // Set back during the countdown: it still gives its 60 real seconds, and the hour is
      // not offered again. The record the run wrote (18:12 on the corrected clock) counts as
      // 19:00's: no reminder of 19:00.
      {"clock back 1 h in the countdown", "UTC0", 12, 7, "19", false, kSetClock, -3600, "",
       "offer 7 19:00;run 7 18:01;", 0, false, 19 * 3600 + 20},
      {"clock back 2 min in the countdown", "UTC0", 12, 7, "19", false, kSetClock, -120, "",
       "offer 7 19:00;run 7 18:59;", 0, false, 19 * 3600 + 20},
      // Set back during the run (19:05): its end does not make 19:00 new; 3 hours or more do.
      // Its record counts as above; a run that wrote none is still reminded of.
      {"clock back 30 min in the run", "UTC0", 12, 7, "19", false, kStepInRun, -1800, "",
       "offer 7 19:00;run 7 19:01;"},
      {"clock back 2 h in the run", "UTC0", 12, 7, "19", false, kStepInRun, -2 * 3600, "",
       "offer 7 19:00;run 7 19:01;"},
      {"clock back 30 min in a run without record", "UTC0", 12, 7, "19", false, kStepInRun,
       -1800, "", "offer 7 19:00;run 7 19:01;warn 7 20:00;run 7 20:01;", 0, false, 0, 0, -1,
       true},
      {"clock back 4 h in the run", "UTC0", 12, 7, "19", false, kStepInRun, -4 * 3600, "",
       "offer 7 19:00;run 7 19:01;offer 7 19:00;run 7 19:01;"},
      // A snoozed offer holds for its real length, and no reminder opens meanwhile.
      {"snoozed 2 h, skipped-hour rule", "UTC0", 12, 7, "19", false, kNone, 0, "",
       "offer 7 19:00;snooze 7 19:00;back 7 21:00;run 7 21:01;", 120},
      {"snoozed 1 h, days rule", "UTC0", 12, 7, "19", false, kNone, 0, "",
       "offer 7 19:00;snooze 7 19:00;back 7 20:00;run 7 20:01;", 60, false, 0, 1,
       19 * 3600 + 5 * 60},
      {"Berlin spring, snoozed 2 h", "CET-1CEST,M3.5.0,M10.5.0/3", 3, 29, "1", false, kNone, 0,
       "", "offer 29 1:00;snooze 29 1:00;back 29 4:00;run 29 4:01;offer 30 1:00;run 30 1:01;", 120},
      {"Berlin autumn, snoozed 2 h", "CET-1CEST,M3.5.0,M10.5.0/3", 10, 25, "1", false, kNone, 0,
       "", "offer 25 1:00;snooze 25 1:00;back 25 2:00;run 25 2:01;", 120},
      {"reminder snoozed 1 h, clock forward 1 h", "UTC0", 12, 7, "19", true, kSetClock, 3600, "",
       "offer 7 19:00;warn 7 20:00;snooze 7 20:00;back 7 22:00;run 7 22:01;", 0, true,
       20 * 3600 + 12 * 60},
  };
  const std::string lastBackup = "C:\\Inst\\lastbackup.idx";
  TMissedBackupContext ctx;
  ctx.lastScheduledTime = [] { return Schedule->LastScheduledTime(); };
  ctx.proxyConnected = [] { return true; };
  for (const auto& c : cases) {
    TZoneClock zone(c.rule);
    seams::SetClock(&zone);
    fs.Put(kFile, std::string("scheduler.advancedschedule=OFF\nscheduler.active=ON\n") +
                      "scheduler.time=" + c.hours + "\n");
    CreateScheduleWith(TAmPm{});
    LastTriggerSlot = -1;
    TriggerWatch.Forget();
    ResetMissedWarningState();
    ResetSnoozeForClientRun();
    WarnMissedBackups = true;
    WarnAfterDays = c.warnAfterDays;
    zone.SetLocal(2026, c.month, c.day - 1, 23, 30);
    fs.Put(lastBackup, "",
           zone.Now() - (c.lastBackupAt < 0 ? 0 : 84600 - c.lastBackupAt) / 86400.0);
    const long long end = zone.utc + 25 * 3600 + (c.action == kSleep ? c.seconds : 0);
    bool acted = c.action == kNone, tipChecked = !*c.tipAt1, snoozed = false, ran = false;
    // The open warnings' countdowns and the snoozes, as the dialogs and threads keep them.
    std::optional<TRealCountdown> willStart, missed, willSnooze, missedSnooze;
    std::string log;
    auto note = [&](const char* what) {
      const TDateParts p = DecodeDateTime(zone.Now());
      log += std::string(what) + " " + std::to_string(p.day) + " " + std::to_string(p.hour) +
             ":" + (p.minute < 10 ? "0" : "") + std::to_string(p.minute) + ";";
    };
    auto snooze = [&](std::optional<TRealCountdown>& slot, std::atomic<bool>& pending) {
      snoozed = true;
      note("snooze");
      pending = true;
      slot.emplace((c.snooze ? c.snooze : 60) * 60, zone.RealMs());
    };
    auto run = [&] {
      note("run");
      NoteBackupRunStarting();
      ResetSnoozeForClientRun();
      willStart.reset();
      missed.reset();
      willSnooze.reset();
      missedSnooze.reset();
      const bool stepHere = !acted && c.action == kStepInRun &&
                            DecodeDateTime(zone.Now()).day == c.day;
      for (int minute = 1; minute <= 11; ++minute) {
        zone.Pass(60);
        if (stepHere && minute == 4) {
          acted = true;
          zone.utc += c.seconds;
        }
      }
      if (ran || !c.firstRunFails) fs.Put(lastBackup, "", zone.Now());
      ran = true;
      NoteClientRunEnded();
    };
    auto showWillStart = [&] {
      missed.reset();  // the scheduled backup answers both
      if (MissedSnoozePending.exchange(false)) missedSnooze.reset();
      if (WillStartSnoozePending.exchange(false)) willSnooze.reset();
      if (c.cancel) return;
      if (c.snooze && !snoozed)
        snooze(willSnooze, WillStartSnoozePending);
      else
        willStart.emplace(60, zone.RealMs());
    };
    while (zone.utc < end) {
      const TDateParts p = DecodeDateTime(zone.Now());
      if (!tipChecked && p.hour == 1) {
        tipChecked = true;
        EXPECT_EQ(ScheduleNextBackupText(), Tip(c.tipAt1)) << c.name;
      }
      const int actAt = c.actAt              ? c.actAt
                        : c.seconds > 0 && c.action == kSetClock ? 18 * 3600 + 30 * 60
                                                                 : 19 * 3600 + 12 * 60;
      if (!acted && c.action != kStepInRun && p.day == c.day &&
          p.hour * 3600 + p.minute * 60 + p.second >= actAt) {
        acted = true;
        if (c.action == kSetClock)
          zone.utc += c.seconds;
        else
          zone.Pass(c.seconds);
      }
      const uint32_t now = zone.RealMs();
      // The snoozes' ends (their messages), the countdowns, then the tick handler.
      if (willSnooze && willSnooze->SecondsLeft(now) < 0) {
        note("back");
        showWillStart();
      }
      if (missedSnooze && missedSnooze->SecondsLeft(now) < 0 &&
          MissedSnoozePending.exchange(false)) {
        missedSnooze.reset();
        note("back");
        LastMissedWarningTime = zone.Now();
        missed.emplace(60, now);
      }
      if ((willStart && willStart->SecondsLeft(now) <= 0) ||
          (missed && missed->SecondsLeft(now) <= 0)) {
        run();
      } else if (IsBackupDue()) {
        note("offer");
        showWillStart();
      } else if (MissedWarningMayOpen(missed.has_value(), willStart.has_value()) &&
                 DueMissedWarning(ctx)) {
        note("warn");
        if (c.snoozeWarning && !snoozed)
          snooze(missedSnooze, MissedSnoozePending);
        else
          missed.emplace(60, now);
      }
      zone.Pass(30);
    }
    EXPECT_EQ(log, c.log) << c.name;
    seams::SetClock(&clock);
  }
  ResetSnoozeForClientRun();
}
#endif

}  // namespace

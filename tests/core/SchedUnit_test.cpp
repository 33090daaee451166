// The schedule: comma lists, the hour of "scheduler.time", loading, the four questions,
// the file stamp. The trigger is tested over a simulated week of the real tick handler
// under Wine (tests/win/MainWindow_test.cpp).
#include <map>

#include "Fakes.h"
#include "RunnerError.h"
#include "SchedUnit.h"
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

TEST_F(TSchedTest, ProcessScheduleEntryPointsWithoutSchedule) {
  FreeSchedule();
  EXPECT_FALSE(IsBackupDue());
  EXPECT_FALSE(ScheduleIsDueNow());
  EXPECT_EQ(ScheduleNextBackupText(), Tip("The backup schedule could not be read"));
  LoadSchedule();  // nothing to load, nothing happens
  clock.now = At(7, 23, 59, 59);
  EXPECT_EQ(CurrentSlotKey(), 191);
  clock.now = At(1, 0);
  EXPECT_EQ(CurrentSlotKey(), 24);
}

}  // namespace

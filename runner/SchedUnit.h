// The weekly backup schedule of "zqbackup.properties": whole hours of the week.
// Weekdays are 1 = Sunday ... 7 = Saturday, hours 0..23; an hour of the week is a slot,
// day * 24 + hour (24 = Sunday 0:00 ... 191 = Saturday 23:00).
// Everything here runs on the GUI thread (start-up and the tick handler); no locks.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DateTime.h"
#include "Seams.h"

class TPropertyList;

constexpr int kHoursPerWeek = 168;

// The seven localised day names, index 1 (Sunday) to 7 (Saturday); index 0 is unused.
// They are also the suffixes of the per-day keys "scheduler.<day>".
extern std::array<std::string, 8> DayNames;
// Fills DayNames from the text table ("Sun" ... "Sat"), and OtherDayNames. Start-up, once.
void FillDayNames();
using TDayNameSet = std::array<std::string, 8>;
// The day names of the other tables beside the text table's file, in the order they are
// tried: the base file's, then each language file's that names all seven days (in the
// order of the language codes); sets equal to DayNames or to an earlier one are left out.
// The per-day keys may have been written under any of them (another user, another
// language of the client, a language changed after set-up).
extern std::vector<TDayNameSet> OtherDayNames;
// The names under which the per-day keys of `props` are read: DayNames whenever one of
// its seven keys is present; otherwise the first set of OtherDayNames with all seven keys
// present, else the first with any of them; DayNames when none has one.
const TDayNameSet& DayKeyNamesFor(const TPropertyList& props);

constexpr long long SlotOf(long long day, long long hour) { return day * 24 + hour; }
// to - from, plus a week when that is 0 or less: 1..168 for slots of one week.
constexpr long long HoursForward(long long from, long long to) {
  return to - from <= 0 ? to - from + kHoursPerWeek : to - from;
}
// slot + hours, minus a week when the sum is 192 or more.
constexpr long long AddHours(long long slot, long long hours) {
  return slot + hours >= 192 ? slot + hours - kHoursPerWeek : slot + hours;
}

// The user locale's designators for hours before and after noon (SlotText). Empty
// designators show the hour alone.
struct TAmPm {
  std::string am = "AM";
  std::string pm = "PM";
};

class TSched {
 public:
  // Keeps references to `clock` and `fs` (they must outlive the object). Does not read
  // the file: the lists stay empty until Load or the first question.
  TSched(std::string fileName, IClock& clock, IFileSystem& fs, TAmPm designators = {});

  // Re-reads the file (waiting at most about 100 ms for a writer that holds it) and
  // rebuilds the seven hour lists. Never fails. A missing file gives the fallback schedule,
  // every day at 19:00; a file that exists but cannot be read at this moment (the Java
  // client holds it) keeps the lists of the last good reading, and before any good reading
  // no hour is scheduled and NextSlot and LastSlotDistance throw. False in both cases.
  bool Load();
  // Calls Load when the file's last-write stamp differs from the one of the last
  // successful reading, or when the file is missing. A file found busy is tried again at
  // most once a second of the clock, so the questions of one tick make one attempt between
  // them. Every question below starts with it.
  void ReloadIfChanged();

  // An entry of that day's list, read as an integer, equals `hour`. Entries that are not
  // integers match nothing.
  bool IsScheduledAt(int day, int hour);
  // IsScheduledAt for the weekday and hour of `t`.
  bool IsDueAt(TDateTime t);
  bool IsDueNow() { return IsDueAt(clock_.Now()); }

  // The first scheduled slot after the given hour, never the hour itself; -1 when the
  // schedule is empty. day = hour = -1 means now. Throws TRunnerError when an entry is
  // not an integer: callers must catch it.
  int NextSlot(int day = -1, int hour = -1);
  // Hours back to the most recent scheduled slot (1..168; an entry in the given hour
  // counts 168), -1 when the schedule is empty. Throws TRunnerError as NextSlot.
  int LastSlotDistance(int day = -1, int hour = -1);
  // Start of the most recent scheduled hour before the current one, or kNoDateTime when
  // the schedule is empty. Throws TRunnerError as NextSlot.
  TDateTime LastScheduledTime();

  // The tray tip: "<RUNNER_Next_Backup> <SlotText>", or the disabled or error text.
  // Always ends with one NUL character, which ends the tip where it is copied. Never throws
  // TRunnerError.
  std::string NextBackupText();
  // Day name and 12-hour time, "Mon 7 PM"; "Invalid dow: N" for a day outside 1..7.
  std::string SlotText(long long slot) const;

  // The daily hour of "scheduler.time": "07PM" -> "19", "07AM" -> "07", "12AM" -> "0",
  // "19" -> "19"; "" when nothing usable is left.
  static std::string ParseHour(const std::string& text);

  const std::string& FileName() const { return fileName_; }
  // Hour list of a day (1..7), as kept: decimal entries separated by ",".
  const std::string& HourList(int day) const { return lists_[static_cast<size_t>(day)]; }

 private:
  // Best distance over every entry; `backwards` measures from the entry to `now`.
  long long BestDistance(long long now, bool backwards);
  void ResolveNow(int& day, int& hour) const;

  std::string fileName_;
  IClock& clock_;
  IFileSystem& fs_;
  TAmPm designators_;
  int32_t stamp_ = -1;  // DOS-packed last-write stamp of the last successful reading
  std::array<std::string, 8> lists_;
  bool read_ = false;         // the lists come from a reading (or the missing file's fallback)
  bool busy_ = false;         // the last reading found the file held
  TDateTime busySince_ = 0;   // when that was, by the clock
};

// The process's schedule over InstallPath("zqbackup.properties"), created at start-up and
// freed when the message loop ends. Null before and after.
extern std::unique_ptr<TSched> Schedule;
// Creates Schedule with the seams' clock and file system. CreateSchedule (Win32) takes
// the designators from the user's locale.
void CreateScheduleWith(const TAmPm& designators);
void CreateSchedule();
void LoadSchedule();
void FreeSchedule();
// Schedule->NextBackupText(), or the error text (with its NUL) when there is no Schedule.
std::string ScheduleNextBackupText();
bool ScheduleIsDueNow();

// Slot key of a time: its slot, day * 24 + hour (24..191). The hour of the week, without
// its date.
int SlotKeyOf(TDateTime t);

// Whole hours on the local clock since 30 Dec 1899 00:00: an hour with its date. The same
// weekday and hour a week later is another hour; the hour that the autumn change shows
// twice is one hour.
long long HourNumberOf(TDateTime t);
TDateTime HourStart(long long hourNumber);
long long CurrentHourNumber();

// Tells a change of the local clock (set by the user, or a daylight-saving rule) from
// time simply passing, by comparing how far the clock moved with the real time between
// two readings.
class TClockWatch {
 public:
  // Whole seconds (rounded) by which the local clock moved beyond (positive) or fell behind
  // (negative) the real time since the previous reading; 0 for the first reading and after
  // Restart.
  long long Step(TDateTime local, uint32_t realMs);
  // The next Step measures from this reading.
  void Restart(TDateTime local, uint32_t realMs);
  void Forget() { known_ = false; }
  // Local time and real milliseconds between the last two readings (0 before two).
  TDateTime Previous() const { return previous_; }
  uint32_t RealElapsedMs() const { return elapsed_; }

 private:
  bool known_ = false;
  TDateTime local_ = kNoDateTime, previous_ = kNoDateTime;
  uint32_t real_ = 0, elapsed_ = 0;
};

// A change of the clock smaller than this is drift, not a change.
constexpr long long kClockChangeMinSeconds = 60;
// Changes of less than 3 hours are the clock's (daylight saving, the user correcting it):
// the hours skipped forward are offered, the hours repeated backward not again. Changes of
// 3 hours or more are treated as time that passed (sleep, the computer off) or as a new
// start.
constexpr long long kClockChangeMaxSeconds = 3 * 3600;
// A forward change counts only when it came between two close readings; after a longer
// gap (sleep) the missed-backup warnings deal with the hours in between.
constexpr uint32_t kClockChangeMaxGapMs = 10 * 60 * 1000;

// What a step of TClockWatch is; the one place that draws the lines above.
enum class TClockStep {
  None,        // less than a minute either way: drift
  Forward,     // a minute to less than 3 hours ahead
  Back,        // a minute to less than 3 hours back
  FarForward,  // 3 hours or more ahead
  FarBack,     // 3 hours or more back
};
TClockStep KindOfStep(long long seconds);

// The trigger of a scheduled backup, at `now` (local) and `realMs` (IClock::RealMs):
// - the schedule has the hour of `now`, and `lastTriggerSlot` (an HourNumberOf) is not
//   that hour or a later one (offered already, or a client run ended in it);
// - or the clock has just jumped forward by less than 3 hours over a scheduled hour that
//   was not offered: the spring change skips it, so it is offered once, now.
// A clock set back by less than 3 hours offers no hour again that was offered before; set
// back by more, the hours ahead count as new. On true, `lastTriggerSlot` takes the hour
// of `now`.
bool IsBackupDueAt(TSched& sched, TDateTime now, uint32_t realMs, long long& lastTriggerSlot,
                   TClockWatch& watch);
// The program's trigger: IsBackupDueAt(*Schedule, clock, LastTriggerSlot, TriggerWatch);
// false without a Schedule.
bool IsBackupDue();
// After a client run: the hour it ended in counts as offered, and a clock change during
// the run offers nothing afterwards (the run covered it). The ticks rest during a run, so
// TriggerWatch measures the run: a clock set back by less than 3 hours meanwhile moves
// LastTriggerSlot back by nothing; set back by 3 hours or more, the hours ahead count as
// new (the end's hour is the last offered one). When the run wrote the backup record, the
// hour offered before it counts as backed up (NoteBackupRunEnded).
void NoteClientRunEnded();
extern TClockWatch TriggerWatch;

#include "SchedUnit.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>

#include "ActivityLog.h"
#include "Globals.h"
#include "LogTexts.h"
#include "MissedBackup.h"
#include "Properties.h"
#include "RunnerError.h"
#include "TokenUnit.h"
#include "uResource.h"
#include "uRunnerResource.h"

std::array<std::string, 8> DayNames;
std::vector<TDayNameSet> OtherDayNames;
std::unique_ptr<TSched> Schedule;

namespace {

const char* const kDayKeys[8] = {"", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kFallbackHour = "19";
// A clock time of one second, in days: how long a busy file rests between two attempts.
constexpr TDateTime kBusyRetryAfter = 1.0 / 86400;

// Blanks and control characters at both ends go; inner ones stay.
std::string TrimControls(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

// A packed DOS date and time (date in the high word), as the 2-second file stamp. 0 for a
// time that has none (no file time, or outside 1980..2107).
int32_t DosStamp(TDateTime t) {
  if (!(t > 0)) return 0;
  const TDateParts p = DecodeDateTime(t);
  if (p.year < 1980 || p.year > 2107) return 0;
  const uint32_t date = (static_cast<uint32_t>(p.year - 1980) << 9) |
                        (static_cast<uint32_t>(p.month) << 5) | static_cast<uint32_t>(p.day);
  const uint32_t time = (static_cast<uint32_t>(p.hour) << 11) |
                        (static_cast<uint32_t>(p.minute) << 5) |
                        static_cast<uint32_t>(p.second / 2);
  return static_cast<int32_t>((date << 16) | time);
}

// Two characters as a decimal number with an optional sign ("07", "+7", "-1").
bool ParseTwoDigits(const std::string& s, int& value) {
  size_t i = 0;
  int sign = 1;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) sign = s[i++] == '-' ? -1 : 1;
  if (i >= s.size()) return false;
  int acc = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    acc = acc * 10 + (s[i] - '0');
  }
  value = sign * acc;
  return true;
}

int ToSlotResult(long long v) {
  // Only absurd entries (hours near the integer limits) leave the int range.
  if (v < INT_MIN || v > INT_MAX) throw TRunnerError("Schedule entry out of range");
  return static_cast<int>(v);
}

}  // namespace

namespace {

// The seven day names that a text file itself defines, non-empty; nullopt when it names
// fewer (a language file without them takes the base names, which are tried anyway) or
// cannot be read.
std::optional<TDayNameSet> DayNamesOfFile(const std::string& path) {
  if (!seams::Fs().Exists(path)) return std::nullopt;
  try {
    const TPropertyList list = ReadPropertyFile(path, true);
    TDayNameSet names;
    for (int d = 1; d <= 7; ++d) {
      names[static_cast<size_t>(d)] = ValueOf(list, kDayKeys[d]);
      if (names[static_cast<size_t>(d)].empty()) return std::nullopt;
    }
    return names;
  } catch (const TRunnerError&) {
    return std::nullopt;
  }
}

void AddDayNameSet(const std::optional<TDayNameSet>& names) {
  if (!names || *names == DayNames) return;
  if (std::find(OtherDayNames.begin(), OtherDayNames.end(), *names) != OtherDayNames.end())
    return;
  OtherDayNames.push_back(*names);
}

// How many of the seven keys "scheduler.<name>" the file holds.
int DayKeysPresent(const TPropertyList& props, const TDayNameSet& names) {
  int present = 0;
  for (int d = 1; d <= 7; ++d)
    if (FindKey(props, "scheduler." + names[static_cast<size_t>(d)]) >= 0) ++present;
  return present;
}

}  // namespace

void FillDayNames() {
  for (int d = 1; d <= 7; ++d) DayNames[static_cast<size_t>(d)] = GetText(kDayKeys[d]);
  OtherDayNames.clear();
  if (!TextTable) return;
  const std::string& base = TextTable->FileName();
  AddDayNameSet(DayNamesOfFile(base));
  // No directory listing: the language files that can exist are those of the codes.
  for (unsigned lang = 1; lang < 122; ++lang)
    if (!LanguageCode(lang).empty())
      AddDayNameSet(DayNamesOfFile(LanguageFileName(base, static_cast<uint16_t>(lang))));
}

const TDayNameSet& DayKeyNamesFor(const TPropertyList& props) {
  if (DayKeysPresent(props, DayNames) > 0) return DayNames;
  const TDayNameSet* partial = nullptr;
  for (const TDayNameSet& names : OtherDayNames) {
    const int present = DayKeysPresent(props, names);
    if (present == 7) return names;
    if (present > 0 && !partial) partial = &names;
  }
  return partial ? *partial : DayNames;
}

TSched::TSched(std::string fileName, IClock& clock, IFileSystem& fs, TAmPm designators)
    : fileName_(std::move(fileName)), clock_(clock), fs_(fs), designators_(std::move(designators)) {}

bool TSched::Load() {
  const TFileRead file = fs_.Read(fileName_, kTickPatienceMs);
  // Whatever time the file shows next, it is read again: after a busy or missing file the
  // last good stamp no longer describes the lists.
  if (file.outcome != TReadOutcome::Read) stamp_ = -1;
  busy_ = file.outcome == TReadOutcome::Busy;
  if (busy_) {
    // Its writer holds it: the file is not gone, and what it said last still holds.
    busySince_ = clock_.Now();
    LogIfChanged("schedule read", "file busy: the last reading is kept");
    return false;
  }
  read_ = true;
  for (auto& list : lists_) list.clear();
  if (file.outcome == TReadOutcome::Missing) {
    for (int d = 1; d <= 7; ++d) lists_[static_cast<size_t>(d)] = kFallbackHour;
    LogIfChanged("schedule read", "file missing: every day at " + std::string(kFallbackHour));
    return false;
  }
  TPropertyList props;
  props.SetText(file.data);
  if (IsTrueValue(ValueOf(props, "scheduler.advancedschedule"))) {
    // Keys written under the names of another language still count (DayKeyNamesFor).
    const TDayNameSet& names = DayKeyNamesFor(props);
    for (int d = 1; d <= 7; ++d)
      lists_[static_cast<size_t>(d)] =
          TrimControls(ValueOf(props, "scheduler." + names[static_cast<size_t>(d)]));
  }
  const std::string hour = ParseHour(ValueOf(props, "scheduler.time"));
  if (IsTrueValue(ValueOf(props, "scheduler.active"))) {
    for (int d = 1; d <= 7; ++d) {
      std::string& list = lists_[static_cast<size_t>(d)];
      if (list.empty())
        list = hour;
      else
        list += "," + hour;
    }
  }
  LogIfChanged("schedule read", ScheduleText(*this));
  return true;
}

void TSched::ReloadIfChanged() {
  // The time first: it is 0 for a missing file, so the existence test (a second system
  // call on every question) is needed only then.
  const int32_t stamp = DosStamp(fs_.FileTime(fileName_));
  if (stamp == 0 && !fs_.Exists(fileName_)) {
    // The fallback, on every question while the file is missing. The stamp is forgotten:
    // a file that comes back with its old time (restored from a copy) is read again.
    Load();
    return;
  }
  if (stamp == stamp_) return;
  // Held by its writer a moment ago: each attempt may wait up to 100 ms on the GUI thread,
  // so the other questions of this tick keep the lists, and a later tick tries again.
  if (busy_ && std::fabs(clock_.Now() - busySince_) < kBusyRetryAfter) return;
  if (Load()) stamp_ = stamp;
}

bool TSched::IsScheduledAt(int day, int hour) {
  ReloadIfChanged();
  if (day < 1 || day > 7) return false;
  const std::string& list = lists_[static_cast<size_t>(day)];
  const int n = ListCount(list);
  for (int j = 0; j < n; ++j) {
    int h = 0;
    if (TryParseInteger(ListItem(list, j), h) && h == hour) return true;
  }
  return false;
}

bool TSched::IsDueAt(TDateTime t) { return IsScheduledAt(DayOfWeek(t), HourOf(t)); }

void TSched::ResolveNow(int& day, int& hour) const {
  if (day != -1 && hour != -1) return;
  const TDateTime now = clock_.Now();
  if (day == -1) day = DayOfWeek(now);
  if (hour == -1) hour = HourOf(now);
}

long long TSched::BestDistance(long long now, bool backwards) {
  ReloadIfChanged();
  // No announcement from a file never read: its writer held it since start-up.
  if (!read_) throw TRunnerError("The schedule has not been read yet");
  long long best = 999;
  for (int d = 1; d <= 7; ++d) {
    const std::string& list = lists_[static_cast<size_t>(d)];
    const int n = ListCount(list);
    for (int j = 0; j < n; ++j) {
      const std::string item = ListItem(list, j);
      int h = 0;
      if (!TryParseInteger(item, h))
        throw TRunnerError("'" + item + "' is not a valid integer value");
      const long long slot = SlotOf(d, h);
      const long long distance = backwards ? HoursForward(slot, now) : HoursForward(now, slot);
      if (distance < best) best = distance;
    }
  }
  return best;
}

int TSched::NextSlot(int day, int hour) {
  ResolveNow(day, hour);
  const long long now = SlotOf(day, hour);
  const long long best = BestDistance(now, false);
  return best == 999 ? -1 : ToSlotResult(AddHours(now, best));
}

int TSched::LastSlotDistance(int day, int hour) {
  ResolveNow(day, hour);
  const long long best = BestDistance(SlotOf(day, hour), true);
  return best == 999 ? -1 : ToSlotResult(best);
}

TDateTime TSched::LastScheduledTime() {
  const long long current = HourNumberOf(clock_.Now());
  long long hour = current;
  // Whole hours from the same decoded hour as the slot: truncating t * 24 in floating
  // point can land just below an exact hour boundary. A scheduled hour that the spring
  // change skipped was offered when the clock went on, so it counts from that hour: not
  // yet passed while that is the current hour (the entry before it is the last one then).
  for (int step = 0; step <= kHoursPerWeek; ++step) {
    const TDateTime at = HourStart(hour);
    const int distance = LastSlotDistance(DayOfWeek(at), HourOf(at));
    if (distance == -1) return kNoDateTime;
    hour -= distance;
    const long long shown = HourNumberOf(clock_.ShownAt(HourStart(hour)));
    if (shown == hour || shown < current) return HourStart(shown);
  }
  return kNoDateTime;
}

std::string TSched::NextBackupText() {
  std::string text;
  try {
    const TDateTime now = clock_.Now();
    const int day = DayOfWeek(now), hour = HourOf(now);
    long long slot = NextSlot(day, hour);
    if (slot == -1) {
      text = GetText("RUNNER_Automatic_backups_disabled");
    } else {
      // An hour that the spring change skips never comes: the tip names the hour in which
      // the backup will be offered, the first one after the jump.
      const long long at = HourNumberOf(now) + HoursForward(SlotOf(day, hour), slot);
      const TDateTime shown = clock_.ShownAt(HourStart(at));
      if (HourNumberOf(shown) != at) slot = SlotKeyOf(shown);
      text = GetText("RUNNER_Next_Backup") + " " + SlotText(slot);
    }
  } catch (const TRunnerError&) {
    text = GetText("RUNNER_Error_computing_next_backup");
  }
  text.push_back('\0');
  return text;
}

std::string TSched::SlotText(long long slot) const {
  const long long day = slot / 24;
  if (day < 1 || day > 7) return "Invalid dow: " + std::to_string(day);
  const int hour = static_cast<int>(slot % 24);
  const int h12 = hour % 12 == 0 ? 12 : hour % 12;
  const std::string& designator = hour < 12 ? designators_.am : designators_.pm;
  std::string text = DayNames[static_cast<size_t>(day)] + " " + std::to_string(h12);
  if (!designator.empty()) text += " " + designator;
  return text;
}

std::string TSched::ParseHour(const std::string& text) {
  std::string s;
  for (char c : text)
    if (c != '/' && c != '\\' && c != ' ') s.push_back(c);
  if (s.empty()) return {};
  s = UpperAscii(s);
  if (s.size() != 4) return s.substr(0, 2);
  if (s == "12AM") return "0";
  if (s == "12PM") return "12";
  if (s.compare(2, 2, "PM") == 0) {
    int h = 0;
    if (!ParseTwoDigits(s.substr(0, 2), h)) return {};
    return std::to_string(h + 12);
  }
  return s.substr(0, 2);
}

void CreateScheduleWith(const TAmPm& designators) {
  Schedule = std::make_unique<TSched>(InstallPath("zqbackup.properties"), seams::Clock(),
                                      seams::Fs(), designators);
}

void LoadSchedule() {
  if (Schedule) Schedule->Load();
}

void FreeSchedule() { Schedule.reset(); }

std::string ScheduleNextBackupText() {
  if (Schedule) return Schedule->NextBackupText();
  std::string text = GetText("RUNNER_Error_computing_next_backup");
  text.push_back('\0');
  return text;
}

bool ScheduleIsDueNow() { return Schedule && Schedule->IsDueNow(); }

int SlotKeyOf(TDateTime t) { return static_cast<int>(SlotOf(DayOfWeek(t), HourOf(t))); }

// From the decoded hour, as LastScheduledTime: t * 24 truncated in floating point can land
// just below an exact hour.
long long HourNumberOf(TDateTime t) { return static_cast<long long>(DatePart(t)) * 24 + HourOf(t); }

TDateTime HourStart(long long hourNumber) { return static_cast<TDateTime>(hourNumber) / 24.0; }

long long CurrentHourNumber() { return HourNumberOf(seams::Clock().Now()); }

long long TClockWatch::Step(TDateTime local, uint32_t realMs) {
  const bool known = known_;
  const TDateTime before = local_;
  const uint32_t elapsed = realMs - real_;
  previous_ = known ? before : kNoDateTime;
  elapsed_ = known ? elapsed : 0;
  Restart(local, realMs);
  if (!known) return 0;
  // Signed: a reading taken before the previous one gives a negative real time (the
  // 32-bit counter wraps after 49.7 days; within half of that the sign holds). Both clocks
  // in whole milliseconds, then the step rounded to whole seconds, so that a step of
  // exactly 3 hours is 10800 whatever the time of day: the difference of two date-times
  // scaled to seconds falls a hair either side of it.
  const long long localMs = std::llround(local * 86400000.0) - std::llround(before * 86400000.0);
  const long long stepMs = localMs - static_cast<int32_t>(elapsed);
  return stepMs >= 0 ? (stepMs + 500) / 1000 : -((-stepMs + 500) / 1000);
}

TClockStep KindOfStep(long long seconds) {
  if (seconds >= kClockChangeMaxSeconds) return TClockStep::FarForward;
  if (seconds <= -kClockChangeMaxSeconds) return TClockStep::FarBack;
  if (seconds >= kClockChangeMinSeconds) return TClockStep::Forward;
  if (seconds <= -kClockChangeMinSeconds) return TClockStep::Back;
  return TClockStep::None;
}

void TClockWatch::Restart(TDateTime local, uint32_t realMs) {
  known_ = true;
  local_ = local;
  real_ = realMs;
}

TClockWatch TriggerWatch;

bool IsBackupDueAt(TSched& sched, TDateTime now, uint32_t realMs, long long& lastTriggerSlot,
                   TClockWatch& watch) {
  const long long moved = watch.Step(now, realMs);
  const TClockStep step = KindOfStep(moved);
  if (step != TClockStep::None) LogEvent("clock changed", ClockChangeText(moved));
  if (step == TClockStep::FarBack) lastTriggerSlot = -1;
  const long long hour = HourNumberOf(now);
  if (hour <= lastTriggerSlot) return false;
  // One reading of the clock for every question: at the turn of an hour the trigger must
  // not be recorded under the hour that follows.
  bool due = sched.IsDueAt(now);
  if (!due && step == TClockStep::Forward && watch.RealElapsedMs() <= kClockChangeMaxGapMs) {
    // Each scheduled hour would have been offered in its own hour; the clock jumped over
    // them (the spring change skips 2 to 3 o'clock), so the first tick after offers them
    // once. The current hour is asked above.
    for (long long h = std::max(HourNumberOf(watch.Previous()), lastTriggerSlot) + 1;
         h < hour && !due; ++h)
      due = sched.IsDueAt(HourStart(h));
  }
  if (!due) return false;
  lastTriggerSlot = hour;
  LogEvent("hour offered", sched.SlotText(SlotKeyOf(now)));
  return true;
}

bool IsBackupDue() {
  if (!Schedule) return false;
  IClock& clock = seams::Clock();
  return IsBackupDueAt(*Schedule, clock.Now(), clock.RealMs(), LastTriggerSlot, TriggerWatch);
}

void NoteClientRunEnded() {
  IClock& clock = seams::Clock();
  const TDateTime now = clock.Now();
  // From the last tick before the run (Step restarts the watch). A run that ends "earlier"
  // than the hour offered before it, because the clock was set back meanwhile, leaves that
  // hour offered: it is not offered and run a second time.
  const TClockStep step = KindOfStep(TriggerWatch.Step(now, clock.RealMs()));
  // The hour offered for the run counts as backed up when the run wrote the record.
  const bool forget = step == TClockStep::FarBack || LastTriggerSlot < 0;
  NoteBackupRunEnded(forget ? kNoDateTime : HourStart(LastTriggerSlot));
  const long long hour = HourNumberOf(now);
  if (hour > LastTriggerSlot || step == TClockStep::FarBack) LastTriggerSlot = hour;
}

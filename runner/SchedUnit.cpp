#include "SchedUnit.h"

#include <climits>
#include <cmath>

#include "Globals.h"
#include "Properties.h"
#include "RunnerError.h"
#include "TokenUnit.h"
#include "uRunnerResource.h"

std::array<std::string, 8> DayNames;
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

void FillDayNames() {
  for (int d = 1; d <= 7; ++d) DayNames[static_cast<size_t>(d)] = GetText(kDayKeys[d]);
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
    return false;
  }
  read_ = true;
  for (auto& list : lists_) list.clear();
  if (file.outcome == TReadOutcome::Missing) {
    for (int d = 1; d <= 7; ++d) lists_[static_cast<size_t>(d)] = kFallbackHour;
    return false;
  }
  TPropertyList props;
  props.SetText(file.data);
  if (IsTrueValue(ValueOf(props, "scheduler.advancedschedule"))) {
    for (int d = 1; d <= 7; ++d)
      lists_[static_cast<size_t>(d)] =
          TrimControls(ValueOf(props, "scheduler." + DayNames[static_cast<size_t>(d)]));
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
  const TDateTime now = clock_.Now();
  const int day = DayOfWeek(now), hour = HourOf(now);
  const int distance = LastSlotDistance(day, hour);
  if (distance == -1) return kNoDateTime;
  // Whole hours since the epoch, from the same decoded hour as the slot: truncating
  // t * 24 in floating point can land just below an exact hour boundary.
  const long long hours = static_cast<long long>(DatePart(now)) * 24 + hour - distance;
  return static_cast<TDateTime>(hours) / 24.0;
}

std::string TSched::NextBackupText() {
  std::string text;
  try {
    const int slot = NextSlot(-1, -1);
    text = slot == -1 ? GetText("RUNNER_Automatic_backups_disabled")
                      : GetText("RUNNER_Next_Backup") + " " + SlotText(slot);
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

int CurrentSlotKey() { return SlotKeyOf(seams::Clock().Now()); }

bool IsBackupDueAt(TSched& sched, TDateTime now, int& lastTriggerSlot) {
  // One reading of the clock for both questions: at the turn of an hour the trigger must
  // not be recorded under the key of the hour that follows.
  if (!sched.IsDueAt(now)) return false;
  const int key = SlotKeyOf(now);
  if (key == lastTriggerSlot) return false;
  lastTriggerSlot = key;
  return true;
}

bool IsBackupDue() {
  return Schedule && IsBackupDueAt(*Schedule, seams::Clock().Now(), LastTriggerSlot);
}

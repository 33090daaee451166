#include "MissedBackup.h"

#include <algorithm>
#include <exception>

#include "Globals.h"
#include "Seams.h"
#include "Snooze.h"
#include "uRunnerResource.h"

namespace {

int LastKind = kMissedDays;
TDateTime RecordAtRunStart = kNoDateTime;  // kNoDateTime: no run began
TDateTime BackedUpHour = kNoDateTime;

// Whole days of a difference, truncated towards zero.
int WholeDays(TDateTime d) { return static_cast<int>(d); }

TDateTime SafeLastScheduledTime(const TMissedBackupContext& ctx) {
  try {
    return ctx.lastScheduledTime ? ctx.lastScheduledTime() : kNoDateTime;
  } catch (const std::exception&) {
    // A schedule entry that is not a number leaves the rule without an answer; the tick
    // goes on as if there were no schedule.
    return kNoDateTime;
  }
}

bool ServerCounts(const TMissedBackupContext& ctx) {
  return (ctx.proxyConnected && ctx.proxyConnected()) ||
         (ctx.serverReachable && ctx.serverReachable());
}

}  // namespace

TDateTime LastBackupTime() { return seams::Fs().FileTime(InstallPath("lastbackup.idx")); }

void NoteBackupRunStarting() { RecordAtRunStart = LastBackupTime(); }

void NoteBackupRunEnded(TDateTime offeredHour) {
  const TDateTime record = LastBackupTime();
  if (offeredHour == kNoDateTime)
    BackedUpHour = kNoDateTime;
  else if (RecordAtRunStart != kNoDateTime && record != 0 && record != RecordAtRunStart)
    BackedUpHour = std::max(BackedUpHour, offeredHour);
  RecordAtRunStart = kNoDateTime;
}

namespace {

// What the rules count as the last backup: the record's time, or the hour that a run which
// wrote it was offered for, whichever is later; 0 without a record.
TDateTime BackedUpTime() {
  const TDateTime record = LastBackupTime();
  return record == 0 ? 0 : std::max(record, BackedUpHour);
}

// The rule up to the connectivity probes, at `now`: the kind, or 0.
int CandidateAt(const TMissedBackupContext& ctx, TDateTime now) {
  // A warning time ahead of the clock (the clock was set back) counts as now: the limits
  // below run from here, instead of keeping every warning away until that time comes.
  if (LastMissedWarningTime > now) LastMissedWarningTime = now;
  if (!WarnMissedBackups) return 0;
  const TDateTime last = BackedUpTime();
  if (last == 0) return 0;
  if (WarnAfterDays > 0) {
    if (now - LastMissedWarningTime < 1.0) return 0;
    if (WholeDays(now - last) < WarnAfterDays) return 0;
    return kMissedDays;
  }
  if (now - LastMissedWarningTime < 1.0 / 24) return 0;
  if (!(SafeLastScheduledTime(ctx) > last)) return 0;
  return kMissedSlot;
}

}  // namespace

bool MissedWarningMayOpen(bool missedOpen, bool willStartOpen) {
  return !missedOpen && !MissedSnoozePending && !willStartOpen && !WillStartSnoozePending;
}

int MissedWarningCandidate(const TMissedBackupContext& ctx) {
  return CandidateAt(ctx, seams::Clock().Now());
}

int DueMissedWarning(const TMissedBackupContext& ctx) {
  const TDateTime now = seams::Clock().Now();
  const int kind = CandidateAt(ctx, now);
  if (kind == 0) return 0;
  // The server test comes last: it may block the GUI thread for 1.5 s.
  if (!ServerCounts(ctx)) return 0;
  LastMissedWarningTime = now;
  return kind;
}

int ResolveMissedWarningKind(int kind) {
  if (kind == 0) kind = LastKind;
  LastKind = kind;
  return kind;
}

int LastMissedWarningKind() { return LastKind; }

void ResetMissedWarningState() {
  LastKind = kMissedDays;
  LastMissedWarningTime = kNoDateTime;
  RecordAtRunStart = BackedUpHour = kNoDateTime;
}

std::optional<std::string> MissedWarningMessage(int kind, const TMissedBackupContext& ctx) {
  const std::string cr = "\r";
  std::string message;
  if (kind == kMissedSlot) {
    const TDateTime t = SafeLastScheduledTime(ctx);
    if (t == kNoDateTime) return std::nullopt;
    message = FormatText("RUNNER_Skipped_last_backup", {DayText(t, ctx), HourText(t, ctx)}) +
              cr + "- " + GetText("RUNNER_reason_backup_cancelled") + cr + "- " +
              GetText("RUNNER_reason_switched_off_at_time") + cr + "- " +
              GetText("RUNNER_reason_not_connected");
  } else {
    const int days = WholeDays(seams::Clock().Now() - BackedUpTime());
    message = FormatText("RUNNER_Not_backed_up", {days}) + cr + "- " +
              GetText("RUNNER_reason_switched_off_at_night") + cr + "- " +
              GetText("RUNNER_reason_logged_out") + cr + "- " +
              GetText("RUNNER_reason_automatic_backups_disabled");
  }
  // The shipped texts ask "Do you want %s to back up now?": fill in the product name
  // (a translation without the placeholder comes out unchanged).
  return message + cr + cr + FormatText("RUNNER_Do_you_want_to_backup_now", {ProductName});
}

std::string DayText(TDateTime t, const TMissedBackupContext& ctx) {
  const int d = DatePart(t);
  const int today = DatePart(seams::Clock().Now());
  const std::string name = ctx.dayName ? ctx.dayName(DayOfWeek(t)) : std::string();
  if (d == today) return GetText("RUNNER_today");
  if (today - d == 1) return GetText("RUNNER_yesterday");
  if (today - d == 7) return FormatText("RUNNER_last_week", {name});
  return name;
}

std::string HourText(TDateTime t, const TMissedBackupContext& ctx) {
  const int hour = HourOf(t);
  const int h12 = hour % 12 == 0 ? 12 : hour % 12;
  const std::string& designator = hour < 12 ? ctx.am : ctx.pm;
  // A locale without designators shows the hour alone, without a trailing blank.
  return designator.empty() ? std::to_string(h12) : std::to_string(h12) + " " + designator;
}

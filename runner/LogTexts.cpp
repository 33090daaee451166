#include "LogTexts.h"

#include <cmath>

#include "ActivityLog.h"
#include "DateTime.h"
#include "Launcher.h"
#include "MissedBackup.h"
#include "SchedUnit.h"
#include "UpdateJournal.h"

std::string ScheduleText(const TSched& sched) {
  std::string text;
  for (int d = 1; d <= 7; ++d) {
    const std::string& hours = sched.HourList(d);
    text += (d > 1 ? ", " : "") + DayNames[static_cast<size_t>(d)] + " " +
            (hours.empty() ? "-" : hours);
  }
  return text;
}

std::string ClockChangeText(long long seconds) {
  const long long minutes = ((seconds < 0 ? -seconds : seconds) + 30) / 60;
  const std::string text =
      (seconds > 0 ? "forward " : "back ") + std::to_string(minutes) + " min: ";
  switch (KindOfStep(seconds)) {
    case TClockStep::FarForward: return text + "taken as time that passed, no skipped hour offered";
    case TClockStep::FarBack: return text + "the hours ahead are offered as new ones";
    case TClockStep::Forward: return text + "scheduled hours skipped are offered once";
    case TClockStep::Back: return text + "hours offered already are not offered again";
    case TClockStep::None: break;
  }
  return text + "drift";
}

std::string ClientStartText(bool scheduled, bool backupNow, const std::string& arguments) {
  return std::string(scheduled ? "scheduled" : "asked for") + (backupNow ? ", back up now" : "") +
         (arguments.empty() ? "" : ", arguments " + arguments);
}

std::string ClientResultText(int result) {
  switch (result) {
    case kClientRan: return "ran";
    case kClientNoRuntime: return "no Java runtime";
    case kClientUpdatePending: return "an update waits: it goes first";
    default: return "not started";
  }
}

std::string ControlFlagsText(bool cancelAllowed, bool quitAllowed, int snoozeLimit) {
  return std::string("cancel ") + (cancelAllowed ? "allowed" : "not allowed") + ", quit " +
         (quitAllowed ? "allowed" : "not allowed") + ", snooze limit " + std::to_string(snoozeLimit);
}

std::string MissedWarningText(int kind, double lastBackup, int afterDays) {
  return std::string("warning shown, rule: ") +
         (kind == kMissedDays ? "no backup for " + std::to_string(afterDays) + " days"
                              : std::string("the last scheduled hour had no backup")) +
         ", last backup " + LogTimeText(lastBackup);
}

std::string LogTimeText(double t) {
  if (t <= 0) return "none";
  const TDateParts p = DecodeDateTime(t);
  return Decimal(p.year, 4) + "-" + Decimal(p.month, 2) + "-" + Decimal(p.day, 2) + " " +
         Decimal(p.hour, 2) + ":" + Decimal(p.minute, 2);
}

std::string UpdateOutcomeText(TUpdateOutcome outcome) {
  switch (outcome) {
    case TUpdateOutcome::Nothing: return "nothing to apply";
    case TUpdateOutcome::Applied: return "staged and applied, the archive removed";
    case TUpdateOutcome::ArchiveStays: return "applied, but the archive could not be removed";
    case TUpdateOutcome::Unusable: return "the archive failed its check: nothing changed";
    case TUpdateOutcome::RolledBack: return "could not be applied: undone, the old version is back";
    case TUpdateOutcome::Deferred:
      return "could not be applied for now: undone, the archive kept for the next log-on";
    case TUpdateOutcome::Unfinished: return "neither finished nor undone: the next start goes on";
    case TUpdateOutcome::Declined: return "declined by the last updater";
  }
  return "unknown";
}

std::string SessionEndText(bool backupOnShutdown, bool logOff, bool handled, bool prompt) {
  if (!backupOnShutdown) return "not held: no backup at shut-down";
  if (logOff) return "not held: a log-off";
  if (handled) return "not held: handled already";
  return prompt ? "held: the user is asked whether to back up" : "held: the backup runs first";
}

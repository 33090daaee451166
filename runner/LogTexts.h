// The details texts of the activity log's lines that need more than a word.
#pragma once
#include <string>

class TSched;
enum class TUpdateOutcome;

// The hours of each day as the schedule holds them: "Sun 19, Mon 19, Tue -, ..." (the
// day names of the text table, "-" for a day without a backup).
std::string ScheduleText(const TSched& sched);
// A change of the local clock of `seconds` beyond the real time, and what it means for the
// schedule.
std::string ClockChangeText(long long seconds);
// Who asked for a client start, and what came of it (StartClient's result).
std::string ClientStartText(bool scheduled, bool backupNow, const std::string& arguments);
std::string ClientResultText(int result);
// The control values of "system2.properties" as they now hold.
std::string ControlFlagsText(bool cancelAllowed, bool quitAllowed, int snoozeLimit);
// A missed-backup warning shown: its rule (kMissedDays, kMissedSlot) and the last backup.
std::string MissedWarningText(int kind, double lastBackup, int afterDays);
// "YYYY-MM-DD hh:mm", or "none" for a time of 0 or less.
std::string LogTimeText(double t);
// What became of an update (or of the journal an interrupted one left).
std::string UpdateOutcomeText(TUpdateOutcome outcome);
// Whether a session end is held for a backup, and why (not).
std::string SessionEndText(bool backupOnShutdown, bool logOff, bool handled, bool prompt);

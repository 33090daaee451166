// Missed-backup rules: when to remind the user that no backup happened, and what the
// reminder says. Portable; time comes from seams::Clock(), the last-backup record from
// seams::Fs(). The warning dialog itself is in MissedBackup_win.cpp. GUI thread only.
#pragma once
#include <functional>
#include <optional>
#include <string>

#include "DateTime.h"

// What the rules ask of the rest of the program. The Win32 build fills it with the
// schedule, the day names and the connectivity probes; tests fill it with fakes.
struct TMissedBackupContext {
  // Start of the most recent scheduled hour before the current one, -1.0 without a
  // schedule. May throw (an hour entry that is not a number): that counts as no schedule.
  std::function<TDateTime()> lastScheduledTime;
  std::function<bool()> proxyConnected;
  // Asked only when the connection does not go through a proxy (it may block 1.5 s).
  std::function<bool()> serverReachable;
  // Localised day name, 1 = Sunday ... 7 = Saturday.
  std::function<std::string(int)> dayName;
  // The locale's designators for hours before and after noon.
  std::string am = "AM";
  std::string pm = "PM";
};

// Kinds of warning: no backup for WarnAfterDays days, or the last scheduled hour skipped.
constexpr int kMissedDays = 1;
constexpr int kMissedSlot = 2;

// Last-write time of InstallDir\lastbackup.idx; 0 when there is none.
TDateTime LastBackupTime();
// The record across a client run (the client writes it only for a completed backup).
// RunClient calls NoteBackupRunStarting as the run begins; the run's end calls
// NoteBackupRunEnded with the start of the hour offered before the run. When the record
// changed meanwhile, that hour counts as backed up for the rules below, even where the record
// reads earlier because the clock was set back during the run. A run that left the record
// as it was changes nothing; kNoDateTime (nothing offered, or the clock set back 3 hours or
// more: the hours ahead are new) forgets the hour counted before.
void NoteBackupRunStarting();
void NoteBackupRunEnded(TDateTime offeredHour);

// The rule of one timer tick. Returns the kind of warning to show now, or 0. When it
// returns a kind it has set LastMissedWarningTime to now: the days rule warns at most once
// a day, the slot rule once an hour (either kind counts for both limits). A warning time
// later than now (the clock was set back) is first taken as now.
int DueMissedWarning(const TMissedBackupContext& ctx);
// One reminder at a time: a missed-backup warning may open only while none is open
// (`missedOpen`) or snoozed, and no will-start warning is open (`willStartOpen`) or snoozed
// (its backup answers the reminder; back from its snooze it asks again).
bool MissedWarningMayOpen(bool missedOpen, bool willStartOpen);
// The same rule without its connectivity probes and without recording a warning: the kind
// that DueMissedWarning would return now if the server counted as reachable, or 0. Asks
// only ctx.lastScheduledTime.
int MissedWarningCandidate(const TMissedBackupContext& ctx);

// The kind the warning shows: `kind`, or for 0 the kind shown last. Remembers it.
int ResolveMissedWarningKind(int kind);
int LastMissedWarningKind();
void ResetMissedWarningState();

// The warning's message for `kind` (1 or 2), computed afresh from the record and the
// schedule. nullopt when kind 2 has no scheduled hour to name any more.
std::optional<std::string> MissedWarningMessage(int kind, const TMissedBackupContext& ctx);

// The day of `t` as the user reads it relative to today (the clock's date): today,
// yesterday, the day name, or "last <day name>" for exactly seven days back.
std::string DayText(TDateTime t, const TMissedBackupContext& ctx);
// The hour of `t` as "h ampm": 12-hour clock without a leading zero, a blank, designator;
// the hour alone when the locale has no designator for it.
std::string HourText(TDateTime t, const TMissedBackupContext& ctx);

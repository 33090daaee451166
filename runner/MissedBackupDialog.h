// The missed-backup warning dialog (Win32 half of MissedBackup.h). GUI thread.
#pragma once
#include <windows.h>

#include <string>

#include "MyDialogs.h"

// Control ids of the warning.
constexpr int kMissedIdMessage = 100;
constexpr int kMissedIdDontShow = 101;  // "do not show again" check box
constexpr int kMissedIdBackupNow = 102;
constexpr int kMissedIdCancel = 103;
constexpr int kMissedIdSnooze = 104;
constexpr int kMissedIdFor = 105;       // the "for" label before the duration list
constexpr int kMissedIdDuration = 106;  // snooze durations

// The 300 x 135 template with its seven controls: message, the button row, the check box.
// Cancel and the check box are disabled without `cancelAllowed` (the dialog then has no
// close box either); Snooze and the duration list without `snoozeAllowed`.
TTemplateStream MissedWarningTemplate(const std::string& message, bool cancelAllowed,
                                      bool snoozeAllowed);
// Creates the modeless warning owned by MainWindow with `message`, fills the duration
// list and starts its 60-second countdown (which presses Backup Now). Null on failure.
HWND CreateMissedWarning(const std::string& message);
// Opens the warning of `kind` (1 days, 2 skipped hour; 0 the kind shown last) and makes
// it CurrentDialog. Null when there is nothing to show.
HWND ShowMissedWarning(int kind);
// The tick's missed-backup check (DueMissedWarning with the program's schedule, day names
// and probes); shows the warning when one is due.
void CheckMissedBackup();
// The warning again after its snooze, of the kind shown last (nothing when that snooze was
// ended meanwhile); it counts as a warning shown now.
void ShowMissedWarningAgain();
// A missed-backup warning is open or snoozed; the rule then opens no other.
bool MissedWarningOutstanding();
// Closes the open missed-backup warning and ends its snooze (nothing is saved or started):
// a will-start warning has opened, and its backup answers both.
void CloseMissedWarning();
// The timer tick's question whether the computer is online, asked only when the missed-
// backup check could warn at all (MissedWarningCandidate): otherwise the check would stop
// before its probes anyway, so the answer is false without asking.
bool InternetConnectedForMissedCheck();

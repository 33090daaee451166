// Settings routines shared by several parts of ZqRunner. All run on the GUI thread and
// read through the file-system seam.
#pragma once
#include <string>

// Fills ServerAddress and ProductName from "resource.properties" (in InstallDir when `dir`
// is empty, else `dir` + "resource.properties" — `dir` ends with a backslash) and then
// "defaults.properties". Throws TRunnerError at the first unreadable file; what was read
// before stays.
void LoadServerAndProduct(const std::string& dir);
// Fills WarnMissedBackups, WarnAfterDays and ClientMemoryMB from "zqbackup.properties".
// Never throws. A missing file or a scheduler.dayswarning that is no integer gives the
// defaults (true, 4, 0). A file that exists but stays held for about 100 ms keeps the
// values of the last reading (before any reading: no warnings) and is owed a reading.
void LoadWarningSettings();
// Timer tick: LoadWarningSettings when the last reading found the file held.
void RefreshWarningSettings();
// Back to the start-up state: nothing read, nothing owed.
void ResetWarningSettingsState();
// Rewrites scheduler.displaywarning in "zqbackup.properties": reads the file (waiting up
// to about a second for a holder), changes the line and writes it back only if nobody
// wrote the file in between, otherwise reads and changes it again (a few tries). Shows
// "Could not save settings!" when that fails; the file then stays as it was.
void SaveWarningSetting(bool show);

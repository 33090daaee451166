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
// Never throws: any failure leaves the defaults (true, 4, 0).
void LoadWarningSettings();
// Rewrites scheduler.displaywarning in "zqbackup.properties"; shows "Could not save
// settings!" when that fails.
void SaveWarningSetting(bool show);

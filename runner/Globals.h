// Process-wide state of ZqRunner. It lives for the whole run and is owned by the main
// module; worker threads touch only the atomics (and TrayTip under its lock).
#pragma once
#include <atomic>
#include <string>
#include <vector>

#include "DateTime.h"

extern std::string InstallDir;      // directory of the executable, no trailing backslash
extern std::string ProductName;     // "Stash9" until S_9_NAME is read
extern std::string ServerAddress;   // backup server host, port dropped
// The command-line arguments of this run (program name excluded), split as Windows
// programs of this family split them (quotes group, backslashes are plain characters).
extern std::vector<std::string> CommandArgs;

// Settings of "zqbackup.properties" (LoadWarningSettings).
extern bool WarnMissedBackups;
extern int WarnAfterDays;
extern int ClientMemoryMB;

// Control values of "system2.properties" (read on the GUI thread, read by dialogs).
extern std::atomic<bool> CancelAllowed;
extern std::atomic<bool> QuitAllowed;
extern std::atomic<int> SnoozeLimit;

// Backup-on-shutdown switches of "defaults.properties".
extern bool BackupOnShutdown;
extern bool ShutdownPrompt;
extern bool ShutdownProgress;

extern std::atomic<bool> LaunchInProgress;
extern int LaunchCount;
// The local hour (HourNumberOf) in which a scheduled backup was last offered or a client run
// ended; -1 for none.
extern long long LastTriggerSlot;
extern bool ShutdownHandled;
extern bool EncryptionPluginPresent;
extern TDateTime LastMissedWarningTime;

// File name in InstallDir: InstallDir + "\" + name.
std::string InstallPath(const std::string& name);

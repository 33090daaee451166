// Entry points that start-up and the main window call and that later work fills in.
// Each function here moves to its own module when that module is written; until then
// Pending_win.cpp holds a minimal stand-in that keeps the program running.
#pragma once
#include <string>
#include <vector>

// Connectivity libraries (module initialisation; the ICMP one is released in start-up).
void LoadConnectionLibraries();
void ReleaseIcmpLibrary();

// Text-table driven names: the seven day names and the five snooze choices.
void FillDayNames();
void FillSnoozeChoices();

// Backup-on-shutdown switches from "defaults.properties".
void LoadShutdownSettings();

// Maintenance runs.
void RunUpdate(const std::string& dir);
void RunUninstall(const std::string& dir);
void StartUninstallHandoff();
// False when no Java runtime is available and none could be installed.
bool EnsureJavaRuntime();
void RegisterShellVerb();
void CheckConnectionSetup();

// The schedule over "zqbackup.properties".
void CreateSchedule();
void LoadSchedule();
std::string ScheduleNextBackupText();
// The current weekday and hour are in the schedule (the per-hour trigger is the caller's).
bool ScheduleIsDueNow();
void FreeSchedule();

// Control flags of "system2.properties".
void RefreshControlFlags();

// The 5-second timer thread.
void StartTimerThread();
void StopTimerThread();

// Splash screen for a quiet start.
void ShowSplash(const std::string& productName);

// The single entry for starting the Java client: 0 ran, 1 already there or not
// startable, 2 no Java runtime, 3 update pending.
int StartClient(bool scheduled, bool backupNow, const std::vector<std::string>& extra);

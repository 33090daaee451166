// Entry points that cross module boundaries while the modules are being written. Each
// function here is implemented in Pending_win.cpp by a minimal stand-in until its own
// module provides it; the module then deletes the stand-in (and may move the
// declaration into its own header, keeping this include working).
#pragma once
#include <string>
#include <vector>

// --- connectivity (IsConnected / IcmpAPI / PingUnit) ---
// Module initialisation loads WinInet and Icmp.dll; start-up releases the ICMP one.
void LoadConnectionLibraries();
void ReleaseIcmpLibrary();
// The computer has an Internet connection of any kind.
bool InternetConnected();

// --- schedule (SchedUnit) ---
void FillDayNames();
void CreateSchedule();
void LoadSchedule();
std::string ScheduleNextBackupText();
// The current weekday and hour are in the schedule.
bool ScheduleIsDueNow();
// IsBackupDue: due now and this clock hour has not triggered yet (sets LastTriggerSlot).
bool IsBackupDue();
// Slot key of the current time (SchedUnit.h: day * 24 + hour, distinct for every hour).
int CurrentSlotKey();
void FreeSchedule();

// --- control flags of "system2.properties" ---
void RefreshControlFlags();

// --- worker threads (timer, countdown, snooze, message): Snooze.h, Workers.h ---
void FillSnoozeChoices();
void StartTimerThread();
void StopTimerThread();
// A snooze is counting down (the tick then leaves the tray tip alone).
bool SnoozeRunning();

// --- Java client launcher and warnings ---
// The single entry for starting the Java client: 0 ran, 1 already there or not
// startable, 2 no Java runtime, 3 update pending.
int StartClient(bool scheduled, bool backupNow, const std::vector<std::string>& extra);
// Closes the window(s) of the last started client process.
void CloseClientWindows();
// The 60-second backup-will-start warning (modeless, sets CurrentDialog).
void ShowWillStartWarning();
// Missed-backup check of a tick, and the warning again after its snooze.
void CheckMissedBackup();
void ShowMissedWarningAgain();

// --- backup on shut-down ---
void LoadShutdownSettings();
// The shut-down dialog owned by MainWindow, after the last backup (or without one).
void ShowShutdownDialog();

// --- bubble window ---
// Opens the bubble over `window` (an HWND) with `text`; closes it when open.
void ShowBubbleFor(void* window, const std::string& text);
void CloseBubble();

// --- splash screen ---
void ShowSplash(const std::string& productName);

// --- maintenance runs ---
void RunUpdate(const std::string& dir);
void RunUninstall(const std::string& dir);
void StartUninstallHandoff();
// False when no Java runtime is available and none could be installed.
bool EnsureJavaRuntime();
void RegisterShellVerb();
void CheckConnectionSetup();

// Backup on shut-down: the three switches of "defaults.properties", the last backup before
// the session ends, the 10-second shut-down dialog and the request that ends the session.
// Everything here runs on the GUI thread.
#pragma once
#include "Seams.h"

// Fills BackupOnShutdown (default false), ShutdownPrompt and ShutdownProgress (default
// true) from "defaults.properties" in InstallDir; a missing or unreadable file leaves the
// defaults.
void LoadShutdownSettings();

// ExitWindowsEx flags of the session end: a restart when asked, else power-off on the NT
// family and a plain shut-down on the others; always with EWX_FORCEIFHUNG, which asks
// the other programs to close (so they can save their work) and forces only hung ones.
constexpr unsigned kEwxShutdown = 0x01;
constexpr unsigned kEwxReboot = 0x02;
constexpr unsigned kEwxPowerOff = 0x08;
constexpr unsigned kEwxForceIfHung = 0x10;
unsigned ExitWindowsFlags(bool restart, bool ntFamily);

// --- Win32 half (BackupOnShutdown_win.cpp) ---
// Installs the Win32 session seam (privilege + ExitWindowsEx). Start-up does this once.
void InstallSessionSeam();
// Ends the session through the session seam with ExitWindowsFlags; true when Windows
// accepted.
bool ShutDownWindows(bool restart);
// While ZqRunner holds the end of the session (from the refused query until ShutDownWindows
// ends it) Windows Vista and later show the user a reason: the product name with the
// localised "backing up" text. Repeats are harmless; before Vista both do nothing.
void BlockSessionEnd();
void UnblockSessionEnd();
// The 10-second dialog owned by MainWindow whose end powers off and whose Restart button
// restarts instead.
void ShowShutdownDialog();

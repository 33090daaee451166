// Backup on shut-down: the three switches of "defaults.properties", the last backup before
// the session ends, the 10-second shut-down dialog and the request that ends the session.
// Everything here runs on the GUI thread.
#pragma once
#include "Seams.h"

// Fills BackupOnShutdown (default false), ShutdownPrompt and ShutdownProgress (default
// true) from "defaults.properties" in InstallDir; a missing or unreadable file leaves the
// defaults.
void LoadShutdownSettings();

// The kind of session end: a restart when asked, else power-off on the NT family and a
// plain shut-down on the others.
TSessionEnd SessionEndKind(bool restart, bool ntFamily);

// --- Win32 half (BackupOnShutdown_win.cpp) ---
// Installs the Win32 session seam (privilege + ExitWindowsEx). Start-up does this once.
void InstallSessionSeam();
// Ends the session through the session seam, forced; true when Windows accepted.
bool ShutDownWindows(bool restart);
// While ZqRunner holds the end of the session (from the refused query until ShutDownWindows
// ends it) Windows Vista and later show the user a reason: the product name with the
// localised "backing up" text. Repeats are harmless; before Vista both do nothing.
void BlockSessionEnd();
void UnblockSessionEnd();
// The 10-second dialog owned by MainWindow whose end powers off and whose Restart button
// restarts instead.
void ShowShutdownDialog();

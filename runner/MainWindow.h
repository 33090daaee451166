// The hidden main window: class, window procedure, tray icon and popup menu.
// Everything here runs on the GUI thread unless a comment says otherwise.
#pragma once
#include <windows.h>

#include <string>

extern HWND MainWindow;
extern HWND CurrentDialog;          // open modeless warning, fed by IsDialogMessageA
extern UINT TaskbarCreatedMessage;  // registered "TaskbarCreated"

// Registers "TSWExeForm"; the result is not needed by start-up.
bool RegisterMainWindowClass();
// Creates the never-shown "TSWEXEForm"/"SWEXEForm" window and stores it in MainWindow.
HWND CreateMainWindow();

// Tray icon with the first-version (88-byte on 32-bit) NOTIFYICONDATAA record.
void AddTrayIcon();
void DeleteTrayIcon();
// Copies TrayTip into the icon (cut to 63 bytes) and modifies it. Any thread.
void UpdateTrayTip();
// TrayTip under its lock (the snooze thread writes it too).
void SetTrayTip(const std::string& text);
std::string GetTrayTip();

void BuildTrayMenu();
void BuildRunningMenu();

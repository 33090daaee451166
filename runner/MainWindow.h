// The hidden main window: class, window procedure, tray icon and popup menu.
// Everything here runs on the GUI thread unless a comment says otherwise.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

extern HWND MainWindow;
extern HWND CurrentDialog;          // open modeless warning, fed by IsDialogMessageA
extern UINT TaskbarCreatedMessage;  // registered "TaskbarCreated"

// Registers "TSWExeForm"; the result is not needed by start-up.
bool RegisterMainWindowClass();
// Creates the never-shown "TSWEXEForm"/"SWEXEForm" window and stores it in MainWindow.
HWND CreateMainWindow();

// Tray icon with the first-version NOTIFYICONDATAA record (88 bytes in the 32-bit build),
// one record for add, modify and delete. Shell results are ignored.
void AddTrayIcon();
void DeleteTrayIcon();
// Copies TrayTip into the icon's tip field (shortened to 63 bytes without splitting a
// double-byte character) and modifies the icon. Any thread: TrayTip and the record share
// one lock.
void UpdateTrayTip();
// TrayTip under that lock (the snooze thread writes it too). Any thread.
void SetTrayTip(const std::string& text);
std::string GetTrayTip();

// The one popup menu, created on first use and rebuilt in place: items 0 to 10 are removed
// by command, then the normal items (following EncryptionPluginPresent and QuitAllowed)
// or the single running item are appended.
void BuildTrayMenu();
void BuildRunningMenu();
HMENU TrayMenu();

// What a WM_RUNNER_TICK does (also run at once when the computer resumes from sleep).
void OnTimerTick();
// Hands the waiting update over (HandOverUpdate, Update.h): a checked copy of the running
// executable as "updSW.exe" in the temporary directory (else in the installation
// directory), started with -update and the installation directory. True when it was
// started (the program then quits); false when the hand-over failed (the user has been
// told once and no update is handed over again in this run) or is blocked.
bool LaunchUpdater();

// The operations of other modules that the window procedure calls, and the shell call
// for the icon. Start-up keeps the defaults; tests replace entries to observe them.
struct TWindowCalls {
  int (*startClient)(bool scheduled, bool backupNow, const std::vector<std::string>& extra);
  void (*showWillStartWarning)();
  bool (*isBackupDue)();
  bool (*internetConnected)();
  void (*checkMissedBackup)();
  void (*showMissedWarningAgain)();
  void (*refreshControlFlags)();
  std::string (*nextBackupText)();
  void (*closeClientWindows)();
  void (*showShutdownDialog)();
  void (*showBubbleFor)(void* window, const std::string& text);
  void (*closeBubble)();
  // Brings `window` to the foreground; false when Windows refused the switch.
  bool (*bringToForeground)(HWND window);
  BOOL(WINAPI* shellNotifyIcon)(DWORD message, PNOTIFYICONDATAA data);
  // The pause between closing the client and the backup on shut-down (1000 ms).
  DWORD shutdownCloseWaitMs;
};
extern TWindowCalls WindowCalls;
// The defaults, for tests that replaced some entries.
TWindowCalls DefaultWindowCalls();

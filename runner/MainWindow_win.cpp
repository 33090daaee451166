#include "MainWindow.h"

#include "ActivityLog.h"
#include "BackupOnShutdown.h"
#include "Bubble.h"
#include "ControlFlags.h"
#include "Globals.h"
#include "IsConnected.h"
#include "LogTexts.h"
#include "Launcher.h"
#include "Messages.h"
#include "MissedBackupDialog.h"
#include "MyDialogs.h"
#include "SchedUnit.h"
#include "Seams.h"
#include "Settings.h"
#include "Snooze.h"
#include "TrayTip.h"
#include "WinPlatform.h"
#include "WinUtil.h"
#include "Workers.h"
#include "uRunnerResource.h"

HWND MainWindow = nullptr;
HWND CurrentDialog = nullptr;
UINT TaskbarCreatedMessage = 0;

#ifndef _WIN64
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "first-version tray record");
#endif

namespace {
bool BringToForeground(HWND window) {
  ::SetForegroundWindow(window);
  return ::GetForegroundWindow() == window;
}
}  // namespace

TWindowCalls DefaultWindowCalls() {
  return TWindowCalls{StartClient,         ShowWillStartWarning,
                      IsBackupDue,         InternetConnectedForMissedCheck,
                      CheckMissedBackup,   ShowMissedWarningAgain,
                      RefreshControlFlags, ScheduleNextBackupText,
                      CloseClientWindows,  ShowShutdownDialog,
                      ShowBubbleFor,       CloseBubble,
                      BringToForeground,   ::Shell_NotifyIconA,
                      1000};
}

TWindowCalls WindowCalls = DefaultWindowCalls();

namespace {

// Menu command identifiers.
enum : UINT {
  kCmdOpen = 0,
  kCmdQuit = 1,
  kCmdBackupNow = 2,
  kCmdQuitSeparator = 3,
  kCmdEncrypt = 4,
  kCmdDecrypt = 5,
  kCmdCryptSeparator = 6,
  kCmdLastMenuItem = 10,
  kCmdRaise = 12,
  kCmdCloseBubble = 13,
  kCmdRaiseDisconnect = 14,
  kCmdRaiseAgain = 15,
  kCmdHide = 16,
};

constexpr DWORD kIconFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;  // 7
constexpr UINT kIconLoadFlags = LR_SHARED | LR_DEFAULTSIZE;     // 0x8040
constexpr LPARAM kEndSessionLogoffBit = static_cast<LPARAM>(0x80000000u);

TLock gTipLock;         // guards gTrayTip and gIconData: the snooze thread writes both
std::string gTrayTip;
NOTIFYICONDATAA gIconData;
TMenu gMenu;

bool IsLeadByte(unsigned char c) { return ::IsDBCSLeadByte(c) != FALSE; }

// Copies `text` into the record's tip field; caller holds gTipLock.
void PutTip(const std::string& text) {
  // The first-version record ends after 64 tip bytes, whatever size the header gives szTip.
  static_assert(sizeof gIconData.szTip >= kTrayTipBytes, "tip field");
  const std::string fitted = FitTipText(text, kTrayTipBytes, IsLeadByte);
  ZeroMemory(gIconData.szTip, sizeof gIconData.szTip);
  CopyMemory(gIconData.szTip, fitted.data(), fitted.size());
}

HMENU MenuHandle() {
  if (!gMenu) gMenu.reset(::CreatePopupMenu());
  return gMenu.get();
}

void RemoveMenuCommands(HMENU menu) {
  for (UINT id = 0; id <= kCmdLastMenuItem; ++id)
    while (::DeleteMenu(menu, id, MF_BYCOMMAND)) {
    }
}

std::string Formatted(const char* key) { return FormatText(key, {ProductName}); }

// The single window; its state is the process-wide state of Globals.h.
class TMainWindow {
 public:
  LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  void OnTaskbarCreated();
  void OnDestroy();
  LRESULT OnQueryEndSession(LPARAM lParam);
  void OnCommand(WPARAM command, LPARAM lParam);
  void OnTrayNotify(LPARAM mouseMessage);
  void OnTick();
  void OnUpdate();
  void OnShutdownBackup();
  void OnShutdownNoBackup();
  LRESULT OnPowerBroadcast(WPARAM event);

  void Raise(HWND window, const char* bubbleKey);
  void ShowMenu();

  bool inTick_ = false;
};

TMainWindow gWindow;

LRESULT TMainWindow::HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (TaskbarCreatedMessage != 0 && msg == TaskbarCreatedMessage) {
    OnTaskbarCreated();
    return 0;
  }
  switch (msg) {
    case WM_DESTROY: OnDestroy(); return 0;
    case WM_QUERYENDSESSION: return OnQueryEndSession(lParam);
    case WM_COMMAND: OnCommand(wParam, lParam); return 0;
    case WM_POWERBROADCAST: return OnPowerBroadcast(wParam);
    case WMAPP_RUNNER_TRAY: OnTrayNotify(lParam); return 0;
    case WMAPP_RUNNER_TICK: OnTick(); return 0;
    case WMAPP_RUNNER_UPDATE: OnUpdate(); return 0;
    case WMAPP_RUNNER_SNOOZE_WARNING: WindowCalls.showMissedWarningAgain(); return 0;
    case WMAPP_RUNNER_SNOOZE_START: WindowCalls.showWillStartWarning(); return 0;
    case WMAPP_RUNNER_SHUTDOWN_BACKUP: OnShutdownBackup(); return 0;
    case WMAPP_RUNNER_SHUTDOWN_NOBACKUP: OnShutdownNoBackup(); return 0;
    default: return ::DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

void TMainWindow::OnTaskbarCreated() {
  // Explorer restarted: the icon went with the old taskbar. The record still holds the
  // current tip, so the icon comes back as it was.
  TLockGuard guard(gTipLock);
  WindowCalls.shellNotifyIcon(NIM_ADD, &gIconData);
}

void TMainWindow::OnDestroy() {
  // Another process (the uninstaller) posts WM_DESTROY to make the program quit.
  ::PostQuitMessage(0);
}

LRESULT TMainWindow::OnQueryEndSession(LPARAM lParam) {
  LogEvent("session end", SessionEndText(BackupOnShutdown, (lParam & kEndSessionLogoffBit) != 0, ShutdownHandled, ShutdownPrompt));
  if (!BackupOnShutdown) return TRUE;
  if (lParam & kEndSessionLogoffBit) return TRUE;  // a log-off is never held
  if (ShutdownHandled) return TRUE;
  ::MessageBeep(0);
  // Refusing makes Windows cancel this shut-down; the backup and our own shut-down follow.
  // Vista and later tell the user why with the block reason (until ShutDownWindows).
  BlockSessionEnd();
  if (ShutdownPrompt)
    AskShutdownQuestion(Formatted("RUNNER_Do_you_want_to_backup_now"));
  else
    ::PostMessageA(MainWindow, WMAPP_RUNNER_SHUTDOWN_BACKUP, 0, 0);
  return FALSE;
}

void TMainWindow::OnCommand(WPARAM command, LPARAM lParam) {
  HWND window = reinterpret_cast<HWND>(lParam);
  switch (command) {
    case kCmdOpen: WindowCalls.startClient(false, false, {}); break;
    case kCmdQuit:
      // The item exists only while quitting is allowed; a posted command obeys the same rule.
      if (QuitAllowed && AskConfirm(Formatted("RUNNER_Quit_program"))) ::PostQuitMessage(0);
      break;
    case kCmdBackupNow: WindowCalls.startClient(false, true, {}); break;
    case kCmdEncrypt: WindowCalls.startClient(false, false, {"-enc"}); break;
    case kCmdDecrypt: WindowCalls.startClient(false, false, {"-dec"}); break;
    case kCmdRaise:
    case kCmdRaiseAgain: Raise(window, "RUNNER_click_to_view_status"); break;
    case kCmdRaiseDisconnect: Raise(window, "RUNNER_will_disconnect"); break;
    case kCmdCloseBubble: WindowCalls.closeBubble(); break;
    case kCmdHide:
      // lParam comes from another process: only a real window is minimised and hidden.
      if (::IsWindow(window)) {
        ::ShowWindow(window, SW_MINIMIZE);
        ::ShowWindow(window, SW_HIDE);
      }
      break;
    default: break;
  }
}

void TMainWindow::Raise(HWND window, const char* bubbleKey) {
  if (!::IsWindow(window)) return;
  if (WindowCalls.bringToForeground(window))
    WindowCalls.closeBubble();
  else  // Windows refused the switch: point the user at the window instead
    WindowCalls.showBubbleFor(window, Formatted(bubbleKey));
}

void TMainWindow::OnTrayNotify(LPARAM mouseMessage) {
  if (mouseMessage == WM_LBUTTONDBLCLK)
    WindowCalls.startClient(false, false, {});
  else if (mouseMessage == WM_RBUTTONUP)
    ShowMenu();
}

void TMainWindow::ShowMenu() {
  // Without the foreground the menu would not close when the user clicks elsewhere, and
  // the WM_NULL afterwards lets it close properly (documented TrackPopupMenu quirk).
  ::SetForegroundWindow(MainWindow);
  POINT at = {};
  ::GetCursorPos(&at);
  ::TrackPopupMenu(MenuHandle(), 0, at.x, at.y, 0, MainWindow, nullptr);
  ::PostMessageA(MainWindow, WM_NULL, 0, 0);
}

void TMainWindow::OnTick() {
  // A tick that arrives while a tick's own box or dialog is open (their modal loops
  // dispatch it) would open a second one: the open tick will finish the work.
  // A tick posted just before a client run paused the timer is dispatched by the run's
  // own message pump: the run owns the tip and the menu until it ends.
  if (inTick_ || LaunchInProgress) return;
  inTick_ = true;
  try {
    OnTimerTick();
  } catch (...) {
    inTick_ = false;
    throw;
  }
  inTick_ = false;
}

LRESULT TMainWindow::OnPowerBroadcast(WPARAM event) {
  // After sleep a due or missed backup should not wait for the next 5-second tick. The
  // ticks are paused while a client runs; a resume does not bypass that.
  if ((event == PBT_APMRESUMEAUTOMATIC || event == PBT_APMRESUMESUSPEND) && !LaunchInProgress)
    OnTick();
  return TRUE;
}

void TMainWindow::OnUpdate() {
  // A failed hand-over keeps the program, and the client that the update held back runs.
  if (LaunchUpdater())
    ::PostQuitMessage(0);
  else
    WindowCalls.startClient(false, false, {});
}

void TMainWindow::OnShutdownBackup() {
  LogEvent("session end", "back up first, then end the session");
  ShutdownHandled = true;
  WindowCalls.closeClientWindows();
  ::Sleep(WindowCalls.shutdownCloseWaitMs);
  WindowCalls.startClient(true, true, {ShutdownProgress ? "-dialog" : "-nogui"});
  WindowCalls.showShutdownDialog();
}

void TMainWindow::OnShutdownNoBackup() {
  LogEvent("session end", "no backup: the session ends");
  ShutdownHandled = true;
  WindowCalls.showShutdownDialog();
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  try {
    return gWindow.HandleMessage(hwnd, msg, wParam, lParam);
  } catch (...) {
    // No exception may leave into USER32; the handlers report their own failures.
    return 0;
  }
}

}  // namespace

bool RegisterMainWindowClass() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = kMainWindowClassRegistered;
  return ::RegisterClassA(&wc) != 0;
}

HWND CreateMainWindow() {
  // Class names compare without regard to case: "TSWEXEForm" finds "TSWExeForm".
  MainWindow = ::CreateWindowExA(0, kMainWindowClass, kMainWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0,
                                 100, 100, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  return MainWindow;
}

void SetTrayTip(const std::string& text) {
  TLockGuard guard(gTipLock);
  gTrayTip = text;
}

std::string GetTrayTip() {
  TLockGuard guard(gTipLock);
  return gTrayTip;
}

void AddTrayIcon() {
  TLockGuard guard(gTipLock);
  ZeroMemory(&gIconData, sizeof gIconData);
  gIconData.cbSize = NOTIFYICONDATAA_V1_SIZE;
  gIconData.hWnd = MainWindow;
  gIconData.uID = kTrayIconId;
  gIconData.uFlags = kIconFlags;
  gIconData.uCallbackMessage = WMAPP_RUNNER_TRAY;
  gIconData.hIcon = static_cast<HICON>(
      // At the system's small-icon size (16 at 96 DPI): the image made for it, not the
      // 16-pixel one stretched.
      ::LoadImageA(::GetModuleHandleA(nullptr), "MAINICON", IMAGE_ICON,
                   ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), kIconLoadFlags));
  PutTip(ProductName + " Scheduler");
  WindowCalls.shellNotifyIcon(NIM_ADD, &gIconData);
}

void DeleteTrayIcon() {
  TLockGuard guard(gTipLock);
  WindowCalls.shellNotifyIcon(NIM_DELETE, &gIconData);
}

void UpdateTrayTip() {
  TLockGuard guard(gTipLock);
  PutTip(gTrayTip);
  WindowCalls.shellNotifyIcon(NIM_MODIFY, &gIconData);
}

HMENU TrayMenu() { return MenuHandle(); }

void BuildTrayMenu() {
  HMENU menu = MenuHandle();
  if (!menu) return;
  RemoveMenuCommands(menu);
  if (EncryptionPluginPresent) {
    ::AppendMenuA(menu, MF_STRING, kCmdEncrypt, "&Encrypt all files");
    ::AppendMenuA(menu, MF_STRING, kCmdDecrypt, "&Decrypt all files");
    ::AppendMenuA(menu, MF_SEPARATOR, kCmdCryptSeparator, nullptr);
  }
  ::AppendMenuA(menu, MF_STRING, kCmdOpen, Formatted("RUNNER_MENU_Open").c_str());
  ::AppendMenuA(menu, MF_STRING, kCmdBackupNow, GetText("RUNNER_MENU_Backup_Now").c_str());
  ::SetMenuDefaultItem(menu, kCmdOpen, FALSE);  // bold: what a double click on the icon does
  if (QuitAllowed) {
    ::AppendMenuA(menu, MF_SEPARATOR, kCmdQuitSeparator, nullptr);
    ::AppendMenuA(menu, MF_STRING, kCmdQuit, GetText("RUNNER_MENU_Quit").c_str());
  }
}

void BuildRunningMenu() {
  HMENU menu = MenuHandle();
  if (!menu) return;
  RemoveMenuCommands(menu);
  ::AppendMenuA(menu, MF_STRING, kCmdOpen, Formatted("RUNNER_Show").c_str());
  ::SetMenuDefaultItem(menu, kCmdOpen, FALSE);
}

void OnTimerTick() {
  LookForFolderChanges();
  const std::string before = GetTrayTip();
  if (!SnoozeRunning()) SetTrayTip(WindowCalls.nextBackupText());
  if (WindowCalls.isBackupDue())
    WindowCalls.showWillStartWarning();
  else if (WindowCalls.internetConnected())
    WindowCalls.checkMissedBackup();
  WindowCalls.refreshControlFlags();
  RefreshWarningSettings();
  if (GetTrayTip() != before) UpdateTrayTip();
}

#include "MainWindow.h"

#include <shellapi.h>

#include "Globals.h"
#include "Messages.h"
#include "Pending.h"
#include "WinUtil.h"

HWND MainWindow = nullptr;
HWND CurrentDialog = nullptr;
UINT TaskbarCreatedMessage = 0;

namespace {

TLock gTipLock;
std::string gTrayTip;
NOTIFYICONDATAA gIconData;  // one record for add, modify and delete

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  try {
    if (TaskbarCreatedMessage != 0 && msg == TaskbarCreatedMessage) {
      // Explorer restarted: the icon is gone with the old taskbar.
      ::Shell_NotifyIconA(NIM_ADD, &gIconData);
      return 0;
    }
    switch (msg) {
      case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
      case WMAPP_RUNNER_TRAY:
        if (lParam == static_cast<LPARAM>(kActivateLParam)) StartClient(false, false, {});
        return 0;
      default:
        break;
    }
  } catch (...) {
    // No exception may leave into USER32; the handlers report their own failures.
    return 0;
  }
  return ::DefWindowProcA(hwnd, msg, wParam, lParam);
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
  gIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  gIconData.uCallbackMessage = WMAPP_RUNNER_TRAY;
  gIconData.hIcon = static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), "MAINICON",
                                                    IMAGE_ICON, 16, 16, LR_SHARED | LR_DEFAULTSIZE));
  lstrcpynA(gIconData.szTip, (ProductName + " Scheduler").c_str(), 64);
  ::Shell_NotifyIconA(NIM_ADD, &gIconData);
}

void DeleteTrayIcon() {
  TLockGuard guard(gTipLock);
  ::Shell_NotifyIconA(NIM_DELETE, &gIconData);
}

void UpdateTrayTip() {
  TLockGuard guard(gTipLock);
  // The first-version record holds 63 characters and the terminator.
  lstrcpynA(gIconData.szTip, gTrayTip.c_str(), 64);
  ::Shell_NotifyIconA(NIM_MODIFY, &gIconData);
}

void BuildTrayMenu() {}
void BuildRunningMenu() {}

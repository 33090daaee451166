// The floor for the footprint benchmark: the least a tray-resident Win32 program does. A
// hidden window, the icon "MAINICON" in the notification area, a 5-second timer that
// rewrites the tip only when its text changed (it never does), and the message loop.
// Built with the same toolchain, flags and resources as ZqRunner.exe.
#include <windows.h>
#include <shellapi.h>

namespace {

constexpr UINT kTrayMessage = WM_APP + 1;
NOTIFYICONDATAA gIcon;

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_TIMER: {
      const char* tip = "Minimal tray program";
      if (lstrcmpA(gIcon.szTip, tip) != 0) {
        lstrcpynA(gIcon.szTip, tip, sizeof gIcon.szTip);
        ::Shell_NotifyIconA(NIM_MODIFY, &gIcon);
      }
      return 0;
    }
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.lpszClassName = "ZqMinimalTray";
  ::RegisterClassA(&wc);
  HWND window = ::CreateWindowExA(0, wc.lpszClassName, "ZqMinimalTray", WS_OVERLAPPEDWINDOW, 0, 0,
                                  100, 100, nullptr, nullptr, instance, nullptr);
  gIcon.cbSize = NOTIFYICONDATAA_V1_SIZE;
  gIcon.hWnd = window;
  gIcon.uID = 1;
  gIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  gIcon.uCallbackMessage = kTrayMessage;
  gIcon.hIcon = static_cast<HICON>(
      ::LoadImageA(instance, "MAINICON", IMAGE_ICON, 16, 16, LR_SHARED | LR_DEFAULTSIZE));
  lstrcpynA(gIcon.szTip, "Minimal tray program", sizeof gIcon.szTip);
  // ZQ_MINIMAL_SPLASH set: a static control shown and destroyed at the start, as ZqRunner's
  // splash: what a program of this manifest pays for the common controls (and, under Wine,
  // the COM libraries they bring) once it has shown a dialog.
  if (::GetEnvironmentVariableA("ZQ_MINIMAL_SPLASH", nullptr, 0))
    ::DestroyWindow(::CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr,
                                      nullptr, instance, nullptr));
  ::Shell_NotifyIconA(NIM_ADD, &gIcon);
  ::SetTimer(window, 1, 5000, nullptr);
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  ::Shell_NotifyIconA(NIM_DELETE, &gIcon);
  return 0;
}

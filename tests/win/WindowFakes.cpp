#include "WindowFakes.h"

#include <stdexcept>

namespace wf {

TRecorder& Rec() {
  static TRecorder r;
  return r;
}

namespace {
int FakeStartClient(bool scheduled, bool backupNow, const std::vector<std::string>& extra) {
  if (Rec().throwOnStart) throw std::runtime_error("start failed");
  Rec().starts.push_back({scheduled, backupNow, extra});
  return 0;
}
BOOL WINAPI FakeShellNotify(DWORD message, PNOTIFYICONDATAA data) {
  TLockGuard g(Rec().lock);
  Rec().icons.push_back({message, std::string(data->szTip)});
  return TRUE;
}
}  // namespace

void InstallRecorder() {
  TRecorder& r = Rec();
  {
    TLockGuard g(r.lock);
    r.starts.clear();
    r.icons.clear();
    r.bubbles.clear();
  }
  r.willStart = r.missedAgain = r.missedChecks = r.refreshes = r.closeClient = 0;
  r.shutdownDialogs = r.closeBubble = r.nextTextCalls = 0;
  r.nextText = "Next backup: Monday 19:00";
  r.dueNow = r.online = r.throwOnStart = false;
  r.foregroundGranted = true;
  r.raised.clear();
  WindowCalls.startClient = FakeStartClient;
  WindowCalls.showWillStartWarning = [] { ++Rec().willStart; };
  WindowCalls.isBackupDue = [] { return Rec().dueNow; };
  WindowCalls.internetConnected = [] { return Rec().online; };
  WindowCalls.checkMissedBackup = [] { ++Rec().missedChecks; };
  WindowCalls.showMissedWarningAgain = [] { ++Rec().missedAgain; };
  WindowCalls.refreshControlFlags = [] { ++Rec().refreshes; };
  WindowCalls.nextBackupText = [] {
    ++Rec().nextTextCalls;
    return Rec().nextText;
  };
  WindowCalls.closeClientWindows = [] { ++Rec().closeClient; };
  WindowCalls.showShutdownDialog = [] { ++Rec().shutdownDialogs; };
  WindowCalls.showBubbleFor = [](void*, const std::string& text) { Rec().bubbles.push_back(text); };
  WindowCalls.closeBubble = [] { ++Rec().closeBubble; };
  WindowCalls.bringToForeground = [](HWND window) {
    Rec().raised.push_back(window);
    return Rec().foregroundGranted;
  };
  WindowCalls.shellNotifyIcon = FakeShellNotify;
  WindowCalls.shutdownCloseWaitMs = 0;
}

TLogWindow::TLogWindow(const char* cls, const char* title) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = Proc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = cls;
  ::RegisterClassA(&wc);  // fails harmlessly once the class exists
  hwnd = ::CreateWindowExA(0, cls, title, WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                           wc.hInstance, nullptr);
  ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TLogWindow::~TLogWindow() {
  if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
}

int TLogWindow::Count(UINT msg) const {
  int n = 0;
  for (const auto& m : log) n += m.msg == msg;
  return n;
}

LRESULT CALLBACK TLogWindow::Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
  auto* self = reinterpret_cast<TLogWindow*>(::GetWindowLongPtrA(h, GWLP_USERDATA));
  if (self && (m >= WM_USER || m == WM_COMMAND)) {
    self->log.push_back({m, w, l});
    return 0;
  }
  return ::DefWindowProcA(h, m, w, l);
}

bool PumpUntilQuit(DWORD ms) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return msg.wParam == 0;
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    if (::GetTickCount() - start > ms) return false;
    ::Sleep(10);
  }
}

void DrainQueue() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

}  // namespace wf

// Win32 half of backup on shut-down: the session seam, the shut-down block reason and the
// 10-second shut-down dialog.
#include <windows.h>

#include <vector>

#include "ActivityLog.h"
#include "BackupOnShutdown.h"
#include "DialogFit.h"
#include "DialogIcon.h"
#include "Globals.h"
#include "MainWindow.h"
#include "Messages.h"
#include "MyDialogs.h"
#include "WinUtil.h"
#include "Workers.h"
#include "uRunnerResource.h"

namespace {

bool IsNtFamily() { return (::GetVersion() & 0x80000000u) == 0; }

// Ending the session other than by log-off needs the shutdown privilege, present but
// disabled in an ordinary user's token. Failures are left to ExitWindowsEx to report.
void EnableShutdownPrivilege() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw))
    return;
  TKernelHandle token(raw);
  TOKEN_PRIVILEGES wanted = {};
  wanted.PrivilegeCount = 1;
  wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!::LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &wanted.Privileges[0].Luid)) return;
  TOKEN_PRIVILEGES previous = {};
  DWORD previousSize = 0;
  ::AdjustTokenPrivileges(token.get(), FALSE, &wanted, sizeof previous, &previous, &previousSize);
}

static_assert(kEwxShutdown == EWX_SHUTDOWN && kEwxReboot == EWX_REBOOT &&
                  kEwxPowerOff == EWX_POWEROFF && kEwxForceIfHung == EWX_FORCEIFHUNG,
              "ExitWindowsEx flags");

class TWinSession : public ISession {
 public:
  bool NtFamily() const override { return IsNtFamily(); }
  bool EndSession(unsigned flags) override {
    if (IsNtFamily()) EnableShutdownPrivilege();
    return ::ExitWindowsEx(flags, 0) != FALSE;
  }
};

// Vista and later only, so looked up at run time.
using TBlockReasonCreate = BOOL(WINAPI*)(HWND, LPCWSTR);
using TBlockReasonDestroy = BOOL(WINAPI*)(HWND);
HWND gBlockedBy = nullptr;

template <typename F>
F User32Entry(const char* name) {
  HMODULE user32 = ::GetModuleHandleA("user32.dll");
  // Through void*: FARPROC's own type does not match the entry's.
  return user32 ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(user32, name)))
                : nullptr;
}

// Zero-terminated UTF-16 of an ANSI text (a vector rather than std::wstring, which would
// link a second string implementation into the program for this one call).
std::vector<wchar_t> Wide(const std::string& ansi) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
  std::vector<wchar_t> out(static_cast<size_t>(n > 0 ? n : 1), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, out.data(), n);
  return out;
}

enum : int { kIdMessage = 20, kIdRestart = 102, kIdCountdownEnd = 222 };
constexpr int kShutdownSeconds = 10;
constexpr uint32_t kDialogStyle = 0x10080840;  // visible, system menu, centred, font
constexpr uint32_t kStaticCentred = 0x50000001;
constexpr uint32_t kDefaultButton = 0x50000001;

INT_PTR CALLBACK ShutdownProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  try {
    if (msg == WM_COMMAND && LOWORD(wParam) == kIdRestart) {
      ::DestroyWindow(dialog);
      ShutDownWindows(true);
    } else if (msg == WM_COMMAND && LOWORD(wParam) == kIdCountdownEnd) {
      ::DestroyWindow(dialog);
      ShutDownWindows(false);
    } else if (msg == WM_ACTIVATE) {
      FocusFirstControlOnActivation(dialog, wParam);
    } else if (msg == kWmDpiChanged) {
      OnDialogDpiChanged(dialog, wParam, lParam);
      return TRUE;
    } else if (msg == WMAPP_RUNNER_COUNTDOWN) {
      const int left = static_cast<int>(static_cast<INT_PTR>(wParam));
      const std::string text = GetText("RUNNER_Restart_Button") + " " + std::to_string(left);
      ::SetDlgItemTextA(dialog, kIdRestart, text.c_str());
    }
    // Nothing else: the close box leads to IDCANCEL, which does nothing, so the dialog
    // cannot be dismissed; only Restart and the end of the count lead out.
  } catch (...) {
  }
  return 0;
}

}  // namespace

void InstallSessionSeam() {
  static TWinSession session;
  seams::SetSession(&session);
}

void BlockSessionEnd() {
  if (gBlockedBy || !MainWindow) return;
  auto create = User32Entry<TBlockReasonCreate>("ShutdownBlockReasonCreate");
  const std::vector<wchar_t> reason = Wide(ProductName + " (" + GetText("RUNNER_Running") + ")");
  if (create && create(MainWindow, reason.data())) gBlockedBy = MainWindow;
}

void UnblockSessionEnd() {
  if (!gBlockedBy) return;
  auto destroy = User32Entry<TBlockReasonDestroy>("ShutdownBlockReasonDestroy");
  if (destroy) destroy(gBlockedBy);
  gBlockedBy = nullptr;
}

bool ShutDownWindows(bool restart) {
  UnblockSessionEnd();
  ISession& session = seams::Session();
  LogEvent("session end", "asked of Windows, flags " + std::to_string(ExitWindowsFlags(restart, session.NtFamily())));
  return session.EndSession(ExitWindowsFlags(restart, session.NtFamily()));
}

void ShowShutdownDialog() {
  HWND dialog = nullptr;
  {
    TTemplateStream t;
    WriteDialogHeader(t, 0, 0, 200, 60, 2, kDialogStyle, GetText("RUNNER_Win_Shutdown_Caption"),
                      "");
    WriteDialogItem(t, 0, 5, 200, 10, kIdMessage, kStaticCentred, kAtomStatic,
                    GetText("RUNNER_Win_Shutdown"));
    WriteDialogItem(t, 70, 25, 60, 16, kIdRestart, kDefaultButton | kFirstTabStop, kAtomButton,
                    GetText("RUNNER_Restart_Button"));
    dialog = ::CreateDialogIndirectParamA(::GetModuleHandleA(nullptr),
                                          reinterpret_cast<LPCDLGTEMPLATEA>(t.data()), MainWindow,
                                          ShutdownProc, 0);
  }
  // Not the CurrentDialog: keys do not reach it; it is worked with the mouse or not at all.
  SetDialogClassIcon(dialog);
  FitDialog(dialog);
  if (dialog) ::SetForegroundWindow(dialog);
  // A dialog that could not be created is not visible: the countdown then ends at once.
  StartCountDown(dialog, kShutdownSeconds, kIdCountdownEnd);
}

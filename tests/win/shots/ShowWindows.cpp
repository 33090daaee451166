// Shows one of ZqRunner's notification windows in this process so that
// scripts/screenshots.sh can take its picture:
//   ShowWindows.exe <installation directory> missed|bubble|splash|willstart|shutdown
// Prints "SHOT x y width height" (screen pixels) once the window has painted, keeps it
// up for a few seconds, and ends. Prints "NONE" when that window does not exist in this
// build.
#include <windows.h>

#include <cstdio>
#include <string>

#include "BackupOnShutdown.h"
#include "Bubble.h"
#include "Globals.h"
#include "Launcher.h"
#include "MainWindow.h"
#include "MissedBackupDialog.h"
#include "RunnerSplash.h"
#include "SchedUnit.h"
#include "Settings.h"
#include "Snooze.h"
#include "WinPlatform.h"
#include "WinUtil.h"
#include "uRunnerResource.h"

namespace {

void Pump(DWORD ms) {
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < ms) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!CurrentDialog || !::IsDialogMessageA(CurrentDialog, &msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
      }
    }
    ::Sleep(20);
  }
}

struct TFound {
  HWND best = nullptr;
  long area = 0;
};

// The largest visible top-level window of this process (the splash belongs to another
// thread of it, the main window is never visible).
BOOL CALLBACK TakeLargest(HWND w, LPARAM param) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(w, &pid);
  if (pid != ::GetCurrentProcessId() || !::IsWindowVisible(w)) return TRUE;
  RECT r;
  ::GetWindowRect(w, &r);
  auto* found = reinterpret_cast<TFound*>(param);
  const long area = (r.right - r.left) * (r.bottom - r.top);
  if (area > found->area) *found = {w, area};
  return TRUE;
}

HWND VisibleWindow() {
  TFound found;
  ::EnumWindows(TakeLargest, reinterpret_cast<LPARAM>(&found));
  return found.best;
}

void SetOldLastBackup(const std::string& path, int daysBack) {
  TFileHandle f(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER t{{ft.dwLowDateTime, ft.dwHighDateTime}};
  t.QuadPart -= static_cast<ULONGLONG>(daysBack) * 24 * 3600 * 10000000ULL;
  ft = {t.LowPart, t.HighPart};
  ::SetFileTime(f.get(), nullptr, nullptr, &ft);
}

// The shut-down dialog ends the session when its count runs out: never from here.
class TNoSession : public ISession {
 public:
  bool NtFamily() const override { return true; }
  bool EndSession(unsigned) override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: ShowWindows <dir> missed|bubble|splash|willstart|shutdown\n", stderr);
    return 2;
  }
  const std::string what = argv[2];
  InstallWinSeams();
  TNoSession noSession;
  seams::SetSession(&noSession);
  InstallDir = argv[1];
  InitTextTable(InstallDir + "\\resource.properties", ::GetUserDefaultLangID());
  try {
    LoadServerAndProduct("");
  } catch (...) {
  }
  FillDayNames();
  FillSnoozeChoices();
  CreateSchedule();
  LoadSchedule();
  // Show every button as a user without restrictions sees it.
  CancelAllowed = true;
  SnoozeLimit = 3;
  RegisterMainWindowClass();
  CreateMainWindow();

  if (what == "missed") {
    SetOldLastBackup(InstallPath("lastbackup.idx"), 5);
    ShowMissedWarning(1);
  } else if (what == "bubble") {
    ShowBubble(MainWindow, "");
  } else if (what == "splash") {
    ShowSplash(ProductName);
  } else if (what == "willstart") {
    ShowWillStartWarning();
  } else if (what == "shutdown") {
    ShowShutdownDialog();
  }
  Pump(700);  // let it paint (the bubble grows to its text on the first paint)
  HWND w = VisibleWindow();
  if (!w) {
    std::puts("NONE");
    std::fflush(stdout);
    return 0;
  }
  RECT r;
  ::GetWindowRect(w, &r);
  std::printf("SHOT %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
  std::fflush(stdout);
  Pump(what == "splash" ? 1000 : 2500);
  return 0;
}

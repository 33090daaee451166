// Shared fakes for the in-process main-window and worker-thread tests: a thread-safe
// clock, a recorder behind WindowCalls, a launcher that records, and a window that logs
// the messages it gets.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "MainWindow.h"
#include "Seams.h"
#include "WinUtil.h"
#include "core/Fakes.h"

namespace wf {

// Now() from another thread while the test moves the time: an atomic double.
class TAtomicClock : public IClock {
 public:
  std::atomic<TDateTime> now{0};
  TDateTime Now() const override { return now.load(); }
  void Advance(double seconds) { now = now.load() + seconds / 86400.0; }
};

struct TStartCall {
  bool scheduled, backupNow;
  std::vector<std::string> extra;
};
struct TIconCall {
  DWORD message;
  std::string tip;
};

// Everything the window procedure asked of other modules. Icon calls may come from the
// snooze thread: all access under `lock`.
struct TRecorder {
  TLock lock;
  std::vector<TStartCall> starts;
  std::vector<TIconCall> icons;
  std::vector<std::string> bubbles;
  int willStart = 0, missedAgain = 0, missedChecks = 0, refreshes = 0, closeClient = 0,
      shutdownDialogs = 0, closeBubble = 0, nextTextCalls = 0;
  // Scripted answers.
  std::string nextText = "Next backup: Monday 19:00";
  bool dueNow = false;  // what IsBackupDue answers (the real one: tests/win/MainWindow_test.cpp)
  bool online = false;
  bool throwOnStart = false;
  bool foregroundGranted = true;  // what Windows answers to a foreground switch
  std::vector<HWND> raised;       // windows asked to come to the foreground

  int IconCalls(DWORD message) {
    TLockGuard g(lock);
    int n = 0;
    for (const auto& c : icons) n += c.message == message;
    return n;
  }
  std::string LastIconTip() {
    TLockGuard g(lock);
    return icons.empty() ? std::string() : icons.back().tip;
  }
};

TRecorder& Rec();
// Installs the recorder into WindowCalls (the shut-down pause set to 0 ms).
void InstallRecorder();

class TRecordingLauncher : public IProcessLauncher {
 public:
  std::vector<std::string> commands, dirs;
  bool succeed = false;  // what it reports: started, or not
  TProcessResult Start(const std::string& cmd, const std::string& dir, bool) override {
    commands.push_back(cmd);
    dirs.push_back(dir);
    TProcessResult r;
    r.started = succeed;
    return r;
  }
};

// A visible top-level window of the test thread that logs WM_USER+ and WM_COMMAND; by
// default of a class of its own, else of the class and title another program looks for.
struct TLogWindow {
  struct TMsg {
    UINT msg;
    WPARAM w;
    LPARAM l;
  };
  HWND hwnd = nullptr;
  std::vector<TMsg> log;
  explicit TLogWindow(const char* cls = "ZqTestLogWindow", const char* title = "log");
  ~TLogWindow();
  int Count(UINT msg) const;
  static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l);
};

// Pumps the test thread's queue for up to `ms`; true when WM_QUIT with code 0 came.
bool PumpUntilQuit(DWORD ms);
// Removes everything waiting in the test thread's queue, WM_QUIT included.
void DrainQueue();

}  // namespace wf

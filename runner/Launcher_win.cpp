#include "Launcher.h"

#include <windows.h>

#include "ClientWindow.h"
#include "Globals.h"
#include "MainWindow.h"
#include "Messages.h"
#include "MyDialogs.h"
#include "RunThread.h"
#include "SchedUnit.h"
#include "Settings.h"
#include "Snooze.h"
#include "Workers.h"
#include "uRunnerResource.h"

bool SnoozeAllowed() { return SnoozeCount < SnoozeLimit; }

bool UpdatePending() {
  if (!seams::Fs().Exists(InstallPath("NewVer.ZLib"))) return false;
  ::PostMessageA(MainWindow, WMAPP_RUNNER_UPDATE, 0, 0);
  return true;
}

std::string ProgramNotFoundText(const std::string& commandLine) {
  return ProductName + " " + InstallDir + "\\stash9.JAR " + GetText("RUNNER_program_not_found") +
         "\r" + "Command = \"" + commandLine + "\"";
}

int RunClient(const TClientRequest& request, std::string& commandLine) {
  ResetSnoozeForClientRun();
  if (CurrentDialog && ::IsWindowVisible(CurrentDialog)) {
    ::DestroyWindow(CurrentDialog);
    CurrentDialog = nullptr;
  }
  const TClientCommand command = BuildClientCommand(request);
  commandLine = command.commandLine;
  if (!command.runtimeFound) return kClientNoRuntime;
  if (!seams::Fs().Exists(InstallPath("stash9.jar"))) return kClientNotStarted;
  if (UpdatePending()) return kClientUpdatePending;

  SuspendTimerThread();
  int result = kClientNotStarted;
  {
    // The class path names the jars without a directory: the client runs in InstallDir.
    TRunThread run(command.commandLine, InstallDir);
    WaitPumping(run, 5);
    result = run.Result();
  }
  ResumeTimerThread();
  LastTriggerSlot = CurrentSlotKey();
  // Only a client that really ran counts: the first successful run still gets
  // ZqRunner's own arguments when an earlier attempt failed.
  if (result == kClientRan) ++LaunchCount;
  return result;
}

namespace {

// Restores the idle state however the run ended (an exception included).
class TRunEnd {
 public:
  ~TRunEnd() {
    LaunchInProgress = false;
    try {
      LoadSchedule();
      LoadWarningSettings();
      SetTrayTip(ScheduleNextBackupText());
    } catch (...) {
      // An unreadable schedule keeps the last one; the tip and menu are restored anyway.
    }
    UpdateTrayTip();
    BuildTrayMenu();
    ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
  }
};

std::string JoinArguments(const std::vector<std::string>& extra) {
  std::string text;
  for (const auto& a : extra) {
    if (!text.empty()) text += ' ';
    text += a;
  }
  return text;
}

}  // namespace

int StartClient(bool scheduled, bool backupNow, const std::vector<std::string>& extra) {
  if (FindClientWindow()) {
    // A scheduled start never disturbs an open client; a user's request brings it forward.
    if (!scheduled) ActivateClientWindow();
    return kClientNotStarted;
  }
  if (LaunchInProgress) return kClientNotStarted;
  // Marked before the messages are pumped below: a second double-click already queued
  // would otherwise start a run of its own from inside this one.
  LaunchInProgress = true;
  TRunEnd restore;
  ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
  PumpMessages();
  BuildRunningMenu();
  SetTrayTip(ProductName + " (" + GetText("RUNNER_Running") + ")");
  UpdateTrayTip();

  std::string commandLine;
  const int result = RunClient({scheduled, backupNow, JoinArguments(extra)}, commandLine);
  if (result == kClientNotStarted)
    ShowInfoMessage(ProgramNotFoundText(commandLine));
  else if (result == kClientNoRuntime)
    ShowInfoMessage(GetText("RUNNER_JRE_not_found"));
  return result;
}

namespace {
// The client's top-level windows, in the Z order: the first of them, and its real window,
// the first visible one that no other window owns and that is not the hidden indicator
// window Nativa creates in the client (closing that one leaves the client running).
struct TClientWindows {
  DWORD pid;
  HWND first;
  HWND frame;
};
BOOL CALLBACK FindClientWindowsOf(HWND window, LPARAM param) {
  auto* found = reinterpret_cast<TClientWindows*>(param);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  if (pid != found->pid) return TRUE;
  if (!found->first) found->first = window;
  char cls[64] = {};
  ::GetClassNameA(window, cls, sizeof cls);
  if (::IsWindowVisible(window) && !::GetWindow(window, GW_OWNER) &&
      lstrcmpiA(cls, kClientWindowClass) != 0) {
    found->frame = window;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

void CloseClientWindows() {
  TClientWindows found{LastClientProcessId.load(), nullptr, nullptr};
  if (found.pid == 0) return;
  ::EnumWindows(FindClientWindowsOf, reinterpret_cast<LPARAM>(&found));
  // No such window (a client minimised to the tray hides its frame): the first one.
  HWND target = found.frame ? found.frame : found.first;
  if (!target) return;
  ::SendMessageA(target, WM_CLOSE, 0, 0);
  LaunchInProgress = false;
}

#include "Launcher.h"

#include <windows.h>

#include "ActivityLog.h"
#include "ClientWindow.h"
#include "Globals.h"
#include "LogTexts.h"
#include "MainWindow.h"
#include "MissedBackup.h"
#include "Messages.h"
#include "MyDialogs.h"
#include "RunThread.h"
#include "SchedUnit.h"
#include "Settings.h"
#include "Snooze.h"
#include "Update.h"
#include "Workers.h"
#include "uRunnerResource.h"

bool SnoozeAllowed() { return SnoozeCount < SnoozeLimit; }

bool UpdatePending() {
  if (UpdateBlocked || !seams::Fs().Exists(InstallPath("NewVer.ZLib"))) return false;
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

  NoteBackupRunStarting();
  SuspendTimerThread();
  int result = kClientNotStarted;
  {
    // The class path names the jars without a directory: the client runs in InstallDir.
    TRunThread run(command.commandLine, InstallDir);
    WaitPumping(run, 5);
    result = run.Result();
  }
  ResumeTimerThread();
  NoteClientRunEnded();
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
    LogEvent("client start", ClientStartText(scheduled, backupNow, "") + ": the client is open already");
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
  LogEvent("client start", ClientStartText(scheduled, backupNow, JoinArguments(extra)));
  const int result = RunClient({scheduled, backupNow, JoinArguments(extra)}, commandLine);
  LogEvent("client run", ClientResultText(result));
  if (result == kClientNotStarted)
    ShowInfoMessage(ProgramNotFoundText(commandLine));
  else if (result == kClientNoRuntime)
    ShowInfoMessage(GetText("RUNNER_JRE_not_found"));
  return result;
}

namespace {
// The client's top-level windows that closing could end it by, in the Z order. Never the
// hidden indicator window that Nativa creates in the client (a WM_CLOSE there only takes
// the indicator away, and with it the sign that the client runs) nor the system's
// per-thread IME windows.
struct TClientWindows {
  DWORD pid;
  HWND frame;   // the first visible window that no other window owns: the client's frame
  HWND hidden;  // the first unowned one with a caption (a frame hidden in the tray)
  HWND other;   // the first of the rest
};
bool IsHelperWindow(HWND window) {
  char cls[64] = {};
  ::GetClassNameA(window, cls, sizeof cls);
  return lstrcmpiA(cls, kClientWindowClass) == 0 || lstrcmpiA(cls, "IME") == 0 ||
         lstrcmpiA(cls, "MSCTFIME UI") == 0;
}
BOOL CALLBACK FindClientWindowsOf(HWND window, LPARAM param) {
  auto* found = reinterpret_cast<TClientWindows*>(param);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  if (pid != found->pid || IsHelperWindow(window)) return TRUE;
  const bool unowned = !::GetWindow(window, GW_OWNER);
  if (unowned && ::IsWindowVisible(window)) {
    found->frame = window;
    return FALSE;
  }
  if (!found->hidden && unowned && (::GetWindowLongA(window, GWL_STYLE) & WS_CAPTION) == WS_CAPTION)
    found->hidden = window;
  if (!found->other) found->other = window;
  return TRUE;
}
}  // namespace

void CloseClientWindows() {
  TClientWindows found{LastClientProcessId.load(), nullptr, nullptr, nullptr};
  if (found.pid == 0) return;
  ::EnumWindows(FindClientWindowsOf, reinterpret_cast<LPARAM>(&found));
  // No visible frame (a client minimised to the tray hides it): the hidden one, else the
  // first other window. Only helper windows: nothing happens, as with no window at all.
  HWND target = found.frame ? found.frame : found.hidden ? found.hidden : found.other;
  if (!target) return;
  ::SendMessageA(target, WM_CLOSE, 0, 0);
  LaunchInProgress = false;
}

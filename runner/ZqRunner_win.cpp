// ZqRunner: module initialisation, the command-line forms and the start-up of the normal
// tray-resident run, the message loop and the shut-down. Every run exits with code 0.
#include <windows.h>

#include <string>
#include <vector>

#include "BackupOnShutdown.h"
#include "ActivityLog.h"
#include "ClientWindow.h"
#include "CommandLine.h"
#include "ControlFlags.h"
#include "Diagnostics.h"
#include "Globals.h"
#include "IsConnected.h"
#include "JavaSetup.h"
#include "Just1.h"
#include "Launcher.h"
#include "MainWindow.h"
#include "Messages.h"
#include "MyDialogs.h"
#include "RunnerError.h"
#include "RunnerModule.h"
#include "RunnerSplash.h"
#include "SchedUnit.h"
#include "Settings.h"
#include "Snooze.h"
#include "Uninstall.h"
#include "Update.h"
#include "WinLauncher.h"
#include "WinPlatform.h"
#include "Workers.h"
#include "uRunnerResource.h"

namespace {

void DeleteIfExists(const std::string& path) {
  if (seams::Fs().Exists(path)) seams::Fs().Delete(path);
}

// A second instance hands over to the first: the client if it is open, else the first
// instance's tray (as if its icon were double-clicked).
void HandOverToRunningInstance() {
  LogEvent("another instance runs", "handed over to it; this one ends");
  if (ActivateClientWindow()) return;
  if (HWND first = ::FindWindowA(kMainWindowClass, kMainWindowTitle))
    ::PostMessageA(first, WMAPP_RUNNER_TRAY, kActivateWParam, kActivateLParam);
}

// Returns true when the command line was a maintenance form (the run then ends).
bool DispatchMaintenanceForms() {
  switch (ClassifyCommandLine(CommandArgs)) {
    case TCommandForm::UninstallDir: {
      const std::string& dir = CommandArgs[1];
      try {
        LoadServerAndProduct(dir);
      } catch (const TRunnerError&) {
      }
      if (seams::Fs().DirectoryExists(dir))
        RunUninstall(dir);
      else
        ShowInfoMessage("The directory to uninstall, " + dir + ", does not exist!");
      return true;
    }
    case TCommandForm::UpdateDir: {
      const std::string& dir = CommandArgs[1];
      if (seams::Fs().DirectoryExists(dir))
        RunUpdate(dir);
      else
        ShowInfoMessage("The directory to update, " + dir + ", does not exist!");
      return true;
    }
    case TCommandForm::UninstallHandoff:
      StartUninstallHandoff();
      return true;
    case TCommandForm::Normal:
      break;
  }
  return false;
}

void RunMessageLoop() {
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (CurrentDialog && ::IsDialogMessageA(CurrentDialog, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

void RunMainBody() {
  FillDayNames();                                                        // 1
  FillSnoozeChoices();
  LoadShutdownSettings();                                                // 2
  TaskbarCreatedMessage = ::RegisterWindowMessageA("TaskbarCreated");    // 3
  ProductName = "Stash9";                                                // 4
  LaunchInProgress = false;
  CurrentDialog = nullptr;
  try {                                                                  // 5
    LoadServerAndProduct("");
  } catch (const TRunnerError&) {
  }
  if (DispatchMaintenanceForms()) return;                                // 6
  if (!UpdateNotRunning()) return;  // an update of this installation runs: never disturbed
  if (IsAlreadyRunning(kInstanceMutex)) {                                // 7
    HandOverToRunningInstance();
    return;
  }
  RegisterRestartAfterCrash("-min");  // back in the tray after a crash, as at log-on
  const std::string temp = TempDir();
  DeleteIfExists(temp + "updSW.exe");                                    // 8
  DeleteIfExists(temp + "resource.properties");                          // 9
  if (!RecoverInterruptedUpdate()) return;  // a killed update finished or undone
  RemoveInterruptedSaves(InstallDir);
  WatchInstallFolder(InstallDir);
  if (!EnsureJavaRuntime()) {                                            // 10
    ShowInfoMessage(GetText("RUNNER_JRE_not_installed"));
    return;
  }
  CreateSchedule();                                                      // 11
  RefreshControlFlags();                                                 // 12
  RemoveDirectoryTree(InstallPath("JRE"));                               // 13
  seams::Fs().Delete(InstallPath("NewVer.jar"));                         // 14
  seams::Fs().Delete(InstallPath("stowly.jar"));
  RegisterMainWindowClass();                                             // 15
  EncryptionPluginPresent = seams::Fs().Exists(InstallPath("crypto_plugin.jar")) &&  // 16
                            seams::Fs().Exists(InstallPath("ZqDecryptor.exe"));
  if (EncryptionPluginPresent) RegisterShellVerb();                      // 17
  CreateMainWindow();                                                    // 18
  AddTrayIcon();                                                         // 19
  BuildTrayMenu();                                                       // 20
  StartTimerThread();                                                    // 21
  SetTrayTip(ProductName + " Scheduler");                                // 22
  LastMissedWarningTime = kNoDateTime;
  LastTriggerSlot = -1;
  LaunchCount = 0;
  LoadSchedule();                                                        // 23
  LoadWarningSettings();                                                 // 24
  SetTrayTip(ScheduleNextBackupText());                                  // 25
  UpdateTrayTip();
  if (HasSwitch(CommandArgs, "-min")) {                                  // 26
    ShowSplash(ProductName);
    CheckConnectionSetup();
  } else {
    StartClient(false, false, {});                                       // 27
  }
  RunMessageLoop();                                                      // 28
  // A snooze still counting down writes the tray tip and reads the text table every half
  // second: end it before either goes away.
  StopSnoozeRequested = true;
  for (int i = 0; i < 20 && SnoozeActive; ++i) ::Sleep(kWorkerPassMs / 5);
  FreeSchedule();                                                        // 29
  DeleteTrayIcon();
  StopTimerThread();
  if (MainWindow) ::DestroyWindow(MainWindow);
  LogEvent("quit");
}

// The activity log and the crash report go to the installation folder; the updater and
// the uninstaller run as copies in the temporary folder and write to the folder they serve.
void StartDiagnostics() {
  const TCommandForm form = ClassifyCommandLine(CommandArgs);
  const bool served = form == TCommandForm::UpdateDir || form == TCommandForm::UninstallDir;
  const std::string folder = served ? CommandArgs[1] : InstallDir;
  StartActivityLog(folder, form == TCommandForm::UpdateDir      ? "updater start-up"
                           : form == TCommandForm::UninstallDir ? "uninstaller start-up"
                                                                : "start-up");
  InstallCrashReport(folder);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  try {
    InitializeRunnerModule();
    CommandArgs = SplitCommandLine(SkipProgramName(::GetCommandLineA()));
    StartDiagnostics();
    RunMainBody();
  } catch (const std::exception& e) {
    LogEvent("ended by an error", e.what());  // every run ends with exit code 0
  }
  FinalizeRunnerModule();
  return 0;
}

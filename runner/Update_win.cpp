// The update entry points of the Win32 program: the hand-over of the installed scheduler,
// the updater run for "-update" and a directory, and the recovery at a normal start.
#include <windows.h>

#include "ArchiveIo_win.h"
#include "Globals.h"
#include "MainWindow.h"
#include "MaintenanceHost_win.h"
#include "Update.h"
#include "WinPlatform.h"

namespace {

// Set by the updater for the program it starts at its end (the environment is inherited),
// so that start knows it belongs to the run that handed over.
constexpr char kStartedByUpdater[] = "ZQRUNNER_UPDATER_START";

bool StartedByUpdater() {
  char flag[4] = {};
  return ::GetEnvironmentVariableA(kStartedByUpdater, flag, sizeof flag) > 0;
}

}  // namespace

void RunUpdate(const std::string& dir) {
  // One updater at a time per installation: a second one (started by hand, say) waits.
  const std::string name = UpdateMarkName(dir) + "_apply";
  TKernelHandle alone(::CreateMutexA(nullptr, FALSE, name.c_str()));
  const DWORD waited = alone ? ::WaitForSingleObject(alone.get(), 10 * 60 * 1000) : WAIT_FAILED;
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return;
  ::SetEnvironmentVariableA(kStartedByUpdater, "1");
  {
    TWinMaintenanceHost host;
    TWinArchiveIo io;
    ApplyUpdate(dir, host, io);
  }
  ::ReleaseMutex(alone.get());
}

bool UpdateNotRunning() {
  TWinMaintenanceHost host;
  return WaitWhileUpdating(InstallDir, host, StartedByUpdater());
}

bool RecoverInterruptedUpdate() {
  const bool byUpdater = StartedByUpdater();
  ::SetEnvironmentVariableA(kStartedByUpdater, nullptr);  // not for the client
  TWinMaintenanceHost host;
  TWinArchiveIo io;
  return RecoverAtStart(InstallDir, host, io, byUpdater);
}

bool LaunchUpdater() {
  // The host, and with it this program's hold on the update's mark, lives until the end
  // of this run: the updater holds a copy from its start.
  static TWinMaintenanceHost host;
  return HandOverUpdate(ExeDirectory(), host);
}

// The update entry points of the Win32 program: the hand-over of the installed scheduler,
// the updater run for "-update" and a directory, and the recovery at a normal start.
#include "ArchiveIo_win.h"
#include "Globals.h"
#include "MainWindow.h"
#include "MaintenanceHost_win.h"
#include "Update.h"
#include "WinPlatform.h"

void RunUpdate(const std::string& dir) {
  TWinMaintenanceHost host;
  TWinArchiveIo io;
  ApplyUpdate(dir, host, io);
}

void RecoverInterruptedUpdate() {
  TWinMaintenanceHost host;
  TWinArchiveIo io;
  RecoverAtStart(InstallDir, host, io);
}

bool LaunchUpdater() {
  TWinMaintenanceHost host;
  return HandOverUpdate(ExeDirectory(), host);
}

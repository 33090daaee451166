// The Win32 maintenance host and the uninstall entry points that start-up calls.
#include <windows.h>

#include "MaintenanceHost_win.h"
#include "Messages.h"
#include "Uninstall.h"
#include "WinPlatform.h"
#include "WinRegistry.h"

std::string TWinMaintenanceHost::TempDir() { return ::TempDir(); }
std::string TWinMaintenanceHost::ExePath() { return ::ExePath(); }
void TWinMaintenanceHost::Sleep(unsigned ms) { ::Sleep(ms); }

void TWinMaintenanceHost::SetArchiveAttribute(const std::string& path) {
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
}

bool TWinMaintenanceHost::CopyFileOver(const std::string& from, const std::string& to) {
  return ::CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

void TWinMaintenanceHost::RemoveTree(const std::string& dir) { ::RemoveDirectoryTree(dir); }

bool TWinMaintenanceHost::RemoveEmptyDirectory(const std::string& dir) {
  return ::RemoveDirectoryA(dir.c_str()) != 0;
}

bool TWinMaintenanceHost::SchedulerWindowExists() {
  return ::FindWindowA(kMainWindowClass, kMainWindowTitle) != nullptr;
}

void TWinMaintenanceHost::PostDestroyToScheduler() {
  if (HWND w = ::FindWindowA(kMainWindowClass, kMainWindowTitle))
    ::PostMessageA(w, WM_DESTROY, 0, 0);
}

void StartUninstallHandoff() {
  TWinMaintenanceHost host;
  ConfirmUninstall(host);
}

void RunUninstall(const std::string& dir) {
  TWinMaintenanceHost host;
  TWinRegistry registry;
  RunUninstall(dir, host, registry);
}

// Minimal stand-ins for entry points whose modules are not written yet (see Pending.h).
#include "Pending.h"

#include "Globals.h"
#include "MyDialogs.h"

void LoadConnectionLibraries() {}
void ReleaseIcmpLibrary() {}
void FillDayNames() {}
void FillSnoozeChoices() {}
void LoadShutdownSettings() {}

void RunUpdate(const std::string& dir) {
  ShowInfoMessage("Updating " + dir + " is not available in this build.");
}
void RunUninstall(const std::string& dir) {
  ShowInfoMessage("Uninstalling " + dir + " is not available in this build.");
}
void StartUninstallHandoff() {}
bool EnsureJavaRuntime() { return true; }
void RegisterShellVerb() {}
void CheckConnectionSetup() {}

void CreateSchedule() {}
void LoadSchedule() {}
std::string ScheduleNextBackupText() { return ProductName + " Scheduler"; }
bool ScheduleIsDueNow() { return false; }
void FreeSchedule() {}

void RefreshControlFlags() {}

void StartTimerThread() {}
void StopTimerThread() {}

void ShowSplash(const std::string&) {}

int StartClient(bool, bool, const std::vector<std::string>&) { return 1; }

// Minimal stand-ins for entry points whose modules are not written yet (see Pending.h).
// Each block is deleted by the module that takes it over.
#include "Pending.h"

#include "Globals.h"
#include "MyDialogs.h"

void LoadConnectionLibraries() {}
void ReleaseIcmpLibrary() {}
bool InternetConnected() { return false; }

int StartClient(bool, bool, const std::vector<std::string>&) { return 1; }
void CloseClientWindows() {}
void ShowWillStartWarning() {}
void CheckMissedBackup() {}
void ShowMissedWarningAgain() {}

void LoadShutdownSettings() {}
void ShowShutdownDialog() {}

void ShowBubbleFor(void*, const std::string&) {}
void CloseBubble() {}

void ShowSplash(const std::string&) {}

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

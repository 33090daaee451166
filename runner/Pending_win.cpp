// Minimal stand-ins for entry points whose modules are not written yet (see Pending.h).
// Each block is deleted by the module that takes it over.
#include "Pending.h"

#include "Globals.h"
#include "MyDialogs.h"

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

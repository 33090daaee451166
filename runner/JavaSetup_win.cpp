// Win32 entry points of the start-up duties of JavaSetup.h.
#include "ClientCommand.h"
#include "JavaSetupHost_win.h"
#include "Launcher.h"
#include "RunThread.h"
#include "WinRegistry.h"

std::string TWinJavaSetupHost::FindJavaw() { return ::FindJavaw(); }

void TWinJavaSetupHost::RunAndWait(const std::string& commandLine, const std::string& workDir) {
  TRunThread thread(commandLine, workDir);
  WaitPumping(thread, 1);
}

void TWinJavaSetupHost::WaitUntilReleased(const std::string& path) {
  TLockThread thread(path);
  WaitPumping(thread, 1);
}

int TWinJavaSetupHost::StartClient() { return ::StartClient(false, false, {}); }

bool EnsureJavaRuntime() {
  TWinJavaSetupHost host;
  return EnsureJavaRuntimeWith(host);
}

void RegisterShellVerb() {
  TWinRegistry registry;
  RegisterShellVerbWith(registry);
}

void CheckConnectionSetup() {
  TWinJavaSetupHost host;
  CheckConnectionSetupWith(host);
}

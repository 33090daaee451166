// Win32 entry points of the start-up duties of JavaSetup.h.
#include "ClientCommand.h"
#include "JavaSetupHost_win.h"
#include "Pending.h"
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

// The entry points are never inlined into start-up: inlined there, the LTO link of the
// MinGW GCC 12 deliverable stops with an internal compiler error (dead-store pass).
__attribute__((noinline)) bool EnsureJavaRuntime() {
  TWinJavaSetupHost host;
  return EnsureJavaRuntimeWith(host);
}

__attribute__((noinline)) void RegisterShellVerb() {
  TWinRegistry registry;
  RegisterShellVerbWith(registry);
}

__attribute__((noinline)) void CheckConnectionSetup() {
  TWinJavaSetupHost host;
  CheckConnectionSetupWith(host);
}

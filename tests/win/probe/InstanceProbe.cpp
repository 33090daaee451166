// Asks IsAlreadyRunning once, as ZqRunner's start-up does, at the moment the test chooses.
// Usage: instance_probe MUTEX READY GO CHECKED DONE
//   READY, CHECKED: semaphores the probe releases once when it waits for the start signal
//   and once when it has asked; GO, DONE: manual-reset events the test sets to let all
//   probes ask at once and to let them end. Until DONE the probe keeps what it got, the
//   mutex included, as a running instance would.
// Exit code: 1 another instance held the name, 0 this probe holds it, 2 bad use.
#include <windows.h>

#include <cstdlib>

#include "Just1.h"

namespace {

HANDLE Open(const char* name, bool semaphore) {
  return semaphore ? ::OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, name)
                   : ::OpenEventA(SYNCHRONIZE, FALSE, name);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc != 6) return 2;
  HANDLE ready = Open(__argv[2], true);
  HANDLE go = Open(__argv[3], false);
  HANDLE checked = Open(__argv[4], true);
  HANDLE done = Open(__argv[5], false);
  if (!ready || !go || !checked || !done) return 2;
  ::ReleaseSemaphore(ready, 1, nullptr);
  if (::WaitForSingleObject(go, 30000) != WAIT_OBJECT_0) return 2;
  const bool running = IsAlreadyRunning(__argv[1]);
  ::ReleaseSemaphore(checked, 1, nullptr);
  ::WaitForSingleObject(done, 30000);
  return running ? 1 : 0;
}

#include "Seams.h"

#include <cstdlib>

namespace {
IClock* gClock = nullptr;
IFileSystem* gFs = nullptr;
IUi* gUi = nullptr;
IProcessLauncher* gLauncher = nullptr;
ISession* gSession = nullptr;

template <typename T>
T& Need(T* p) {
  // A seam used before start-up installed it is a programming error, not a run-time state.
  if (!p) std::abort();
  return *p;
}
}  // namespace

namespace seams {
IClock& Clock() { return Need(gClock); }
IFileSystem& Fs() { return Need(gFs); }
IUi& Ui() { return Need(gUi); }
IProcessLauncher& Launcher() { return Need(gLauncher); }
ISession& Session() { return Need(gSession); }
void SetClock(IClock* c) { gClock = c; }
void SetFs(IFileSystem* f) { gFs = f; }
void SetUi(IUi* u) { gUi = u; }
void SetLauncher(IProcessLauncher* l) { gLauncher = l; }
void SetSession(ISession* s) { gSession = s; }
}  // namespace seams

#include "Seams.h"

#include <cmath>
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

TFileRead IFileSystem::Read(const std::string& path, unsigned) const {
  TFileRead r;
  if (auto data = ReadAll(path)) {
    r.outcome = TReadOutcome::Read;
    // The seam's time in 100 ns ticks: only ever compared.
    r.stamp = {static_cast<uint64_t>(std::llround(FileTime(path) * 864000000000.0)), data->size()};
    r.data = std::move(*data);
  } else {
    r.outcome = Exists(path) ? TReadOutcome::Busy : TReadOutcome::Missing;
  }
  return r;
}

TWriteResult IFileSystem::WriteIfUnchanged(const std::string& path, const std::string& data,
                                           const TFileStamp&) {
  return WriteAll(path, data) ? TWriteResult::Written : TWriteResult::Failed;
}

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

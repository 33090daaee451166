// One WM_RUNNER_TICK's scheduling work, timed over a simulated week of 5-second ticks:
// the tray tip (NextBackupText), the trigger (IsBackupDue), the missed-backup question
// (LastScheduledTime), and the control-flag check
// (RefreshControlFlags). Files are real files in a temporary copy of the installation;
// every question looks at the file's time stamp as the program does.
//
// Usage: tick_bench SAMPLE_INSTALL_DIR
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "ControlFlags.h"
#include "Globals.h"
#include "SchedUnit.h"
#include "Seams.h"
#include "uRunnerResource.h"

// Live heap blocks and every allocation, counted through the replaced global operators.
static std::atomic<long long> gLiveBlocks{0};
static std::atomic<long long> gAllocations{0};

void* operator new(size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  ++gLiveBlocks;
  ++gAllocations;
  return p;
}
void operator delete(void* p) noexcept {
  if (!p) return;
  --gLiveBlocks;
  std::free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

std::string Posix(const std::string& windowsPath) {
  std::string p = windowsPath;
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

// The Win32 file system's behaviour on Linux files: FileTime opens and closes the file,
// as CreateFile/GetFileTime do, and packs the local time to 2 seconds.
class TPosixFileSystem : public IFileSystem {
 public:
  bool Exists(const std::string& path) const override {
    struct stat st;
    return ::stat(Posix(path).c_str(), &st) == 0;
  }
  bool DirectoryExists(const std::string& path) const override {
    struct stat st;
    return ::stat(Posix(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  std::optional<std::string> ReadAll(const std::string& path) const override {
    std::ifstream in(Posix(path), std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool WriteAll(const std::string& path, const std::string& data) override {
    std::ofstream out(Posix(path), std::ios::binary | std::ios::trunc);
    out << data;
    return static_cast<bool>(out);
  }
  bool Delete(const std::string& path) override { return ::unlink(Posix(path).c_str()) == 0; }
  TDateTime FileTime(const std::string& path) const override {
    const int fd = ::open(Posix(path).c_str(), O_RDONLY);
    if (fd < 0) return 0;
    struct stat st;
    const bool ok = ::fstat(fd, &st) == 0;
    ::close(fd);
    if (!ok) return 0;
    struct tm local;
    const time_t t = st.st_mtime;
    ::localtime_r(&t, &local);
    return EncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                           local.tm_min, local.tm_sec / 2 * 2, 0});
  }
};

// The same files held in memory: the tick's own work without the system calls.
class TMemoryFileSystem : public IFileSystem {
 public:
  explicit TMemoryFileSystem(const IFileSystem& disk) : disk_(disk) {}
  bool Exists(const std::string& path) const override { return Cached(path) != nullptr; }
  bool DirectoryExists(const std::string&) const override { return false; }
  std::optional<std::string> ReadAll(const std::string& path) const override {
    const auto* e = Cached(path);
    return e ? std::optional<std::string>(e->data) : std::nullopt;
  }
  bool WriteAll(const std::string&, const std::string&) override { return false; }
  bool Delete(const std::string&) override { return false; }
  TDateTime FileTime(const std::string& path) const override {
    const auto* e = Cached(path);
    return e ? e->time : 0;
  }
  void Forget() { entries_.clear(); }

 private:
  struct TEntry {
    std::string path, data;
    TDateTime time;
  };
  const TEntry* Cached(const std::string& path) const {
    for (const auto& e : entries_)
      if (e.path == path) return &e;
    if (!disk_.Exists(path)) return nullptr;
    entries_.push_back({path, *disk_.ReadAll(path), disk_.FileTime(path)});
    return &entries_.back();
  }
  const IFileSystem& disk_;
  mutable std::vector<TEntry> entries_;
};

class TStepClock : public IClock {
 public:
  TDateTime now = 0;
  TDateTime Now() const override { return now; }
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

void NoMenu() {}

volatile size_t gSink = 0;  // keeps the optimiser from dropping the tick's results

void Tick(TStepClock& clock) {
  const std::string tip = ScheduleNextBackupText();
  gSink += tip.size();
  if (IsBackupDue()) gSink += 1;
  try {
    gSink += static_cast<size_t>(Schedule->LastScheduledTime() > 0);
  } catch (...) {
  }
  RefreshControlFlagsWith(&NoMenu);
  clock.now += 5.0 / 86400;
}

struct TResult {
  double microsPerTick;
  long long liveBefore, liveAfter;
  double allocationsPerTick;
  long long arenaBefore, arenaAfter;
};

TResult Week(TStepClock& clock) {
  constexpr int kTicks = 7 * 24 * 720;
  clock.now = EncodeDateTime({2026, 12, 6, 0, 0, 2, 0});
  LastTriggerSlot = -1;  // each week's hours are new
  TriggerWatch.Forget();
  for (int i = 0; i < 1000; ++i) Tick(clock);  // warm-up: first reads, caches
  TResult r{};
  r.liveBefore = gLiveBlocks;
  r.arenaBefore = static_cast<long long>(mallinfo2().uordblks);
  const long long allocationsBefore = gAllocations;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kTicks; ++i) Tick(clock);
  const auto end = std::chrono::steady_clock::now();
  r.microsPerTick = std::chrono::duration<double, std::micro>(end - start).count() / kTicks;
  r.liveAfter = gLiveBlocks;
  r.arenaAfter = static_cast<long long>(mallinfo2().uordblks);
  r.allocationsPerTick = static_cast<double>(gAllocations - allocationsBefore) / kTicks;
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s SAMPLE_INSTALL_DIR\n", argv[0]);
    return 2;
  }
  const std::string sample = argv[1];
  char dirTemplate[] = "/tmp/zq-tick-bench-XXXXXX";
  if (!::mkdtemp(dirTemplate)) return 1;
  const std::string dir = dirTemplate;
  for (const char* name : {"zqbackup.properties", "defaults.properties", "system2.properties",
                           "resource.properties"})
    WriteFile(dir + "/" + name, ReadFile(sample + "/" + name));

  TPosixFileSystem fs;
  TMemoryFileSystem memory(fs);
  TStepClock clock;
  seams::SetFs(&fs);
  seams::SetClock(&clock);
  InstallDir = dir;
  InitTextTable(InstallPath("resource.properties"), 9);
  FillDayNames();

  const std::string daily = ReadFile(sample + "/zqbackup.properties");
  std::string advanced = daily;
  const std::string off = "scheduler.advancedschedule=OFF";
  if (advanced.find(off) != std::string::npos)
    advanced.replace(advanced.find(off), off.size(), "scheduler.advancedschedule=ON");

  std::printf("%-34s %10s %12s %14s %16s\n", "schedule", "us/tick", "allocs/tick",
              "live blocks", "malloc arena");
  struct TVariant {
    const char* name;
    const std::string& schedule;
    IFileSystem* fs;
  };
  const TVariant variants[] = {
      {"files: sample (daily 07PM)", daily, &fs},
      {"files: sample + advanced ON", advanced, &fs},
      {"in memory: sample + advanced ON", advanced, &memory},
  };
  for (const auto& variant : variants) {
    WriteFile(dir + "/zqbackup.properties", variant.schedule);
    memory.Forget();
    seams::SetFs(variant.fs);
    CreateScheduleWith(TAmPm{});
    LoadSchedule();
    ControlFlagsFileTime = 0;
    TResult best{};
    for (int run = 0; run < 3; ++run) {
      const TResult r = Week(clock);
      if (run == 0 || r.microsPerTick < best.microsPerTick) best = r;
      if (r.liveAfter != r.liveBefore) best = r;  // a leak must show, whatever the speed
    }
    std::printf("%-34s %10.2f %12.1f %6lld -> %-6lld %7lld -> %-7lld\n", variant.name,
                best.microsPerTick, best.allocationsPerTick, best.liveBefore, best.liveAfter,
                best.arenaBefore, best.arenaAfter);
    FreeSchedule();
  }
  std::printf("one simulated week = %d ticks per run; best of 3 runs\n", 7 * 24 * 720);
  FreeTextTable();
  for (const char* name : {"zqbackup.properties", "defaults.properties", "system2.properties",
                           "resource.properties"})
    ::unlink((dir + "/" + name).c_str());
  ::rmdir(dir.c_str());
  return static_cast<int>(gSink & 0);
}

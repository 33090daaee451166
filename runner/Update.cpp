#include "Update.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "MyDialogs.h"
#include "NewZLib.h"
#include "RunnerError.h"
#include "Seams.h"

namespace {

constexpr int kMaxFailedDeletes = 51;

// Reads a properties file that may be missing. nullopt when it exists but cannot be read:
// the caller must not then overwrite it with a list that lacks the user's values.
std::optional<TPropertyList> ReadIfPresent(const std::string& path) {
  if (!seams::Fs().Exists(path)) return TPropertyList();
  try {
    return ReadPropertyFile(path);
  } catch (const TRunnerError&) {
    return std::nullopt;
  }
}

}  // namespace

void MergeDefaults(TPropertyList& old, const TPropertyList& neu) {
  auto& lines = old.Lines();
  for (const std::string& line : neu.Lines()) {
    std::string name;
    const bool present = NameOfLine(line, name)
                             ? FindKey(old, name) >= 0
                             : std::find(lines.begin(), lines.end(), line) != lines.end();
    if (!present) lines.push_back(line);
  }
}

bool RemoveOldRunner(const std::string& dir, IMaintenanceHost& host) {
  const std::string exe = dir + "zqrunner.exe";
  IFileSystem& fs = seams::Fs();
  // The old program posts its quit message only after it has started this copy, so its
  // executable may still be mapped for a moment.
  for (int failed = 0; failed < kMaxFailedDeletes;) {
    host.SetArchiveAttribute(exe);
    fs.Delete(exe);
    if (!fs.Exists(exe)) return true;
    host.Sleep(100);
    ++failed;
  }
  ShowWarning("Warning", "Could not update all files properly", false);
  return false;
}

void ApplyUpdate(const std::string& dirIn, IMaintenanceHost& host, IArchiveIo& io) {
  const std::string dir = WithTrailingBackslash(dirIn);
  IFileSystem& fs = seams::Fs();
  const std::string defaultsPath = dir + "defaults.properties";
  const std::string system2Path = dir + "system2.properties";
  const std::string archivePath = dir + "NewVer.ZLib";
  const std::string runnerPath = dir + "ZqRunner.exe";

  std::optional<TPropertyList> defaults = ReadIfPresent(defaultsPath);
  std::optional<std::string> system2;
  if (fs.Exists(system2Path)) system2 = fs.ReadAll(system2Path);

  try {
    TNewZLib archive(io);
    // A missing or corrupt archive throws here, before anything on disk has changed.
    if (archive.OpenArchive(archivePath)) {
      RemoveOldRunner(dir, host);
      archive.ExtractWithPath = true;
      // Settings that could not be read now cannot be merged or restored afterwards: the
      // archive must not replace them either.
      std::vector<std::string> keep;
      if (!defaults) keep.push_back("defaults.properties");
      if (fs.Exists(system2Path) && !system2) keep.push_back("system2.properties");
      archive.ExtractFiles(dir, keep.empty() ? nullptr : &keep);
      archive.CloseArchive();
    }
  } catch (const std::exception&) {
    // An extraction error stops at the failing file; what came before it stays, and the
    // settings and the restart below still happen.
  }

  const std::optional<TPropertyList> newDefaults = ReadIfPresent(defaultsPath);
  // A read-only archive left behind would start the update again at every client start.
  host.SetArchiveAttribute(archivePath);
  fs.Delete(archivePath);

  if (defaults) {
    if (newDefaults) MergeDefaults(*defaults, *newDefaults);
    try {
      WritePropertyFile(*defaults, defaultsPath);
    } catch (const TRunnerError&) {
    }
  }
  if (system2) fs.WriteAll(system2Path, *system2);
  if (!fs.Exists(runnerPath)) host.CopyFileOver(host.ExePath(), runnerPath);
  seams::Launcher().Start(Quoted(runnerPath), dir, false);
}

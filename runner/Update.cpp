#include "Update.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "ActivityLog.h"
#include "LogTexts.h"
#include "MyDialogs.h"
#include "NewZLib.h"
#include "RunnerError.h"
#include "Seams.h"
#include "UpdateJournal.h"

bool UpdateBlocked = false;
bool UpdateWarningShown = false;

namespace {

constexpr int kRunnerLooks = 51;
constexpr char kUpdaterName[] = "updSW.exe";

// The archive reader's I/O during staging: each file of the plan is created under its
// staged name; everything else (reading the archive, folders) passes through.
class TStagingIo : public IArchiveIo {
 public:
  explicit TStagingIo(IArchiveIo& io) : io_(io) {}
  void Plan(const TUpdateJournal& journal) {
    for (const auto& f : journal.files) staged_[UpperAscii(f.target)] = f.staged;
  }

  std::unique_ptr<IArchiveFile> OpenRead(const std::string& path) override {
    return io_.OpenRead(path);
  }
  std::unique_ptr<IArchiveFile> Create(const std::string& path) override {
    const auto it = staged_.find(UpperAscii(path));
    return it == staged_.end() ? nullptr : io_.Create(it->second);
  }
  bool FileExists(const std::string& path) override { return io_.FileExists(path); }
  bool DirectoryExists(const std::string& path) override { return io_.DirectoryExists(path); }
  bool MakeDirectory(const std::string& path) override { return io_.MakeDirectory(path); }
  // The file in place keeps its attributes until it is replaced.
  void ClearAttributes(const std::string&) override {}

 private:
  IArchiveIo& io_;
  std::map<std::string, std::string> staged_;  // upper-cased target -> staged name
};

std::string FolderOf(const std::string& path) {
  return path.substr(0, path.find_last_of('\\') + 1);
}

// Every entry of the open archive (less the skipped names) as a file of the journal, the
// runner last, so that a new "ZqRunner.exe" means that every other file is new too; and
// the folders that the new version adds, outermost first. An entry whose name or path
// would leave D throws: nothing of such an archive is written.
TUpdateJournal PlanUpdate(const TZLibArchive& archive, const TUpdatePaths& p,
                          const std::vector<std::string>& skip, IArchiveIo& io) {
  TUpdateJournal j;
  std::set<std::string> seen;
  for (int i = 0; i < archive.FileCount(); ++i) {
    TArchiveEntry e;
    archive.GetFileEntry(i, e);
    const std::string name = ShortString(e.fileName);
    if (!IsSafeFileName(name) || !IsSafeStoredPath(ShortString(e.storedPath)))
      throw TRunnerError("File (" + std::to_string(i) + ") is corrupt");
    if (std::any_of(skip.begin(), skip.end(),
                    [&](const std::string& s) { return SameTextAscii(s, name); }))
      continue;
    const std::string target = archive.TargetOf(i, p.dir);
    if (!seen.insert(UpperAscii(target)).second) continue;  // the later entry wins, as before
    const std::string folder = FolderOf(target), tag = "~zq" + std::to_string(i);
    j.files.push_back({target, folder + tag + ".new", folder + tag + ".old",
                       io.FileExists(target) || io.DirectoryExists(target)});
    // The folders below D that do not exist yet, outermost first.
    std::vector<std::string> missing;
    for (std::string f = folder; f.size() > p.dir.size(); f = FolderOf(missing.front())) {
      const std::string dir = f.substr(0, f.size() - 1);
      if (io.DirectoryExists(dir)) break;
      missing.insert(missing.begin(), dir);
    }
    for (const auto& d : missing)
      if (seen.insert(UpperAscii(d) + "\\").second) j.dirs.push_back(d);
  }
  std::stable_partition(j.files.begin(), j.files.end(), [&](const TUpdateJournal::TFile& f) {
    return !SameTextAscii(f.target, p.runner);
  });
  return j;
}

// Writes every entry beside its target (the archive held open and every CRC checked),
// keeps the user's settings and copies of the old files, then switches.
TUpdateOutcome StageAndSwitch(const TUpdatePaths& p, IMaintenanceHost& host, IArchiveIo& io) {
  IFileSystem& fs = seams::Fs();
  TStagingIo staging(io);
  TNewZLib archive(staging);
  archive.HoldArchive = true;
  archive.ExtractWithPath = true;
  archive.CheckCRC = true;
  try {
    if (!archive.OpenArchive(p.archive)) return TUpdateOutcome::Nothing;
  } catch (const TRunnerError&) {
    return TUpdateOutcome::Unusable;
  }

  // Settings that cannot be read now could not be merged back: the archive leaves them.
  std::vector<std::string> skip;
  std::optional<std::string> defaults = std::string();
  if (fs.Exists(p.defaults) && !(defaults = fs.ReadAll(p.defaults)))
    skip.push_back("defaults.properties");
  std::optional<std::string> system2;
  if (fs.Exists(p.system2) && !(system2 = fs.ReadAll(p.system2)))
    skip.push_back("system2.properties");

  TUpdateJournal j;
  try {
    j = PlanUpdate(archive, p, skip, io);
  } catch (const TRunnerError&) {
    return TUpdateOutcome::RolledBack;  // nothing was written
  }
  j.archiveId = ArchiveIdentity(io, p.archive);
  staging.Plan(j);
  if (!SaveJournal(p, j, TUpdateState::Stage)) return TUpdateOutcome::RolledBack;

  bool ready = (!defaults || fs.WriteAll(p.keptDefaults, *defaults)) &&
               (!system2 || fs.WriteAll(p.keptSystem2, *system2));
  if (ready) {
    try {
      archive.ExtractFiles(p.dir, skip.empty() ? nullptr : &skip);
    } catch (const std::exception&) {
      ready = false;  // a changed archive, a full disk, a folder that cannot be made
    }
  }
  archive.CloseArchive();
  for (const auto& f : j.files)
    ready = ready && (!f.hadOld || host.KeepCopy(f.target, f.backup));
  if (!ready || !SaveJournal(p, j, TUpdateState::Switch))
    return UndoUpdate(p, j, host) ? TUpdateOutcome::RolledBack : TUpdateOutcome::Unfinished;
  return FinishSwitch(p, j, host, io);
}

// Deletes an archive that will not be applied; false when it stays.
bool RemoveArchive(const TUpdatePaths& p, IMaintenanceHost& host) {
  IFileSystem& fs = seams::Fs();
  // A read-only archive left behind would start the update again at every client start.
  host.SetArchiveAttribute(p.archive);
  fs.Delete(p.archive);
  return !fs.Exists(p.archive);
}

// Tells the scheduler started next not to hand the archive over again in its run.
void RecordDeclined(const TUpdatePaths& p) {
  if (seams::Fs().Exists(p.journal)) return;  // an unfinished update keeps its journal
  TUpdateJournal j;
  SaveJournal(p, j, TUpdateState::Declined);
}

void DeleteIfPresent(const std::string& path) {
  if (seams::Fs().Exists(path)) seams::Fs().Delete(path);
}

}  // namespace

void WarnUpdateFailedOnce() {
  if (UpdateWarningShown) return;
  UpdateWarningShown = true;
  ShowWarning("Warning", "Could not update all files properly", false);
}

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

bool WaitForOldRunner(const std::string& dir, IMaintenanceHost& host) {
  const std::string exe = WithTrailingBackslash(dir) + "ZqRunner.exe";
  // The old program posts its quit message only after it has started this copy, so its
  // executable may still be mapped for a moment.
  for (int look = 0; look < kRunnerLooks; ++look) {
    if (!host.FileInUse(exe)) return true;
    host.Sleep(100);
  }
  return false;
}

bool HandOverUpdate(const std::string& installDir, IMaintenanceHost& host) {
  if (UpdateBlocked) return false;
  const std::string dir = WithTrailingBackslash(installDir);
  const std::string exe = host.ExePath();
  // Read-only or system attributes would make the copy (or a later delete) fail.
  host.SetArchiveAttribute(exe);
  std::vector<std::string> folders;
  const std::string temp = host.TempDir();
  if (!temp.empty()) folders.push_back(temp);
  if (!SameTextAscii(temp, dir)) folders.push_back(dir);
  for (const std::string& folder : folders) {
    const std::string copy = folder + kUpdaterName;
    host.SetArchiveAttribute(copy);
    host.CopyFileOver(exe, copy);
    // A copy that could not be replaced may be an older program, which would apply the
    // archive by its own rules: only this program's bytes are started.
    if (!host.SameContent(exe, copy)) continue;
    const std::string command = Quoted(copy) + " -update " + Quoted(dir);
    if (seams::Launcher().Start(command, folder, false).started) {
      LogEvent("update", "handed over: " + command);
      return true;
    }
  }
  LogEvent("update", "not handed over: no copy of the program could be started");
  UpdateBlocked = true;
  WarnUpdateFailedOnce();
  return false;
}

void ApplyUpdate(const std::string& dirIn, IMaintenanceHost& host, IArchiveIo& io) {
  const TUpdatePaths p(dirIn);
  IFileSystem& fs = seams::Fs();
  const bool runnerFree = WaitForOldRunner(p.dir, host);
  TUpdateOutcome outcome = RecoverUpdate(p.dir, host, io);
  if (outcome != TUpdateOutcome::Unfinished) {
    if (!io.FileExists(p.archive))
      outcome = TUpdateOutcome::Nothing;
    else if (!runnerFree)
      outcome = TUpdateOutcome::RolledBack;  // it would not let its file be replaced
    else
      outcome = StageAndSwitch(p, host, io);
  }
  switch (outcome) {
    case TUpdateOutcome::Nothing:
    case TUpdateOutcome::Applied:
    case TUpdateOutcome::Declined:
      break;
    case TUpdateOutcome::Unusable:
      // Nothing was changed, as when there is no archive; only a file that stays is told.
      if (!RemoveArchive(p, host)) {
        WarnUpdateFailedOnce();
        RecordDeclined(p);
      }
      break;
    case TUpdateOutcome::RolledBack:
      WarnUpdateFailedOnce();
      if (!RemoveArchive(p, host)) RecordDeclined(p);
      break;
    case TUpdateOutcome::ArchiveStays:
      WarnUpdateFailedOnce();
      RecordDeclined(p);
      break;
    case TUpdateOutcome::Unfinished:
      WarnUpdateFailedOnce();  // the journal stays: the next start finishes or undoes it
      break;
  }
  LogEvent("update", UpdateOutcomeText(outcome) + (runnerFree ? "" : " (the old program did not let go)"));
  // Never absent in this scheme; the copy of the old program is the last resort.
  if (!fs.Exists(p.runner)) host.CopyFileOver(host.ExePath(), p.runner);
  seams::Launcher().Start(Quoted(p.runner), p.dir, false);
}

void RecoverAtStart(const std::string& installDir, IMaintenanceHost& host, IArchiveIo& io) {
  const std::string dir = WithTrailingBackslash(installDir);
  const TUpdateOutcome recovered = RecoverUpdate(dir, host, io);
  if (recovered != TUpdateOutcome::Nothing) LogEvent("update recovered at start", UpdateOutcomeText(recovered));
  switch (recovered) {
    case TUpdateOutcome::Declined:
      UpdateBlocked = true;  // the updater has told the user already
      UpdateWarningShown = true;
      break;
    case TUpdateOutcome::Unfinished:
    case TUpdateOutcome::ArchiveStays:
      UpdateBlocked = true;
      WarnUpdateFailedOnce();
      break;
    default:
      break;
  }
  const std::string temp = host.TempDir();
  if (!temp.empty()) DeleteIfPresent(temp + kUpdaterName);
  DeleteIfPresent(dir + kUpdaterName);
}

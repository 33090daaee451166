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
bool UpdateHandedOver = false;

namespace {

constexpr int kRunnerLooks = 51;
// A start that finds an update of its installation running waits up to two minutes
// (looks 100 ms apart) for it to end.
constexpr int kUpdateLooks = 1200;
constexpr char kUpdaterName[] = "updSW.exe";

// The archive reader's I/O during staging: each file of the plan is created under its
// staged name; everything else (reading the archive, folders) passes through. The first
// staged file that cannot be created or written is noted: that cause (no room, a folder
// that takes no file) may pass, unlike an archive that fails its checks.
class TStagingIo : public IArchiveIo {
 public:
  TStagingIo(IArchiveIo& io, const TUpdatePaths& p) : io_(io), p_(p) {}
  void Plan(const TUpdateJournal& journal) {
    for (const auto& f : journal.files) staged_[UpperAscii(f.target)] = f.staged;
  }
  bool failed = false;

  std::unique_ptr<IArchiveFile> OpenRead(const std::string& path) override {
    return io_.OpenRead(path);
  }
  std::unique_ptr<IArchiveFile> Create(const std::string& path) override {
    const auto it = staged_.find(UpperAscii(path));
    if (it == staged_.end()) return nullptr;
    std::unique_ptr<IArchiveFile> file = io_.Create(it->second);
    if (!file) Fail(path);
    return file ? std::make_unique<TFile>(std::move(file), *this, path) : nullptr;
  }
  bool FileExists(const std::string& path) override { return io_.FileExists(path); }
  bool DirectoryExists(const std::string& path) override { return io_.DirectoryExists(path); }
  bool MakeDirectory(const std::string& path) override {
    const bool made = io_.MakeDirectory(path);
    if (!made) Fail(path);
    return made;
  }
  // The file in place keeps its attributes until it is replaced.
  void ClearAttributes(const std::string&) override {}

 private:
  void Fail(const std::string& path) {
    if (!failed) NoteUpdateTrouble(p_, path, false);
    failed = true;
  }
  class TFile : public IArchiveFile {
   public:
    TFile(std::unique_ptr<IArchiveFile> f, TStagingIo& io, std::string target)
        : f_(std::move(f)), io_(io), target_(std::move(target)) {}
    size_t Read(void* buffer, size_t n) override { return f_->Read(buffer, n); }
    bool Write(const void* buffer, size_t n) override { return Check(f_->Write(buffer, n)); }
    bool Flush() override { return Check(f_->Flush()); }
    bool Seek(uint64_t position) override { return f_->Seek(position); }
    uint64_t Position() override { return f_->Position(); }
    uint64_t Size() override { return f_->Size(); }

   private:
    bool Check(bool done) {
      if (!done) io_.Fail(target_);
      return done;
    }
    std::unique_ptr<IArchiveFile> f_;
    TStagingIo& io_;
    std::string target_;
  };

  IArchiveIo& io_;
  const TUpdatePaths& p_;
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
  TStagingIo staging(io, p);
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
  if (!SaveJournal(p, j, TUpdateState::Stage)) {
    NoteUpdateTrouble(p, p.journal, false);
    return TUpdateOutcome::Deferred;  // no room, say: nothing was written
  }

  // Until the switch, every failure but the archive's own leaves a cause that may pass.
  bool ready = true, archiveAtFault = false;
  for (const auto& [kept, bytes] :
       {std::pair(p.keptDefaults, &defaults), std::pair(p.keptSystem2, &system2)})
    if (ready && *bytes && !fs.WriteAll(kept, **bytes)) {
      NoteUpdateTrouble(p, kept, false);
      ready = false;
    }
  if (ready) {
    try {
      archive.ExtractFiles(p.dir, skip.empty() ? nullptr : &skip);
    } catch (const std::exception&) {
      // A changed archive or an entry that fails its CRC; else no room or a folder that
      // takes no file.
      ready = false;
      archiveAtFault = !staging.failed;
    }
  }
  archive.CloseArchive();
  for (const auto& f : j.files)
    if (ready && f.hadOld && !host.KeepCopy(f.target, f.backup)) {
      NoteUpdateTrouble(p, f.target, host.FileInUse(f.target));
      ready = false;
    }
  if (ready && !SaveJournal(p, j, TUpdateState::Switch)) {
    NoteUpdateTrouble(p, p.journal, false);
    ready = false;
  }
  if (!ready) {
    if (!UndoUpdate(p, j, host)) return TUpdateOutcome::Unfinished;
    return archiveAtFault ? TUpdateOutcome::RolledBack : TUpdateOutcome::Deferred;
  }
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

std::optional<TUpdateJournal> PlanArchive(const TUpdatePaths& p, IArchiveIo& io) {
  TNewZLib archive(io);
  archive.ExtractWithPath = true;
  try {
    if (!archive.OpenArchive(p.archive)) return std::nullopt;
    return PlanUpdate(archive, p, {}, io);
  } catch (const TRunnerError&) {
    return std::nullopt;
  }
}

std::string UpdateTroubleText(IMaintenanceHost* host) {
  const TUpdateTrouble& t = UpdateTrouble;
  if (t.name.empty()) return {};
  if (!t.inUse) return t.name + " could not be written";
  const std::string holder = host ? host->FileHolder(t.path) : std::string();
  return t.name + " is in use" + (holder.empty() ? "" : " by " + holder);
}

void WarnUpdateFailedOnce(IMaintenanceHost* host) {
  if (UpdateWarningShown) return;
  UpdateWarningShown = true;
  const std::string detail = UpdateTroubleText(host);
  ShowWarning("Warning",
              "Could not update all files properly" + (detail.empty() ? "" : "\r\n\r\n" + detail),
              false);
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

bool WaitWhileUpdating(const std::string& dir, IMaintenanceHost& host, bool byUpdater) {
  // Any other start runs the old program from D: while it waited, the updater could not
  // replace that file, so it ends at once.
  if (!byUpdater) return !host.UpdateMarked(dir);
  for (int look = 0; look < kUpdateLooks; ++look) {
    if (!host.UpdateMarked(dir)) return true;
    host.Sleep(100);
  }
  return !host.UpdateMarked(dir);
}

bool HandOverUpdate(const std::string& installDir, IMaintenanceHost& host) {
  // Messages already queued behind the first hand-over start no second updater.
  if (UpdateHandedOver) return true;
  if (UpdateBlocked) return false;
  const std::string dir = WithTrailingBackslash(installDir);
  // Marked before the updater starts, and passed on to it: no moment between this
  // program's end and the updater's first step in which a start could take the
  // installation for idle.
  host.MarkUpdate(dir);
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
    const TProcessResult started = seams::Launcher().Start(command, folder, false);
    if (started.started) {
      host.ShareUpdateMark(started.processId);
      UpdateHandedOver = true;
      LogEvent("update", "handed over: " + command);
      return true;
    }
  }
  host.UnmarkUpdate();
  LogEvent("update", "not handed over: no copy of the program could be started");
  UpdateBlocked = true;
  WarnUpdateFailedOnce(&host);
  return false;
}

void ApplyUpdate(const std::string& dirIn, IMaintenanceHost& host, IArchiveIo& io) {
  const TUpdatePaths p(dirIn);
  IFileSystem& fs = seams::Fs();
  // From the first step to the end (the start of the new program included), every start
  // of the program for D sees that an update runs (WaitWhileUpdating, RecoverAtStart).
  host.MarkUpdate(p.dir);
  UpdateTrouble = {};
  const bool runnerFree = WaitForOldRunner(p.dir, host);
  TUpdateOutcome outcome = RecoverUpdate(p.dir, host, io);
  // A record that an updater of this run declined the archive: applying it again here is
  // how a second updater (started from a second queued hand-over) kept the loop going.
  if (outcome != TUpdateOutcome::Unfinished && outcome != TUpdateOutcome::Declined) {
    if (!io.FileExists(p.archive)) {
      outcome = TUpdateOutcome::Nothing;
    } else if (!runnerFree) {
      // It would not let its file be replaced; a later run finds it ended.
      NoteUpdateTrouble(p, p.runner, true);
      outcome = TUpdateOutcome::Deferred;
    } else {
      outcome = StageAndSwitch(p, host, io);
    }
  }
  switch (outcome) {
    case TUpdateOutcome::Nothing:
    case TUpdateOutcome::Applied:
      break;
    case TUpdateOutcome::Declined:
      RecordDeclined(p);  // still for the scheduler started next
      break;
    case TUpdateOutcome::Unusable:
      // Nothing was changed, as when there is no archive; only a file that stays is told.
      if (!RemoveArchive(p, host)) {
        NoteUpdateTrouble(p, p.archive, true);
        WarnUpdateFailedOnce(&host);
        RecordDeclined(p);
      }
      break;
    case TUpdateOutcome::RolledBack:
      // The archive is at fault (it failed its checks or names paths outside D): it goes.
      if (!RemoveArchive(p, host)) RecordDeclined(p);
      WarnUpdateFailedOnce(&host);
      break;
    case TUpdateOutcome::Deferred:
    case TUpdateOutcome::ArchiveStays:
      // Kept for a later run (the next log-on); the scheduler started next, in this run,
      // does not hand it over again.
      RecordDeclined(p);
      WarnUpdateFailedOnce(&host);
      break;
    case TUpdateOutcome::Unfinished:
      WarnUpdateFailedOnce(&host);  // the journal stays: the next start finishes or undoes it
      break;
  }
  const std::string trouble = UpdateTroubleText(nullptr);
  LogEvent("update", UpdateOutcomeText(outcome) + (runnerFree ? "" : " (the old program did not let go)") +
                         (trouble.empty() ? "" : ": " + trouble));
  // Never absent in this scheme; the copy of the old program is the last resort.
  if (!fs.Exists(p.runner)) host.CopyFileOver(host.ExePath(), p.runner);
  seams::Launcher().Start(Quoted(p.runner), p.dir, false);
}

bool RecoverAtStart(const std::string& installDir, IMaintenanceHost& host, IArchiveIo& io,
                    bool startedByUpdater) {
  const std::string dir = WithTrailingBackslash(installDir);
  // An update that began after WaitWhileUpdating looked: its own start follows.
  if (host.UpdateMarked(dir)) return false;
  if (startedByUpdater) {
    // The updater's start belongs to the run that handed over: no second hand-over and
    // no second warning in it.
    UpdateBlocked = true;
    UpdateWarningShown = true;
  }
  UpdateTrouble = {};
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
      WarnUpdateFailedOnce(&host);
      break;
    default:
      break;
  }
  const std::string temp = host.TempDir();
  if (!temp.empty()) DeleteIfPresent(temp + kUpdaterName);
  DeleteIfPresent(dir + kUpdaterName);
  return true;
}

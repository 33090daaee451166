#include "UpdateJournal.h"

#include "ArchiveIo.h"
#include "Properties.h"
#include "Seams.h"
#include "Update.h"
#include "ZLIBArchive.h"
#include "ZLibUtils.h"

namespace {

constexpr char kHeader[] = "ZqRunner update journal";
// The last line: how many lines come before it and the CRC-32 of their bytes (line ends
// included). A journal without it, or whose lines do not match it, is not whole.
constexpr char kCheckKey[] = "check=";

std::string Hex8(uint32_t v) {
  std::string hex(8, '0');
  for (int i = 7; i >= 0; --i, v >>= 4) hex[static_cast<size_t>(i)] = "0123456789abcdef"[v & 15];
  return hex;
}

std::string CheckLine(const std::string& body, size_t lines) {
  return kCheckKey + std::to_string(lines) + ":" + Hex8(Crc32(0, body.data(), body.size()));
}

const char* const kStateNames[] = {"stage", "switch", "undo", "clean", "declined"};

// Lines split at LF (CR LF and a missing last line end accepted).
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// "|" cannot occur in a Windows file name, so it separates the fields of a file line.
std::vector<std::string> SplitFields(const std::string& text) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t bar; (bar = text.find('|', start)) != std::string::npos; start = bar + 1)
    fields.push_back(text.substr(start, bar - start));
  fields.push_back(text.substr(start));
  return fields;
}

void DeleteIfPresent(const std::string& path, IMaintenanceHost& host) {
  IFileSystem& fs = seams::Fs();
  if (!fs.Exists(path)) return;
  host.SetArchiveAttribute(path);
  fs.Delete(path);
}

// The user's settings merged back from the copies kept before the update: the old values
// win, keys only the new defaults have are added, "system2.properties" is the old bytes.
// Repeating it gives the same files. False when a file cannot be read or written.
bool RestoreSettings(const TUpdatePaths& p) {
  IFileSystem& fs = seams::Fs();
  if (fs.Exists(p.keptDefaults)) {
    const std::optional<std::string> kept = fs.ReadAll(p.keptDefaults);
    const std::optional<std::string> now =
        fs.Exists(p.defaults) ? fs.ReadAll(p.defaults) : std::optional<std::string>("");
    if (!kept || !now) return false;
    TPropertyList old, neu;
    old.SetText(*kept);
    neu.SetText(*now);
    MergeDefaults(old, neu);
    if (!fs.WriteAll(p.defaults, old.Text())) return false;
  }
  if (fs.Exists(p.keptSystem2)) {
    const std::optional<std::string> kept = fs.ReadAll(p.keptSystem2);
    if (!kept || !fs.WriteAll(p.system2, *kept)) return false;
  }
  return true;
}

// The user's settings byte for byte as they were kept before the update, where they
// differ now (an empty kept "defaults.properties" stands for none and is not written).
bool PutSettingsBack(const TUpdatePaths& p) {
  IFileSystem& fs = seams::Fs();
  for (const auto& [kept, file] :
       {std::pair(p.keptDefaults, p.defaults), std::pair(p.keptSystem2, p.system2)}) {
    if (!fs.Exists(kept)) continue;
    const std::optional<std::string> bytes = fs.ReadAll(kept);
    if (!bytes) return false;
    if (bytes->empty() && kept == p.keptDefaults) continue;
    if (fs.Exists(file) && fs.ReadAll(file) == bytes) continue;
    if (!fs.WriteAll(file, *bytes)) return false;
  }
  return true;
}

// Removes the archive when it is still the one this journal applied (a newer one that
// arrived meanwhile stays for its own update). False when it stays although it should go.
bool RemoveAppliedArchive(const TUpdatePaths& p, const TUpdateJournal& j,
                          IMaintenanceHost& host, IArchiveIo& io) {
  if (!io.FileExists(p.archive)) return true;
  // One that cannot be read now (held by another process) is taken for the same.
  const std::string id = ArchiveIdentity(io, p.archive);
  if (!id.empty() && id != j.archiveId) return true;
  DeleteIfPresent(p.archive, host);
  return !seams::Fs().Exists(p.archive);
}

// Deletes what the update wrote besides the installation: copies, kept settings, journal
// (last, so that a kill in between repeats this step).
void RemoveUpdateFiles(const TUpdatePaths& p, const TUpdateJournal& j, IMaintenanceHost& host) {
  for (const auto& f : j.files) {
    DeleteIfPresent(f.staged, host);
    DeleteIfPresent(f.backup, host);
  }
  DeleteIfPresent(p.keptDefaults, host);
  DeleteIfPresent(p.keptSystem2, host);
  DeleteIfPresent(p.journal, host);
}

TUpdateOutcome Conclude(const TUpdatePaths& p, TUpdateJournal& j, IMaintenanceHost& host,
                        IArchiveIo& io) {
  const bool removed = RemoveAppliedArchive(p, j, host, io);
  RemoveUpdateFiles(p, j, host);
  if (!removed) NoteUpdateTrouble(p, p.archive, true);
  return removed ? TUpdateOutcome::Applied : TUpdateOutcome::ArchiveStays;
}

// Undoes an update whose journal is not whole, from what lies in the folder: the archive
// names every target and its "~zq<index>" files. A staged file still there was never put
// in place (its target is untouched); a target whose staged file is gone but whose copy
// is there was replaced, and the copy goes back. The runner is put in place last, so a
// new runner with its copy beside it means that every file is new: then only the copies
// go. Files the new version adds without an old one cannot be told from the user's and
// stay (the next update takes them as old files). The settings come back from their kept
// copies either way; the archive stays for the next hand-over.
TUpdateOutcome RecoverDamaged(const TUpdatePaths& p, IMaintenanceHost& host, IArchiveIo& io) {
  IFileSystem& fs = seams::Fs();
  bool switched = false;
  if (io.FileExists(p.archive)) {
    const std::optional<TUpdateJournal> plan = PlanArchive(p, io);
    if (!plan) {  // held, or changed: nothing is known; the next run tries again
      NoteUpdateTrouble(p, p.archive, true);
      return TUpdateOutcome::Unfinished;
    }
    const auto& files = plan->files;
    switched = !files.empty() && SameTextAscii(files.back().target, p.runner) &&
                          !fs.Exists(files.back().staged) && fs.Exists(files.back().backup);
    for (auto f = files.rbegin(); f != files.rend(); ++f) {
      if (switched || fs.Exists(f->staged)) {
        DeleteIfPresent(f->staged, host);
        DeleteIfPresent(f->backup, host);
      } else if (fs.Exists(f->backup)) {
        host.SetArchiveAttribute(f->target);
        if (!host.ReplaceWith(f->backup, f->target)) {
          NoteUpdateTrouble(p, f->target, true);
          return TUpdateOutcome::Unfinished;
        }
      }
    }
  }
  if (!(switched ? RestoreSettings(p) : PutSettingsBack(p))) return TUpdateOutcome::Unfinished;
  DeleteIfPresent(p.keptDefaults, host);
  DeleteIfPresent(p.keptSystem2, host);
  DeleteIfPresent(p.journal, host);
  return TUpdateOutcome::RolledBack;
}

}  // namespace

TUpdateTrouble UpdateTrouble;

void NoteUpdateTrouble(const TUpdatePaths& p, const std::string& path, bool inUse) {
  const bool below =
      path.size() > p.dir.size() && SameTextAscii(path.substr(0, p.dir.size()), p.dir);
  UpdateTrouble = {path, below ? path.substr(p.dir.size()) : path, inUse};
}

TUpdatePaths::TUpdatePaths(const std::string& d)
    : dir(WithTrailingBackslash(d)),
      archive(dir + "NewVer.ZLib"),
      journal(dir + "~zqupdate.jnl"),
      runner(dir + "ZqRunner.exe"),
      defaults(dir + "defaults.properties"),
      system2(dir + "system2.properties"),
      keptDefaults(dir + "~zqdefaults.keep"),
      keptSystem2(dir + "~zqsystem2.keep") {}

std::string TUpdateJournal::Text() const {
  std::string text = std::string(kHeader) + "\r\n";
  text += "state=" + std::string(kStateNames[static_cast<int>(state)]) + "\r\n";
  text += "archive=" + archiveId + "\r\n";
  for (const auto& d : dirs) text += "dir=" + d + "\r\n";
  for (const auto& f : files)
    text += "file=" + std::string(f.hadOld ? "1" : "0") + "|" + f.target + "|" + f.staged +
            "|" + f.backup + "\r\n";
  return text + CheckLine(text, 3 + dirs.size() + files.size()) + "\r\n";
}

std::optional<TUpdateJournal> TUpdateJournal::Parse(const std::string& text) {
  std::vector<std::string> lines = SplitLines(text);
  // Whole: the last line counts the lines before it and checks their bytes, and the text
  // ends right after it.
  const size_t last = text.rfind(kCheckKey);
  if (lines.size() < 2 || last == std::string::npos || (last && text[last - 1] != '\n') ||
      text.compare(text.size() - 2, 2, "\r\n") != 0 ||
      lines.back() != CheckLine(text.substr(0, last), lines.size() - 1))
    return std::nullopt;
  lines.pop_back();
  if (lines[0] != kHeader) return std::nullopt;
  TUpdateJournal j;
  bool stated = false;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return std::nullopt;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "state") {
      for (int s = 0; s < 5 && !stated; ++s)
        if (value == kStateNames[s]) j.state = static_cast<TUpdateState>(s), stated = true;
      if (!stated) return std::nullopt;
    } else if (key == "archive") {
      j.archiveId = value;
    } else if (key == "dir") {
      j.dirs.push_back(value);
    } else if (key == "file") {
      const std::vector<std::string> f = SplitFields(value);
      if (f.size() != 4 || (f[0] != "0" && f[0] != "1")) return std::nullopt;
      j.files.push_back({f[1], f[2], f[3], f[0] == "1"});
    } else {
      return std::nullopt;
    }
  }
  if (!stated) return std::nullopt;
  return j;
}

std::string ArchiveIdentity(IArchiveIo& io, const std::string& path) {
  std::unique_ptr<IArchiveFile> f = io.OpenRead(path);
  if (!f) return {};
  const uint64_t size = f->Size();
  uint32_t crc = 0;
  if (size >= kTrailerSize && f->Seek(size - kTrailerSize)) f->Read(&crc, sizeof crc);
  return std::to_string(size) + ":" + Hex8(crc);
}

bool SaveJournal(const TUpdatePaths& p, TUpdateJournal& j, TUpdateState state) {
  j.state = state;
  return seams::Fs().WriteAll(p.journal, j.Text());
}

TUpdateOutcome FinishSwitch(const TUpdatePaths& p, TUpdateJournal& j, IMaintenanceHost& host,
                            IArchiveIo& io) {
  IFileSystem& fs = seams::Fs();
  for (const auto& f : j.files) {
    if (!fs.Exists(f.staged)) continue;  // put in place before a kill
    // A read-only, hidden or system target cannot be replaced; its copy aside keeps it.
    if (f.hadOld) host.SetArchiveAttribute(f.target);
    bool placed = host.ReplaceWith(f.staged, f.target);
    // A start of the old program during the update ends at once (it sees the update's
    // mark), but holds its file for that moment: the runner is tried again for 3 seconds.
    for (int look = 0; !placed && SameTextAscii(f.target, p.runner) && look < 30; ++look) {
      host.Sleep(100);
      placed = host.ReplaceWith(f.staged, f.target);
    }
    if (!placed) {
      // Held by another program or running: that may pass, so the archive stays.
      const std::string held = f.target;
      SaveJournal(p, j, TUpdateState::Undo);
      if (!UndoUpdate(p, j, host)) return TUpdateOutcome::Unfinished;
      NoteUpdateTrouble(p, held, true);
      return TUpdateOutcome::Deferred;
    }
  }
  // The journal stays at "switch" until the settings are back: a run that dies before
  // repeats the merge, which gives the same files.
  if (!RestoreSettings(p)) return TUpdateOutcome::Unfinished;
  SaveJournal(p, j, TUpdateState::Clean);
  return Conclude(p, j, host, io);
}

bool UndoUpdate(const TUpdatePaths& p, TUpdateJournal& j, IMaintenanceHost& host) {
  IFileSystem& fs = seams::Fs();
  bool back = true;
  for (auto f = j.files.rbegin(); f != j.files.rend(); ++f) {
    if (fs.Exists(f->staged)) {
      // Never put in place: the target is still the old file (or still absent).
      DeleteIfPresent(f->staged, host);
      DeleteIfPresent(f->backup, host);
    } else if (f->hadOld) {
      // In place (or already put back, when no copy is left): the copy goes back.
      if (fs.Exists(f->backup)) {
        host.SetArchiveAttribute(f->target);
        if (!host.ReplaceWith(f->backup, f->target)) {
          NoteUpdateTrouble(p, f->target, true);
          back = false;
        }
      }
    } else if (fs.Exists(f->target)) {
      DeleteIfPresent(f->target, host);
      back = !fs.Exists(f->target) && back;
    }
  }
  if (!back) return false;
  for (auto d = j.dirs.rbegin(); d != j.dirs.rend(); ++d) host.RemoveEmptyDirectory(*d);
  RemoveUpdateFiles(p, j, host);
  return true;
}

TUpdateOutcome RecoverUpdate(const std::string& dir, IMaintenanceHost& host, IArchiveIo& io) {
  const TUpdatePaths p(dir);
  IFileSystem& fs = seams::Fs();
  if (!fs.Exists(p.journal)) return TUpdateOutcome::Nothing;
  const std::optional<std::string> text = fs.ReadAll(p.journal);
  if (!text) return TUpdateOutcome::Unfinished;
  std::optional<TUpdateJournal> j = TUpdateJournal::Parse(*text);
  if (!j) return RecoverDamaged(p, host, io);
  switch (j->state) {
    case TUpdateState::Stage:
    case TUpdateState::Undo:
      return UndoUpdate(p, *j, host) ? TUpdateOutcome::RolledBack : TUpdateOutcome::Unfinished;
    case TUpdateState::Switch:
      return FinishSwitch(p, *j, host, io);
    case TUpdateState::Clean:
      return Conclude(p, *j, host, io);
    case TUpdateState::Declined:
      DeleteIfPresent(p.journal, host);
      return TUpdateOutcome::Declined;
  }
  return TUpdateOutcome::Nothing;
}

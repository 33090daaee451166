// The journal of a self-update, "~zqupdate.jnl" in the installation directory, and the
// steps that act on it. An update first writes every file of the archive beside its
// target under a staged name, keeps copies of the user's settings, then copies the old
// files aside and only then puts the staged files in place, each with one rename. The
// journal, rewritten in one step at each stage, tells a later run (the next start of the
// scheduler, or the next updater) whether to finish that switch or to undo it, so that a
// kill at any moment leaves every file whole, old or new, and "ZqRunner.exe" present.
// Portable: files through the IFileSystem seam, renames and copies through the host.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "Maintenance.h"

class IArchiveIo;

// The fixed names of an update below the installation directory D.
struct TUpdatePaths {
  // `dir`: D, with or without its trailing backslash.
  explicit TUpdatePaths(const std::string& dir);
  std::string dir;  // D, with its trailing backslash
  std::string archive, journal, runner, defaults, system2;
  // The user's settings as they were before the update, written before anything else.
  std::string keptDefaults, keptSystem2;
};

enum class TUpdateState {
  Stage,    // staged files and copies being written; the installation is untouched
  Switch,   // every file staged and checked, the old ones copied aside: finish it
  Undo,     // putting the old files back
  Clean,    // the new version and the settings are in place; only removal is left
  Declined  // the last updater could not apply or remove the archive and said so
};

struct TUpdateJournal {
  struct TFile {
    std::string target;   // where the entry belongs
    std::string staged;   // the entry written and checked, beside the target
    std::string backup;   // a copy of the old target, beside it
    bool hadOld = false;  // the target existed before the update
  };
  TUpdateState state = TUpdateState::Stage;
  std::string archiveId;          // ArchiveIdentity of the archive being applied
  std::vector<std::string> dirs;  // created for the new version, outermost first
  std::vector<TFile> files;       // in the order they are put in place

  std::string Text() const;
  // nullopt for a text that is not a journal of this form.
  static std::optional<TUpdateJournal> Parse(const std::string& text);
};

enum class TUpdateOutcome {
  Nothing,       // no archive, or no journal
  Applied,       // the new version and the user's settings are in place, the archive gone
  ArchiveStays,  // applied, but the archive could not be removed
  Unusable,      // the archive failed its check or could not be read: nothing changed
  RolledBack,    // the archive could not be applied; the old version is back, whole
  Deferred,      // as RolledBack, for a cause that may pass (a file in use, no room): the
                 // archive stays for a later run
  Unfinished,    // neither finished nor undone; the journal stays for the next run
  Declined       // the journal said the last updater declined the archive (now forgotten)
};

// "<size>:<CRC of the trailer>" of an archive file; "" when it cannot be read.
std::string ArchiveIdentity(IArchiveIo& io, const std::string& path);

// Writes `journal` with `state` in one step. False when the write fails.
bool SaveJournal(const TUpdatePaths& paths, TUpdateJournal& journal, TUpdateState state);

// Puts every staged file in place (ones already there from a killed run are passed over)
// and merges the user's settings back from their kept copies; then removes the archive
// (when it is still the one applied) and every file of the update. A file that cannot be
// replaced undoes the whole switch: Applied, ArchiveStays, RolledBack or Unfinished.
TUpdateOutcome FinishSwitch(const TUpdatePaths& paths, TUpdateJournal& journal,
                            IMaintenanceHost& host, IArchiveIo& io);

// Puts the old files back, deletes staged files and the folders the update created, then
// the kept settings and the journal. Safe to repeat after a kill. False when an old file
// could not be put back: the journal then stays.
bool UndoUpdate(const TUpdatePaths& paths, TUpdateJournal& journal, IMaintenanceHost& host);

// What stopped the update last, for the warning: the file (its full path, and its name
// below D) and whether another program holds it (else it could not be written).
struct TUpdateTrouble {
  std::string path, name;
  bool inUse = false;
};
extern TUpdateTrouble UpdateTrouble;
void NoteUpdateTrouble(const TUpdatePaths& paths, const std::string& path, bool inUse);

// The update that the archive in D describes, as ApplyUpdate plans it (every entry with
// its staged and backup names; `hadOld` and `dirs` as the folder is now); nullopt when the
// archive cannot be opened or fails its check. Update.cpp.
std::optional<TUpdateJournal> PlanArchive(const TUpdatePaths& paths, IArchiveIo& io);

// Acts on a journal left in D by a run that ended early: finishes a switch, undoes a
// stage, completes the removal of a clean one, forgets a declined archive. A journal that
// is not whole (cut, garbage, empty, a wrong check line) is never taken at its word: the
// update is undone from the "~zq<index>.old" copies found beside the targets that the
// archive names, and the settings come back from the kept copies; the archive stays.
TUpdateOutcome RecoverUpdate(const std::string& dir, IMaintenanceHost& host, IArchiveIo& io);

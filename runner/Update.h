// The self-update in two programs. The installed scheduler hands over (HandOverUpdate): it
// copies itself as "updSW.exe" to a folder it can reach, checks that the copy is this
// program, starts it with "-update" and the installation directory, and ends. The copy
// applies "NewVer.ZLib" (ApplyUpdate): every entry staged beside its target and checked,
// then the whole new version put in place or none of it (UpdateJournal.h), the user's
// settings kept on disk throughout and merged back, and the new "ZqRunner.exe" started.
// Main thread of each program; files through the IFileSystem seam (and the archive I/O
// given), the starts through the IProcessLauncher seam, the one warning through IUi.
#pragma once
#include <string>

#include "Maintenance.h"
#include "Properties.h"

class IArchiveIo;

// Set for the rest of this run once an update could not be handed over, applied or
// finished, or its archive could not be removed: no archive is handed over again (the
// client runs instead), so nothing loops. The user has then been told, once.
extern bool UpdateBlocked;
// "Could not update all files properly" has been shown in this run.
extern bool UpdateWarningShown;
// This run has started its updater: a second WM_RUNNER_UPDATE starts none.
extern bool UpdateHandedOver;
// Shows that warning unless this run has shown it already. Its second line names the file
// that stopped the update (UpdateTrouble, UpdateJournal.h) and, where `host` can tell,
// the programs holding it: "lib\x.jar is in use by Stash9 (javaw.exe)".
void WarnUpdateFailedOnce(IMaintenanceHost* host = nullptr);
// That second line; "" when no file is known.
std::string UpdateTroubleText(IMaintenanceHost* host);

// A normal start, before the single-instance test: false while an update of D runs (its
// mark is held); the start then ends quietly, touching nothing, and the updater starts the
// program itself at its end. That start (`byUpdater`) comes while the updater still holds
// the mark: it waits for the end, up to two minutes. Any other start would hold the old
// program's file, which the update has to replace, so it does not wait.
bool WaitWhileUpdating(const std::string& dir, IMaintenanceHost& host, bool byUpdater);

// The installed scheduler's half: puts a copy of the running program as "updSW.exe" in
// the temporary directory (as the ANSI calls reach it), else in `installDir`, and starts
// the first copy that holds exactly this program's bytes with -update and `installDir`
// (a stale copy that could not be replaced is never started). The update's mark is held
// from before the start and passed on to the copy. True when it was started (or already
// was in this run); otherwise warns once, sets UpdateBlocked and returns false (or returns
// false at once when UpdateBlocked is already set).
bool HandOverUpdate(const std::string& installDir, IMaintenanceHost& host);

// Applies D + "NewVer.ZLib" to the installation directory D, then starts D +
// "ZqRunner.exe", holding the update's mark throughout. A missing archive changes nothing;
// one that fails its check changes nothing and is deleted. One that cannot be applied
// leaves the old version whole and is warned about once: the archive is deleted when it is
// at fault (an entry that fails its CRC, a changed or hostile archive), and kept for a
// later run when the cause may pass (a file held, no room, the old program still running
// after about 5 seconds). An archive that stays is recorded in the journal, so that the
// scheduler started next does not hand it over again in its run.
void ApplyUpdate(const std::string& dir, IMaintenanceHost& host, IArchiveIo& io);

// Waits while the old program still runs from D + "ZqRunner.exe" (51 looks, 100 ms
// apart: about 5 seconds). False when it is still in use.
bool WaitForOldRunner(const std::string& dir, IMaintenanceHost& host);

// Appends to `old` every line of `neu` that `old` lacks: a line with a name ("=") when
// no line of `old` has that name (case ignored), a line without "=" when `old` has no
// identical line. Values already in `old` are never changed; no line is removed. Merging
// the same file twice therefore adds nothing the second time.
void MergeDefaults(TPropertyList& old, const TPropertyList& neu);

// At a normal start of the scheduler, after the single-instance test: finishes or undoes
// an update that was killed (RecoverUpdate), sets UpdateBlocked when the last updater
// declined the archive or the update cannot be finished now (warning once in that case),
// and deletes the copies "updSW.exe" that earlier hand-overs left. `startedByUpdater`: this
// is the updater's own start at its end, which belongs to the run that handed over (no
// hand-over and no warning in it). False, touching nothing, when an update of D runs now:
// the start then ends.
bool RecoverAtStart(const std::string& installDir, IMaintenanceHost& host, IArchiveIo& io,
                    bool startedByUpdater = false);

// Win32 half (Update_win.cpp): ApplyUpdate with the Win32 host and archive I/O, as
// start-up runs it for "-update" and an existing directory.
void RunUpdate(const std::string& dir);
// WaitWhileUpdating for InstallDir (normal start-up, before the single-instance test).
bool UpdateNotRunning();
// RecoverAtStart for InstallDir with the Win32 host and archive I/O (normal start-up);
// false when the start should end.
bool RecoverInterruptedUpdate();

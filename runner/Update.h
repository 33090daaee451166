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
// Shows that warning unless this run has shown it already.
void WarnUpdateFailedOnce();

// The installed scheduler's half: puts a copy of the running program as "updSW.exe" in
// the temporary directory (as the ANSI calls reach it), else in `installDir`, and starts
// the first copy that holds exactly this program's bytes with -update and `installDir`
// (a stale copy that could not be replaced is never started). True when it was started;
// otherwise warns once, sets UpdateBlocked and returns false (or returns false at once
// when UpdateBlocked is already set).
bool HandOverUpdate(const std::string& installDir, IMaintenanceHost& host);

// Applies D + "NewVer.ZLib" to the installation directory D, then starts D +
// "ZqRunner.exe". A missing archive changes nothing; one that fails its check changes
// nothing and is deleted. One that cannot be applied (a file held, a changed archive, a
// full disk, the old program still running after about 5 seconds) leaves the old version
// whole, is deleted and warned about once. An archive that cannot be deleted is warned
// about once and recorded in the journal, so that the scheduler started next does not hand
// it over again in its run.
void ApplyUpdate(const std::string& dir, IMaintenanceHost& host, IArchiveIo& io);

// Waits while the old program still runs from D + "ZqRunner.exe" (51 looks, 100 ms
// apart: about 5 seconds). False when it is still in use.
bool WaitForOldRunner(const std::string& dir, IMaintenanceHost& host);

// Appends to `old` every line of `neu` that `old` lacks: a line with a name ("=") when
// no line of `old` has that name (case ignored), a line without "=" when `old` has no
// identical line. Values already in `old` are never changed; no line is removed. Merging
// the same file twice therefore adds nothing the second time.
void MergeDefaults(TPropertyList& old, const TPropertyList& neu);

// At a normal start of the scheduler: finishes or undoes an update that was killed
// (RecoverUpdate), sets UpdateBlocked when the last updater declined the archive or the
// update cannot be finished now (warning once in that case), and deletes the copies
// "updSW.exe" that earlier hand-overs left.
void RecoverAtStart(const std::string& installDir, IMaintenanceHost& host, IArchiveIo& io);

// Win32 half (Update_win.cpp): ApplyUpdate with the Win32 host and archive I/O, as
// start-up runs it for "-update" and an existing directory.
void RunUpdate(const std::string& dir);
// RecoverAtStart for InstallDir with the Win32 host and archive I/O (normal start-up).
void RecoverInterruptedUpdate();

// The second half of the self-update, run by the copy "updSW.exe" of the old executable
// (started with "-update" and the installation directory by LaunchUpdater): it waits for
// the old executable to go, extracts "NewVer.ZLib" over the installation, keeps the
// user's settings and starts the new "ZqRunner.exe". Main thread of the copy; files
// through the IFileSystem seam (and the archive I/O given), the restart through the
// IProcessLauncher seam, the one warning through the IUi seam.
#pragma once
#include <string>

#include "Maintenance.h"
#include "Properties.h"

class IArchiveIo;

// Applies D + "NewVer.ZLib" to the installation directory D. Nothing is reported except
// the warning of RemoveOldRunner; a missing or corrupt archive changes nothing but
// "defaults.properties" (rewritten with its own lines). The archive is deleted and a
// "ZqRunner.exe" (the new one, else a copy of the running one) started in every case.
void ApplyUpdate(const std::string& dir, IMaintenanceHost& host, IArchiveIo& io);

// Deletes D + "zqrunner.exe", trying for about 5 seconds while the old program ends (51
// failed attempts, 100 ms apart). When it stays, warns "Could not update all files
// properly" and returns false.
bool RemoveOldRunner(const std::string& dir, IMaintenanceHost& host);

// Appends to `old` every line of `neu` that `old` lacks: a line with a name ("=") when
// no line of `old` has that name (case ignored), a line without "=" when `old` has no
// identical line. Values already in `old` are never changed; no line is removed. Merging
// the same file twice therefore adds nothing the second time.
void MergeDefaults(TPropertyList& old, const TPropertyList& neu);

// Win32 half (Update_win.cpp): ApplyUpdate with the Win32 host and archive I/O, as
// start-up runs it for "-update" and an existing directory.
void RunUpdate(const std::string& dir);

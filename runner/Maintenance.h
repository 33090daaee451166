// What update and uninstall need from Windows beyond the seams of Seams.h: the running
// executable and the temporary directory, copies, one-step replacement, attributes,
// directory removal and the scheduler's main window. TWinMaintenanceHost (MaintenanceHost_win.h) is the Win32
// version; tests give their own. GUI thread only.
#pragma once
#include <string>

class IMaintenanceHost {
 public:
  virtual ~IMaintenanceHost();
  // The temporary directory, with its trailing backslash, spelt so that the ANSI calls
  // reach it (its short name where the long one has characters outside the ANSI code
  // page); "" when there is none that they can reach.
  virtual std::string TempDir() = 0;
  // Full path of the running executable.
  virtual std::string ExePath() = 0;
  virtual void Sleep(unsigned ms) = 0;
  // Leaves only the archive attribute (drops read-only, hidden, system). Failures ignored.
  virtual void SetArchiveAttribute(const std::string& path) = 0;
  // Copies a file, replacing the target. False on failure.
  virtual bool CopyFileOver(const std::string& from, const std::string& to) = 0;
  // Puts `from` in the place of `to` in one step (a rename within the volume), replacing
  // an existing `to`, and flushes the change to the disk. False when it cannot (`to` is
  // open elsewhere, is a running program or a directory); nothing has then changed.
  virtual bool ReplaceWith(const std::string& from, const std::string& to) = 0;
  // Writes a whole copy of `from` to `to` (replacing it) and flushes it to the disk; the
  // copy takes only the archive attribute. False when `from` cannot be read whole.
  virtual bool KeepCopy(const std::string& from, const std::string& to) = 0;
  // Both files can be read and hold the same bytes.
  virtual bool SameContent(const std::string& a, const std::string& b) = 0;
  // Another process runs `path` as its program or holds it open so that it cannot be
  // replaced.
  virtual bool FileInUse(const std::string& path) = 0;
  // RemoveDirectoryTree (WinPlatform.h): never follows links, ignores failures.
  virtual void RemoveTree(const std::string& dir) = 0;
  // Removes a directory only when it is empty.
  virtual bool RemoveEmptyDirectory(const std::string& dir) = 0;
  // The main window of a running scheduler (class "TSWEXEForm", title "SWEXEForm").
  virtual bool SchedulerWindowExists() = 0;
  // Posts WM_DESTROY to it; the scheduler then leaves its message loop.
  virtual void PostDestroyToScheduler() = 0;

  // The mark of an update in progress for the installation in `dir`: held by the program
  // that hands the update over and by the updater for its whole run, seen by every
  // process of the session. True while another process holds it.
  virtual bool UpdateMarked(const std::string& dir) = 0;
  // This process holds the mark of `dir` until UnmarkUpdate or its end.
  virtual void MarkUpdate(const std::string& dir) = 0;
  virtual void UnmarkUpdate() = 0;
  // The process `processId`, just started, holds the mark too, for its whole life.
  virtual void ShareUpdateMark(unsigned long processId) = 0;
  // The programs that hold `path` open, as "Name (program.exe)", joined by ", "; "" when
  // Windows cannot tell.
  virtual std::string FileHolder(const std::string& path) = 0;
};

// The name of the mark of an update of the installation in `dir`: the same for every
// spelling that differs only in letter case or the trailing backslash.
std::string UpdateMarkName(const std::string& dir);

// `dir` with one trailing backslash (unchanged when it has one; "" stays "").
std::string WithTrailingBackslash(const std::string& dir);
// `path` enclosed in double quotes, so CreateProcessA and Explorer never split it at a blank.
std::string Quoted(const std::string& path);

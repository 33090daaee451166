// The Win32 IMaintenanceHost. Tests derive from it to put another executable in place of
// the running one. Win32 layer only.
#pragma once
#include <vector>

#include "Maintenance.h"
#include "WinUtil.h"

// One program that holds a file open, as Restart Manager names it.
struct TFileHolder {
  std::string app;  // its application name ("" when none)
  unsigned long processId = 0;
};
// Asks Restart Manager (rstrtmgr.dll, Vista and later, bound at run time) which programs
// hold `path`; none without it or when it cannot tell.
std::vector<TFileHolder> RestartManagerHolders(const std::string& path);
// What TWinMaintenanceHost::FileHolder asks; tests put their own answer in its place
// (Wine's Restart Manager names no process).
extern std::vector<TFileHolder> (*QueryFileHolders)(const std::string& path);

// The temporary directory as the ANSI calls can reach it: GetTempPathA's answer when the
// wide path has only characters of the ANSI code page, else the short form of the wide
// path when that has; "" otherwise. With a trailing backslash.
std::string AnsiTempDir();

class TWinMaintenanceHost : public IMaintenanceHost {
 public:
  std::string TempDir() override;
  std::string ExePath() override;
  void Sleep(unsigned ms) override;
  void SetArchiveAttribute(const std::string& path) override;
  bool CopyFileOver(const std::string& from, const std::string& to) override;
  // MoveFileExA with MOVEFILE_REPLACE_EXISTING and MOVEFILE_WRITE_THROUGH.
  bool ReplaceWith(const std::string& from, const std::string& to) override;
  bool KeepCopy(const std::string& from, const std::string& to) override;
  bool SameContent(const std::string& a, const std::string& b) override;
  // An open for writing, sharing everything, fails with a sharing violation.
  bool FileInUse(const std::string& path) override;
  void RemoveTree(const std::string& dir) override;
  bool RemoveEmptyDirectory(const std::string& dir) override;
  bool SchedulerWindowExists() override;
  void PostDestroyToScheduler() override;
  // The mark is a named event of the session (UpdateMarkName): it exists while any
  // process holds a handle to it, and goes with the last of them, also when a process is
  // killed. The started updater gets a duplicate of this process's handle.
  bool UpdateMarked(const std::string& dir) override;
  void MarkUpdate(const std::string& dir) override;
  void UnmarkUpdate() override;
  void ShareUpdateMark(unsigned long processId) override;
  // "App (program.exe)" for each holder QueryFileHolders names.
  std::string FileHolder(const std::string& path) override;

 private:
  TKernelHandle mark_;
  std::string markName_;
};

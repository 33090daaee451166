// The Win32 IMaintenanceHost. Tests derive from it to put another executable in place of
// the running one. Win32 layer only.
#pragma once
#include "Maintenance.h"

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
};

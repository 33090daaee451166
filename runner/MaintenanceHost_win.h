// The Win32 IMaintenanceHost. Tests derive from it to put another executable in place of
// the running one. Win32 layer only.
#pragma once
#include "Maintenance.h"

class TWinMaintenanceHost : public IMaintenanceHost {
 public:
  std::string TempDir() override;
  std::string ExePath() override;
  void Sleep(unsigned ms) override;
  void SetArchiveAttribute(const std::string& path) override;
  bool CopyFileOver(const std::string& from, const std::string& to) override;
  void RemoveTree(const std::string& dir) override;
  bool RemoveEmptyDirectory(const std::string& dir) override;
  bool SchedulerWindowExists() override;
  void PostDestroyToScheduler() override;
};

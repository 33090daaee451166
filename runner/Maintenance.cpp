#include "Maintenance.h"

#include "JavaSetup.h"
#include "Registry.h"

std::string WithTrailingBackslash(const std::string& dir) {
  if (dir.empty() || dir.back() == '\\') return dir;
  return dir + "\\";
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// Out of line, so that each interface's vtable has one home.
IMaintenanceHost::~IMaintenanceHost() = default;
IRegistry::~IRegistry() = default;
IJavaSetupHost::~IJavaSetupHost() = default;

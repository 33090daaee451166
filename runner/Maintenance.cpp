#include "Maintenance.h"

#include <cstdint>

#include "JavaSetup.h"
#include "Registry.h"
#include "Properties.h"

std::string WithTrailingBackslash(const std::string& dir) {
  if (dir.empty() || dir.back() == '\\') return dir;
  return dir + "\\";
}

std::string UpdateMarkName(const std::string& dir) {
  // FNV-1a over the upper-cased path: kernel object names may not hold a backslash.
  uint64_t h = 14695981039346656037ull;
  for (const char c : UpperAscii(WithTrailingBackslash(dir))) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  std::string hex(16, '0');
  for (int i = 15; i >= 0; --i, h >>= 4) hex[static_cast<size_t>(i)] = "0123456789abcdef"[h & 15];
  return "ZqRunnerUpdate_" + hex;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// Out of line, so that each interface's vtable has one home.
IMaintenanceHost::~IMaintenanceHost() = default;
IRegistry::~IRegistry() = default;
IJavaSetupHost::~IJavaSetupHost() = default;

#include "Maintenance.h"

std::string WithTrailingBackslash(const std::string& dir) {
  if (dir.empty() || dir.back() == '\\') return dir;
  return dir + "\\";
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

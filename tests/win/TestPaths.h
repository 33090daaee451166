// Paths of build outputs as the Windows tests see them under Wine.
#pragma once
#include <string>

namespace wt {

// The Windows path of a file the build produced: a Linux path maps to Wine's Z: drive; a
// path that already has a drive letter stays as it is.
inline std::string WindowsPath(const std::string& buildPath) {
  if (buildPath.size() > 1 && buildPath[1] == ':') return buildPath;
  std::string w = "Z:" + buildPath;
  for (char& c : w)
    if (c == '/') c = '\\';
  return w;
}

}  // namespace wt

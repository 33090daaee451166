// Gathering the client command's inputs: registry, installation directory, memory.
#include <windows.h>

#include "ClientCommand.h"
#include "Globals.h"
#include "Seams.h"
#include "WinRegistry.h"
#include "WinUtil.h"

namespace {

// Sub-key names below `key`; an enumeration error ends the list.
std::vector<std::string> SubKeyNames(HKEY key) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD length = sizeof name;
    const LONG rc = ::RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

bool LessInUserLocale(const std::string& a, const std::string& b) {
  return ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                          static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_LESS_THAN;
}

}  // namespace

// Reads below `root` so tests can point it at a key of their own. Both keys are only read:
// KEY_READ, never more, or a standard user is refused the machine's keys.
std::string FindJavaHomeIn(HKEY root, const char* keyPath) {
  HKEY raw = nullptr;
  if (RegOpenKeyCall()(root, keyPath, 0, KEY_READ, &raw) != ERROR_SUCCESS) return {};
  TRegKey jre(raw);
  const std::string latest = LastSorted(SubKeyNames(jre.get()), LessInUserLocale);
  if (latest.empty()) return {};
  raw = nullptr;
  if (RegOpenKeyCall()(jre.get(), latest.c_str(), 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
    return {};
  TRegKey version(raw);
  DWORD type = 0;
  char home[MAX_PATH * 2] = {};
  DWORD size = sizeof home - 1;  // room for a terminator the value may lack
  if (::RegQueryValueExA(version.get(), "JavaHome", nullptr, &type,
                         reinterpret_cast<BYTE*>(home), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return {};
  home[size] = '\0';
  const std::string result(home);
  if (result.empty() || !seams::Fs().DirectoryExists(result)) return {};
  return result;
}

std::string FindJavaHome() {
  return FindJavaHomeIn(HKEY_LOCAL_MACHINE, "Software\\JavaSoft\\Java Runtime Environment");
}

std::string FindJavaw() {
  const std::string home = FindJavaHome();
  if (home.empty()) return {};
  const std::string javaw = home + "\\bin\\javaw.exe";
  return seams::Fs().Exists(javaw) ? javaw : std::string();
}

std::string ListJars() {
  std::vector<TDirEntry> entries;
  WIN32_FIND_DATAA fd;
  TFindHandle find(::FindFirstFileA(InstallPath("*.jar").c_str(), &fd));
  if (!find) return {};
  do entries.push_back({fd.cFileName, fd.dwFileAttributes});
  while (::FindNextFileA(find.get(), &fd));
  return JoinClassPath(entries);
}

uint32_t TotalMemoryMegabytes() {
  MEMORYSTATUS status = {};
  status.dwLength = sizeof status;
  ::GlobalMemoryStatus(&status);
  // dwTotalPhys is 32 bits wide in the 32-bit program (Windows reports at most 4 GB
  // there) and the full amount in the 64-bit one; either way it is unsigned.
  return RoundToMegabytes(static_cast<uint64_t>(status.dwTotalPhys));
}

TClientCommand BuildClientCommand(const TClientRequest& request) {
  TClientSetup s;
  s.installDir = InstallDir;
  s.launcherExists = seams::Fs().Exists(InstallPath("zqbackup.exe"));
  s.privateJavawExists = seams::Fs().Exists(InstallPath("java\\bin\\javaw.exe"));
  // The registry is read only for the program that needs it, as each run reads it afresh.
  if (s.launcherExists && !s.privateJavawExists) s.registryJavaHome = FindJavaHome();
  if (!s.launcherExists && !s.privateJavawExists) s.installedJavaw = FindJavaw();
  s.classPath = ListJars();
  s.memoryMb = TotalMemoryMegabytes();
  s.configuredMemoryMb = ClientMemoryMB;
  s.ownArgs = CommandArgs;
  s.launchCount = LaunchCount;
  return ComposeClientCommand(s, request);
}

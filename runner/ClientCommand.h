// The command line that starts the Java backup client: which program (the client's own
// launcher "zqbackup.exe", the private runtime's javaw.exe or the installed one), the
// Java home, the heap limit, the class path, the main class and the client's arguments.
//
// ComposeClientCommand is pure: it takes what was found on disk and in the registry as
// data. The Win32 half (ClientCommand_win.cpp) gathers that data afresh for every run, so a
// runtime or jar installed while ZqRunner runs is used at the next run.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// What a caller of StartClient asks for.
struct TClientRequest {
  bool scheduled = false;  // started by the schedule: the client gets -s
  bool backupNow = false;  // the client gets -backupnow
  std::string extra;       // extra arguments, e.g. "-enc", "-nogui" (may be empty)
};

// What ComposeClientCommand needs to know about the machine and this run of ZqRunner.
struct TClientSetup {
  std::string installDir;             // no trailing backslash
  bool launcherExists = false;        // InstallDir\zqbackup.exe
  bool privateJavawExists = false;    // InstallDir\java\bin\javaw.exe
  std::string registryJavaHome;       // FindJavaHome(); only used with zqbackup.exe
  std::string installedJavaw;         // FindJavaw(); only used without zqbackup.exe
  std::string classPath;              // ListJars()
  uint32_t memoryMb = 0;              // TotalMemoryMegabytes()
  int configuredMemoryMb = 0;         // ClientMemoryMB (application.memory), 0 = none
  std::vector<std::string> ownArgs;   // ZqRunner's own command-line arguments
  int launchCount = 0;                // client runs of this ZqRunner run that have ended
};

struct TClientCommand {
  std::string commandLine;  // empty only when zqbackup.exe has no Java home to use
  std::string program;      // the started program; empty when no runtime was found
  bool runtimeFound = false;
};

constexpr const char* kClientMainClass = "com.stowly.gui.RamBackup";

// The class path joins the names with ";" and the client's arguments are appended
// unquoted, exactly as the client has always received them. The program path alone is
// put in double quotes when it contains a blank: unquoted, CreateProcess would try
// "C:\Program.exe" first. The argument vector the client sees is the same either way.
TClientCommand ComposeClientCommand(const TClientSetup& setup, const TClientRequest& request);

// Bytes to whole megabytes, a half rounded to the even neighbour (banker's rounding).
uint32_t RoundToMegabytes(uint64_t bytes);

// Attribute rule of the class path search: hidden files and directories are left out;
// read-only, system and archive files are admitted. Attribute bits as in Win32.
bool IsAdmittedJar(uint32_t attributes);

// Joins the admitted file names with ";", in the given order.
struct TDirEntry {
  std::string name;
  uint32_t attributes = 0;
};
std::string JoinClassPath(const std::vector<TDirEntry>& entries);

// The last name after an ascending sort by `less` (the highest version text), or empty.
template <typename Less>
std::string LastSorted(std::vector<std::string> names, Less less);

// --- gathered by the Win32 half (ClientCommand_win.cpp) ---
// Home of the installed Java runtime from HKLM\Software\JavaSoft\Java Runtime Environment:
// the "JavaHome" of the sub-key that sorts last (case ignored, user's locale); empty when
// there is none or it names no existing directory.
std::string FindJavaHome();
// FindJavaHome() + "\bin\javaw.exe" when that file exists, else empty.
std::string FindJavaw();
// Names of InstallDir\*.jar joined with ";" (see IsAdmittedJar).
std::string ListJars();
// Total physical memory (GlobalMemoryStatus) in whole megabytes.
uint32_t TotalMemoryMegabytes();
// Gathers the setup afresh and composes the command for this request.
TClientCommand BuildClientCommand(const TClientRequest& request);

template <typename Less>
std::string LastSorted(std::vector<std::string> names, Less less) {
  // The last of a stable ascending sort, found without sorting: the greatest name, and of
  // equal ones the one listed last.
  std::string last;
  bool any = false;
  for (auto& name : names)
    if (!any || !less(name, last)) {
      last = std::move(name);
      any = true;
    }
  return last;
}

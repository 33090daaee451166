// The Win32 maintenance host and the uninstall entry points that start-up calls.
#include <windows.h>
#include <restartmanager.h>
#include <tlhelp32.h>

#include "ActivityLog.h"
#include "MaintenanceHost_win.h"
#include "Messages.h"
#include "Properties.h"
#include "Uninstall.h"
#include "WinPlatform.h"
#include "WinRegistry.h"
#include "WinUtil.h"

namespace {

// `wide` in the ANSI code page, or "" when a character has no exact spelling there
// (a best-fit mapping, such as "a" for an "a" with a macron, would name another folder).
std::string ExactAnsi(const wchar_t* wide) {
  BOOL lossy = FALSE;
  const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0,
                                      nullptr, &lossy);
  if (n <= 1 || lossy) return {};
  std::string ansi(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, &ansi[0], n, nullptr, &lossy);
  ansi.resize(static_cast<size_t>(n - 1));
  return lossy ? std::string() : ansi;
}

// Reads a whole file that others may read too; false when it cannot be read.
bool ReadWhole(const std::string& path, std::string& data) {
  TFileHandle h(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!h) return false;
  data.clear();
  char block[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(h.get(), block, sizeof block, &got, nullptr)) return false;
    if (got == 0) return true;
    data.append(block, got);
  }
}

}  // namespace

std::string AnsiTempDir() {
  // GetTempPathA turns characters outside the ANSI code page into "?": a folder that
  // does not exist, and a copy put "there" fails.
  wchar_t wide[MAX_PATH + 1] = {};
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, wide);
  if (n == 0 || n > MAX_PATH) return {};
  std::string ansi = ExactAnsi(wide);
  if (ansi.empty()) {
    wchar_t shortPath[MAX_PATH + 1] = {};
    const DWORD k = ::GetShortPathNameW(wide, shortPath, MAX_PATH + 1);
    if (k == 0 || k > MAX_PATH) return {};
    ansi = ExactAnsi(shortPath);
  }
  return WithTrailingBackslash(ansi);
}

std::string TWinMaintenanceHost::TempDir() { return AnsiTempDir(); }
std::string TWinMaintenanceHost::ExePath() { return ::ExePath(); }
void TWinMaintenanceHost::Sleep(unsigned ms) { ::Sleep(ms); }

void TWinMaintenanceHost::SetArchiveAttribute(const std::string& path) {
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
}

bool TWinMaintenanceHost::CopyFileOver(const std::string& from, const std::string& to) {
  return ::CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

bool TWinMaintenanceHost::ReplaceWith(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool TWinMaintenanceHost::KeepCopy(const std::string& from, const std::string& to) {
  ::SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_ARCHIVE);
  if (!::CopyFileA(from.c_str(), to.c_str(), FALSE)) return false;
  // CopyFileA carries the attributes over: a read-only copy could not be deleted later.
  ::SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_ARCHIVE);
  TFileHandle h(::CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  return h && ::FlushFileBuffers(h.get());
}

bool TWinMaintenanceHost::SameContent(const std::string& a, const std::string& b) {
  std::string x, y;
  return ReadWhole(a, x) && ReadWhole(b, y) && x == y;
}

bool TWinMaintenanceHost::FileInUse(const std::string& path) {
  // Windows refuses every open for writing of a program that runs (its image is mapped)
  // and of a file another process opened without sharing writes; asking for nothing
  // but sharing everything leaves only those refusals.
  TFileHandle h(::CreateFileA(path.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
  return !h && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

void TWinMaintenanceHost::RemoveTree(const std::string& dir) { ::RemoveDirectoryTree(dir); }

bool TWinMaintenanceHost::RemoveEmptyDirectory(const std::string& dir) {
  return ::RemoveDirectoryA(dir.c_str()) != 0;
}

bool TWinMaintenanceHost::SchedulerWindowExists() {
  return ::FindWindowA(kMainWindowClass, kMainWindowTitle) != nullptr;
}

void TWinMaintenanceHost::PostDestroyToScheduler() {
  if (HWND w = ::FindWindowA(kMainWindowClass, kMainWindowTitle))
    ::PostMessageA(w, WM_DESTROY, 0, 0);
}

bool TWinMaintenanceHost::UpdateMarked(const std::string& dir) {
  const std::string name = UpdateMarkName(dir);
  if (mark_ && name == markName_) return false;  // this process's own
  TKernelHandle seen(::OpenEventA(SYNCHRONIZE, FALSE, name.c_str()));
  // Another user's event of that name cannot be opened (access denied): still a mark.
  return seen || ::GetLastError() == ERROR_ACCESS_DENIED;
}

void TWinMaintenanceHost::MarkUpdate(const std::string& dir) {
  markName_ = UpdateMarkName(dir);
  mark_.reset(::CreateEventA(nullptr, TRUE, FALSE, markName_.c_str()));
}

void TWinMaintenanceHost::UnmarkUpdate() { mark_.reset(); }

void TWinMaintenanceHost::ShareUpdateMark(unsigned long processId) {
  if (!mark_) return;
  TKernelHandle process(::OpenProcess(PROCESS_DUP_HANDLE, FALSE, processId));
  HANDLE theirs = nullptr;
  // Closed by the system when that process ends.
  if (process)
    ::DuplicateHandle(::GetCurrentProcess(), mark_.get(), process.get(), &theirs, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
}

namespace {

std::string AnsiOf(const wchar_t* wide) {
  const int n = ::WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string ansi(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide, -1, &ansi[0], n, nullptr, nullptr);
  ansi.resize(static_cast<size_t>(n - 1));
  return ansi;
}

// The file name of process `pid`'s program ("javaw.exe"); "" when it is gone. Tool Help
// is there since Windows 2000.
std::string ProgramOf(unsigned long pid) {
  TFileHandle snap(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return {};
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32First(snap.get(), &entry); more;
       more = ::Process32Next(snap.get(), &entry))
    if (entry.th32ProcessID == pid) return entry.szExeFile;
  return {};
}

}  // namespace

std::vector<TFileHolder> RestartManagerHolders(const std::string& path) {
  TModule rm(::LoadLibraryA("rstrtmgr.dll"));
  if (!rm) return {};  // XP
  using TStart = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
  using TRegister = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*);
  using TGetList = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, DWORD*);
  using TEnd = DWORD(WINAPI*)(DWORD);
  // GetProcAddress returns FARPROC; through void* without the cast warning.
  const auto bind = [&](const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(rm.get(), name));
  };
  const auto start = reinterpret_cast<TStart>(bind("RmStartSession"));
  const auto enroll = reinterpret_cast<TRegister>(bind("RmRegisterResources"));
  const auto list = reinterpret_cast<TGetList>(bind("RmGetList"));
  const auto end = reinterpret_cast<TEnd>(bind("RmEndSession"));
  if (!start || !enroll || !list || !end) return {};
  const int n = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  if (n <= 1) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], n);
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  if (start(&session, 0, key) != ERROR_SUCCESS) return {};
  std::vector<TFileHolder> holders;
  LPCWSTR files[] = {wide.c_str()};
  if (enroll(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
    std::vector<RM_PROCESS_INFO> info(4);
    UINT needed = 0, count = 0;
    DWORD reasons = 0, result = ERROR_MORE_DATA;
    // The list may grow between the calls: asked again with the size it needs.
    for (int tries = 0; result == ERROR_MORE_DATA && tries < 3; ++tries) {
      if (needed > info.size()) info.resize(needed);
      count = static_cast<UINT>(info.size());
      result = list(session, &needed, &count, info.data(), &reasons);
    }
    if (result == ERROR_SUCCESS)
      for (UINT i = 0; i < count && i < info.size(); ++i)
        holders.push_back({AnsiOf(info[i].strAppName), info[i].Process.dwProcessId});
  }
  end(session);
  return holders;
}

std::vector<TFileHolder> (*QueryFileHolders)(const std::string& path) = RestartManagerHolders;

std::string TWinMaintenanceHost::FileHolder(const std::string& path) {
  std::string named;
  for (const TFileHolder& h : QueryFileHolders(path)) {
    const std::string program = ProgramOf(h.processId);
    std::string one = h.app;
    if (one.empty() || SameTextAscii(one, program))
      one = program;
    else if (!program.empty())
      one += " (" + program + ")";
    if (one.empty()) continue;
    named += (named.empty() ? "" : ", ") + one;
  }
  return named;
}

void StartUninstallHandoff() {
  TWinMaintenanceHost host;
  LogEvent("uninstall", ConfirmUninstall(host) ? "confirmed: the copy in the temporary folder goes on" : "not started: declined, the scheduler still runs, or no copy");
}

void RunUninstall(const std::string& dir) {
  TWinMaintenanceHost host;
  TWinRegistry registry;
  RunUninstall(dir, host, registry);
}

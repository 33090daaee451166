// The Win32 maintenance host and the uninstall entry points that start-up calls.
#include <windows.h>

#include "ActivityLog.h"
#include "MaintenanceHost_win.h"
#include "Messages.h"
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

void StartUninstallHandoff() {
  TWinMaintenanceHost host;
  LogEvent("uninstall", ConfirmUninstall(host) ? "confirmed: the copy in the temporary folder goes on" : "not started: declined, the scheduler still runs, or no copy");
}

void RunUninstall(const std::string& dir) {
  TWinMaintenanceHost host;
  TWinRegistry registry;
  RunUninstall(dir, host, registry);
}

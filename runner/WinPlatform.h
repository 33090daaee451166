// Win32 versions of the seams and the file helpers the start-up and maintenance use.
#pragma once
#include <windows.h>

#include <string>

#include "Seams.h"

class TWinClock : public IClock {
 public:
  TDateTime Now() const override;
  // GetTickCount: it goes on during sleep on Windows (Wine counts only the time awake).
  uint32_t RealMs() const override;
  // Through the zone's two offsets and back with the rules of the time's own date.
  TDateTime ShownAt(TDateTime local) const override;
};

// A time in UTC as a local date-time with the time-zone rules in force at that time (not
// those of today, as FileTimeToLocalFileTime has it), and back. 0 on failure.
TDateTime UtcToLocal(const FILETIME& utc);
bool LocalToUtc(TDateTime local, FILETIME& utc);

class TWinFileSystem : public IFileSystem {
 public:
  bool Exists(const std::string& path) const override;
  bool DirectoryExists(const std::string& path) const override;
  // Retries for about half a second while another process has the file open for writing
  // (the Java client rewrites these files whole).
  std::optional<std::string> ReadAll(const std::string& path) const override;
  // Through a temporary file beside `path` ("~zq....tmp"), flushed and then renamed over
  // it; attributes of the old file are kept. A read-only file is not replaced.
  bool WriteAll(const std::string& path, const std::string& data) override;
  bool Delete(const std::string& path) override;
  TDateTime FileTime(const std::string& path) const override;
};

class TWinUi : public IUi {
 public:
  int ShowBox(const std::string& text, const std::string& caption, unsigned flags) override;
};

// The Win32 calls TWinFileSystem::WriteAll makes to put a file in place, replaceable so that
// tests can fill the disk, refuse the temporary file or fail the final step part-way; the
// system's by default.
struct TFileWriteCalls {
  BOOL(WINAPI* writeFile)(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                          LPOVERLAPPED overlapped);
  BOOL(WINAPI* flushFileBuffers)(HANDLE file);
  BOOL(WINAPI* moveFileEx)(LPCSTR from, LPCSTR to, DWORD flags);
  BOOL(WINAPI* replaceFile)(LPCSTR replaced, LPCSTR replacement, LPCSTR backup, DWORD flags,
                            LPVOID exclude, LPVOID reserved);
  UINT(WINAPI* getTempFileName)(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR name);
};
TFileWriteCalls& FileWriteCalls();

// Installs the Win32 seams (clock, file system, message boxes). The launcher and session
// seams are installed by the modules that own them.
void InstallWinSeams();

// The temporary directory, with its trailing backslash.
std::string TempDir();
// Directory of the running executable, without trailing backslash.
std::string ExeDirectory();
std::string ExePath();

// Deletes `dir` with everything below it. Never follows a junction or symbolic link: a
// reparse point is removed itself (RemoveDirectoryA / DeleteFileA), never entered.
// Failures are ignored; a missing `dir` does nothing.
void RemoveDirectoryTree(const std::string& dir);

// Win32 versions of the seams and the file helpers the start-up and maintenance use.
#pragma once
#include <windows.h>

#include <map>
#include <string>

#include "FolderWatch.h"
#include "Seams.h"
#include "WinUtil.h"

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
bool UtcToLocalSystemTime(const FILETIME& utc, SYSTEMTIME& local);
bool LocalToUtc(TDateTime local, FILETIME& utc);

class TWinFileSystem : public IFileSystem {
 public:
  bool Exists(const std::string& path) const override;
  bool DirectoryExists(const std::string& path) const override;
  // Read with about half a second's patience: for start-up and the maintenance runs.
  std::optional<std::string> ReadAll(const std::string& path) const override;
  // Busy when the file exists but stays open for writing, locked or being replaced for
  // `patienceMs` (tried every 20 ms); Missing when no file has that name. Within a second
  // after a wait that ended Busy, a tick's reading of the same file makes one attempt only.
  TFileRead Read(const std::string& path, unsigned patienceMs) const override;
  // Through a temporary file beside `path` ("~zq....tmp"), flushed and then renamed over it
  // in one step (MoveFileExA), retried for about a second while another process has the
  // file open. The old file's access rules (DACL) and attributes are kept. A read-only file
  // is not replaced, and a folder that takes no new file is not written at all.
  bool WriteAll(const std::string& path, const std::string& data) override;
  TWriteResult WriteIfUnchanged(const std::string& path, const std::string& data,
                                const TFileStamp& readAs) override;
  bool Delete(const std::string& path) override;
  TDateTime FileTime(const std::string& path) const override;

 private:
  // When a wait for each held file (upper-cased path) ended Busy. GUI thread only.
  mutable std::map<std::string, DWORD> heldSince_;
};

class TWinUi : public IUi {
 public:
  int ShowBox(const std::string& text, const std::string& caption, unsigned flags) override;
};

// The Win32 calls TWinFileSystem makes to put a file in place, and the pause between two
// attempts at a file another process holds (reads and renames), replaceable so that tests
// can fill the disk, refuse the temporary file or the rename, or act while a save waits;
// the system's by default.
struct TFileWriteCalls {
  BOOL(WINAPI* writeFile)(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                          LPOVERLAPPED overlapped);
  BOOL(WINAPI* flushFileBuffers)(HANDLE file);
  BOOL(WINAPI* moveFileEx)(LPCSTR from, LPCSTR to, DWORD flags);
  UINT(WINAPI* getTempFileName)(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR name);
  void(WINAPI* pause)(DWORD ms);
};
TFileWriteCalls& FileWriteCalls();

// The prefix of the temporary files a save writes beside its target ("~zq....tmp").
constexpr char kTempPrefix[] = "~zq";
// Removes the temporary files that a save interrupted by the end of the process (killed,
// power lost) left in `folder`. Start-up, before anything is saved; only one ZqRunner runs.
void RemoveInterruptedSaves(const std::string& folder);

// Installs the Win32 seams (clock, file system, message boxes). The launcher and session
// seams are installed by the modules that own them.
void InstallWinSeams();
// From now on the file times of `folder`'s files (the installation) are looked up again
// only when the folder changed (or once a minute); without a change notification there,
// on every question as before. LookForFolderChanges: once a tick, before its questions.
void WatchInstallFolder(const std::string& folder);
void LookForFolderChanges();

// A change notification of one folder's files: last-write times and names (creations,
// renames, deletions). Open gives null where the folder cannot be watched.
class TWinFolderWatch : public IFolderWatch {
 public:
  static std::unique_ptr<TWinFolderWatch> Open(const std::string& folder);
  bool Changed() override;

 private:
  explicit TWinFolderWatch(HANDLE h) : handle_(h) {}
  TChangeNotification handle_;
};

// The temporary directory, with its trailing backslash.
std::string TempDir();
// Directory of the running executable, without trailing backslash.
std::string ExeDirectory();
std::string ExePath();

// Deletes `dir` with everything below it. Never follows a junction or symbolic link: a
// reparse point is removed itself (RemoveDirectoryA / DeleteFileA), never entered.
// Failures are ignored; a missing `dir` does nothing.
void RemoveDirectoryTree(const std::string& dir);

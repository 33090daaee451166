// TWinFileSystem (WinPlatform.h): files the Java client shares, read and replaced so that
// neither side ever sees half a file or a missing name.
#include <aclapi.h>

#include <memory>

#include "WinPlatform.h"

#include "ActivityLog.h"
#include "Properties.h"
#include "RunnerError.h"

bool TWinFileSystem::Exists(const std::string& path) const {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool TWinFileSystem::DirectoryExists(const std::string& path) const {
  const DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

TFileWriteCalls& FileWriteCalls() {
  static TFileWriteCalls calls = {::WriteFile, ::FlushFileBuffers, ::MoveFileExA,
                                  ::GetTempFileNameA, ::Sleep};
  return calls;
}

namespace {

// The pause between two attempts at a file another process holds.
constexpr DWORD kRetryPauseMs = 20;
// How long a save waits for another process to let go of the file before it gives up.
constexpr DWORD kReplacePatienceMs = 1000;
// The start-up readers (text table, server name) and the update.
constexpr unsigned kReadAllPatienceMs = 500;

// How a file that exists refuses a reader or a rename for a moment: another process has it
// open without the sharing asked for (or, for a rename, open at all), holds a byte-range
// lock on it (the Java client's FileLock), or it is being deleted or replaced.
bool HeldByAnother(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

// GetTickCount wraps after 49 days; a difference does not mind.
DWORD MsSince(DWORD start) { return ::GetTickCount() - start; }

uint64_t Ticks(const FILETIME& t) {
  return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// The write time and size the name has now, from the directory entry: no open, so it never
// stands in the way of the Java client. nullopt when there is no such file.
std::optional<TFileStamp> StampNow(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d)) return std::nullopt;
  return TFileStamp{Ticks(d.ftLastWriteTime),
                    (static_cast<uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow};
}

enum class TAttempt { Read, Missing, Held };

// One open and read of the whole file. Read sharing only: while we hold it nobody writes it,
// so the bytes and the stamp are of one version.
TAttempt ReadOnce(const std::string& path, TFileRead& out) {
  TFileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return TAttempt::Missing;
    const DWORD a = ::GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY)) return TAttempt::Missing;
    return TAttempt::Held;
  }
  FILETIME written;
  if (!::GetFileTime(file.get(), nullptr, nullptr, &written)) return TAttempt::Held;
  std::string data;
  char buffer[4096];
  for (;;) {
    DWORD got = 0;
    // A byte-range lock makes ReadFile fail part-way: what came so far is not the file.
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return TAttempt::Held;
    if (got == 0) break;
    data.append(buffer, got);
  }
  out.stamp = {Ticks(written), data.size()};
  out.data = std::move(data);
  return TAttempt::Read;
}

}  // namespace

TFileRead TWinFileSystem::Read(const std::string& path, unsigned patienceMs) const {
  TFileRead r;
  const DWORD start = ::GetTickCount();
  // A file a tick's reading found held is not waited for again by the next one in the same
  // tick (the schedule and the warning settings share "zqbackup.properties").
  const std::string key = UpperAscii(path);
  const auto held = heldSince_.find(key);
  if (patienceMs <= kTickPatienceMs && held != heldSince_.end() && MsSince(held->second) < 1000)
    patienceMs = 0;
  for (;;) {
    const TAttempt attempt = ReadOnce(path, r);
    if (attempt != TAttempt::Held) {
      heldSince_.erase(key);
      r.outcome = attempt == TAttempt::Read ? TReadOutcome::Read : TReadOutcome::Missing;
      return r;
    }
    if (MsSince(start) + kRetryPauseMs > patienceMs) {
      if (held == heldSince_.end() || patienceMs > 0) heldSince_[key] = ::GetTickCount();
      r.outcome = TReadOutcome::Busy;
      return r;
    }
    FileWriteCalls().pause(kRetryPauseMs);
  }
}

std::optional<std::string> TWinFileSystem::ReadAll(const std::string& path) const {
  TFileRead r = Read(path, kReadAllPatienceMs);
  if (r.outcome != TReadOutcome::Read) return std::nullopt;
  return std::move(r.data);
}

namespace {

// A new, empty file of a unique name ("~zq....tmp") in the folder of `path`; "" when none
// could be created there (the last error says why).
std::string CreateTempBeside(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  char temp[MAX_PATH + 1] = {};
  if (!FileWriteCalls().getTempFileName(folder.c_str(), kTempPrefix, 0, temp)) return {};
  return temp;
}

struct TLocalFree {
  void operator()(void* p) const { ::LocalFree(p); }
};

// Puts the access rules (DACL) of the existing `from` on `to` (open with WRITE_DAC): a file
// that takes the old one's name by a rename would otherwise have the rules the folder hands
// down, and a file an installer opened to all users would no longer be. True also when there
// are none to copy (no access lists on the 95/98/Me family or a FAT volume).
bool CopyAccessRules(const std::string& from, HANDLE to) {
  // READ_CONTROL alone asks for no data access, so this open never meets the Java client's
  // share modes.
  TFileHandle old(::CreateFileA(from.c_str(), READ_CONTROL,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!old) return false;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR raw = nullptr;
  const DWORD got = ::GetSecurityInfo(old.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, &dacl, nullptr, &raw);
  std::unique_ptr<void, TLocalFree> descriptor(raw);
  if (got == ERROR_CALL_NOT_IMPLEMENTED || got == ERROR_NOT_SUPPORTED) return true;
  if (got != ERROR_SUCCESS) {
    ::SetLastError(got);
    return false;
  }
  // A missing DACL means no rules at all; set on the new file it would open it to everyone.
  if (!dacl) return true;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ::GetSecurityDescriptorControl(raw, &control, &revision);
  // Rules the old file took from the folder come from the folder again; a file cut off
  // from them (protected) stays so.
  const SECURITY_INFORMATION what =
      DACL_SECURITY_INFORMATION | ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                 : UNPROTECTED_DACL_SECURITY_INFORMATION);
  const DWORD set = ::SetSecurityInfo(to, SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr);
  if (set != ERROR_SUCCESS) {
    ::SetLastError(set);
    return false;
  }
  return true;
}

// Writes `data` into the new, empty `temp`, gives it the access rules and attributes of the
// existing `path` (when `keepFrom`), and flushes it to the disk.
bool WriteTemp(const std::string& temp, const std::string& data, const std::string& path,
               bool keepFrom) {
  const TFileWriteCalls& calls = FileWriteCalls();
  TFileHandle file(::CreateFileA(temp.c_str(), GENERIC_WRITE | WRITE_DAC, 0, nullptr,
                                 TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  size_t done = 0;
  while (done < data.size()) {
    DWORD wrote = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 20));
    if (!calls.writeFile(file.get(), data.data() + done, chunk, &wrote, nullptr) || wrote == 0)
      return false;
    done += wrote;
  }
  if (keepFrom && !CopyAccessRules(path, file.get())) return false;
  return calls.flushFileBuffers(file.get()) != FALSE;
}

// A second name for an existing file (a hard link, "~zq....tmp"), made just before a rename
// over it: afterwards the old file's write time is still there to see. None where there are
// no links (FAT, the 95/98/Me family, which also lacks CreateHardLinkA).
class TOldFileLink {
 public:
  TOldFileLink() = default;
  TOldFileLink(const TOldFileLink&) = delete;
  TOldFileLink& operator=(const TOldFileLink&) = delete;
  ~TOldFileLink() { Remove(); }

  // Links `path` unless a link is already there (the file is the same while its stamp is).
  void Make(const std::string& path) {
    using TCreateHardLinkA = BOOL(WINAPI*)(LPCSTR, LPCSTR, LPSECURITY_ATTRIBUTES);
    static const auto createHardLink = reinterpret_cast<TCreateHardLinkA>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "CreateHardLinkA")));
    if (!name_.empty() || !createHardLink) return;
    name_ = CreateTempBeside(path);
    if (name_.empty()) return;
    ::DeleteFileA(name_.c_str());  // only its unique name is wanted
    if (!createHardLink(name_.c_str(), path.c_str(), nullptr)) name_.clear();
  }
  const std::string& Name() const { return name_; }
  // The old file's version was renamed back under its name: no link to remove.
  void Consumed() { name_.clear(); }
  // A process that still has the old file open (the Java client, writing it while the
  // rename was refused) keeps it from going for that moment.
  void Remove() {
    if (name_.empty()) return;
    const DWORD error = ::GetLastError();
    const DWORD start = ::GetTickCount();
    while (!::DeleteFileA(name_.c_str()) && HeldByAnother(::GetLastError()) &&
           MsSince(start) + kRetryPauseMs <= kReplacePatienceMs)
      FileWriteCalls().pause(kRetryPauseMs);
    name_.clear();  // if still there, the next start removes it
    ::SetLastError(error);
  }

 private:
  std::string name_;
};

// Gives `temp` the name `path` in one step: MoveFileEx replaces the old file by a single
// rename, so the name never goes missing (ReplaceFile, on Wine and in its documented
// failures, passes through two renames). While another process has the old file open the
// rename is refused; it is tried again for about a second. With `readAs`, a write of another
// process since that reading is never overwritten: the old file must still be that version
// just before the rename, and a write that slips in between the comparison and the rename
// is seen afterwards through a link to the old file, whose version then goes back under the
// name (one rename again) unless the name was written since. The caller then reads, changes
// and writes again.
TWriteResult MoveIntoPlace(const std::string& temp, const std::string& path,
                           const TFileStamp* readAs) {
  const DWORD start = ::GetTickCount();
  const std::optional<TFileStamp> mine = StampNow(temp);
  TOldFileLink old;
  for (;;) {
    if (readAs) {
      // The link first: the comparison and the rename stay as close together as they can.
      old.Make(path);
      const std::optional<TFileStamp> now = StampNow(path);
      if (!now || *now != *readAs) return TWriteResult::Changed;
    }
    if (FileWriteCalls().moveFileEx(temp.c_str(), path.c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      if (old.Name().empty()) return TWriteResult::Written;
      const std::optional<TFileStamp> was = StampNow(old.Name());
      if (was && *was == *readAs) return TWriteResult::Written;
      const std::optional<TFileStamp> now = StampNow(path);
      if (now && mine && *now == *mine &&
          FileWriteCalls().moveFileEx(old.Name().c_str(), path.c_str(),
                                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        old.Consumed();
      return TWriteResult::Changed;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_CALL_NOT_IMPLEMENTED) {
      // The 95/98/Me family has no MoveFileEx and no rename over a file.
      ::DeleteFileA(path.c_str());
      return ::MoveFileA(temp.c_str(), path.c_str()) ? TWriteResult::Written : TWriteResult::Failed;
    }
    if (!HeldByAnother(error) || MsSince(start) + kRetryPauseMs > kReplacePatienceMs)
      return TWriteResult::Failed;
    FileWriteCalls().pause(kRetryPauseMs);
  }
}

// The new content goes to a temporary file beside the old one, flushed, which then takes the
// old one's name: at every moment the name holds the old content or the new, whole.
TWriteResult SaveThroughTemp(const std::string& path, const std::string& data,
                             const TFileStamp* readAs) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    // Read-only is kept: the rename would replace such a file where the system does not
    // check (Wine running as root does not).
    LogEvent("file not saved", path + ": read-only");
    ::SetLastError(ERROR_ACCESS_DENIED);
    return TWriteResult::Failed;
  }
  if (readAs && !exists) return TWriteResult::Changed;
  // A folder that takes no new file fails here: a rewrite in place could be cut off half
  // way and leave half a file, so the old file stays as it is.
  const std::string temp = CreateTempBeside(path);
  if (temp.empty()) LogEvent("file not saved", path + ": no file could be made beside it, Windows error " + std::to_string(::GetLastError()));
  if (temp.empty()) return TWriteResult::Failed;
  TWriteResult result = TWriteResult::Failed;
  if (WriteTemp(temp, data, path, exists)) {
    // Hidden, system and the like go with the content.
    if (exists) ::SetFileAttributesA(temp.c_str(), attributes);
    result = MoveIntoPlace(temp, path, readAs);
  }
  if (result != TWriteResult::Written) {
    const DWORD error = ::GetLastError();
    if (result == TWriteResult::Failed) LogEvent("file not saved", path + ": Windows error " + std::to_string(error));
    ::DeleteFileA(temp.c_str());
    ::SetLastError(error);
  }
  return result;
}

}  // namespace

bool TWinFileSystem::WriteAll(const std::string& path, const std::string& data) {
  return SaveThroughTemp(path, data, nullptr) == TWriteResult::Written;
}

TWriteResult TWinFileSystem::WriteIfUnchanged(const std::string& path, const std::string& data,
                                              const TFileStamp& readAs) {
  return SaveThroughTemp(path, data, &readAs);
}

void RemoveInterruptedSaves(const std::string& folder) {
  WIN32_FIND_DATAA fd;
  TFindHandle find(::FindFirstFileA((folder + "\\" + kTempPrefix + "*.tmp").c_str(), &fd));
  if (!find) return;
  do {
    // The pattern also matches short 8.3 names; only our own long names count.
    const std::string name = fd.cFileName;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (name.size() < 7 || !SameTextAscii(name.substr(0, 3), kTempPrefix) ||
        !SameTextAscii(name.substr(name.size() - 4), ".tmp"))
      continue;
    ::DeleteFileA((folder + "\\" + name).c_str());
  } while (::FindNextFileA(find.get(), &fd));
}

bool TWinFileSystem::Delete(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

TDateTime TWinFileSystem::FileTime(const std::string& path) const {
  // Read from the directory, without opening the file: the schedule and the control flags
  // ask on every tick, and an open of ours, in that instant, would make the Java client's
  // own open for writing fail. A file the client is rewriting needs no guard here: its
  // content is read only through ReadAll, which cannot open it while it is being written.
  // A missing file gives 0; no separate existence test.
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return 0;
  // With the rules of the file's own date: a backup made at 19:11 summer time stays 19:11
  // after the autumn change, not 18:11 (older than a 19:00 hour it covered).
  SYSTEMTIME local;
  FILETIME localFt;
  WORD dosDate = 0, dosTime = 0;
  if (!UtcToLocalSystemTime(data.ftLastWriteTime, local) ||
      !::SystemTimeToFileTime(&local, &localFt) ||
      !::FileTimeToDosDateTime(&localFt, &dosDate, &dosTime))
    return 0;
  return FromDosDateTime(dosDate, dosTime);
}

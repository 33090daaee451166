#include "WinPlatform.h"

#include <cmath>

#include "MyDialogs.h"
#include "RunnerError.h"
#include "WinUtil.h"

[[noreturn]] void ThrowLastError(const char* what) {
  const DWORD code = ::GetLastError();
  char* buffer = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n && buffer ? std::string(buffer, n) : std::string("error ") + std::to_string(code);
  if (buffer) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  throw TRunnerError(std::string(what) + ": " + text, code);
}

uint32_t TWinClock::RealMs() const { return ::GetTickCount(); }

namespace {

SYSTEMTIME ToSystemTime(TDateTime t) {
  const TDateParts p = DecodeDateTime(t);
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(p.year);
  st.wMonth = static_cast<WORD>(p.month);
  st.wDay = static_cast<WORD>(p.day);
  st.wHour = static_cast<WORD>(p.hour);
  st.wMinute = static_cast<WORD>(p.minute);
  st.wSecond = static_cast<WORD>(p.second);
  st.wMilliseconds = static_cast<WORD>(p.millisecond);
  return st;
}

TDateTime FromSystemTime(const SYSTEMTIME& st) {
  return EncodeDateTime({st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                         st.wMilliseconds});
}

constexpr double kMinutesPerDay = 1440.0;

}  // namespace

TDateTime TWinClock::Now() const {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return FromSystemTime(st);
}

namespace {
// With the rules in force at `utc` (SystemTimeToTzSpecificLocalTime), where
// FileTimeToLocalFileTime applies today's offset to any time.
bool UtcToLocalSystemTime(const FILETIME& utc, SYSTEMTIME& local) {
  SYSTEMTIME u;
  return ::FileTimeToSystemTime(&utc, &u) &&
         ::SystemTimeToTzSpecificLocalTime(nullptr, &u, &local);
}
}  // namespace

TDateTime UtcToLocal(const FILETIME& utc) {
  SYSTEMTIME local;
  return UtcToLocalSystemTime(utc, local) ? FromSystemTime(local) : 0;
}

bool LocalToUtc(TDateTime localTime, FILETIME& utc) {
  const SYSTEMTIME local = ToSystemTime(localTime);
  SYSTEMTIME u;
  return ::TzSpecificLocalTimeToSystemTime(nullptr, &local, &u) &&
         ::SystemTimeToFileTime(&u, &utc);
}

TDateTime TWinClock::ShownAt(TDateTime local) const {
  TIME_ZONE_INFORMATION tz;
  if (::GetTimeZoneInformation(&tz) == TIME_ZONE_ID_INVALID) return local;
  // A time the clock shows is its own image through one of the zone's two offsets. A time
  // that a forward change skips has one image before the skipped stretch and one after
  // it; the clock went on at the change, the first instant between the two whose local
  // time is later.
  auto localOf = [](TDateTime utcTime) {
    FILETIME utc;
    const SYSTEMTIME st = ToSystemTime(utcTime);
    return ::SystemTimeToFileTime(&st, &utc) ? UtcToLocal(utc) : 0;
  };
  TDateTime before = -1, after = -1;  // instants, in UTC
  for (const LONG bias : {tz.Bias + tz.StandardBias, tz.Bias + tz.DaylightBias}) {
    const TDateTime utc = local + bias / kMinutesPerDay;
    const TDateTime image = localOf(utc);
    if (image <= 0 || std::fabs(image - local) * kMinutesPerDay < 0.5 / 60) return local;
    (image > local ? after : before) = utc;
  }
  if (before < 0 || after < 0) return local;
  while ((after - before) * kMinutesPerDay * 60 > 0.5) {
    const TDateTime middle = (before + after) / 2;
    (localOf(middle) > local ? after : before) = middle;
  }
  return localOf(after);
}

bool TWinFileSystem::Exists(const std::string& path) const {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool TWinFileSystem::DirectoryExists(const std::string& path) const {
  const DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<std::string> TWinFileSystem::ReadAll(const std::string& path) const {
  TFileHandle file;
  for (int attempt = 0; attempt < 6; ++attempt) {
    file.reset(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file || ::GetLastError() != ERROR_SHARING_VIOLATION) break;
    ::Sleep(100);  // the Java client is rewriting the file; it takes a moment
  }
  if (!file) return std::nullopt;
  std::string data;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    data.append(buffer, got);
  return data;
}

TFileWriteCalls& FileWriteCalls() {
  static TFileWriteCalls calls = {::WriteFile, ::FlushFileBuffers, ::MoveFileExA, ::ReplaceFileA,
                                  ::GetTempFileNameA};
  return calls;
}

namespace {

// A new, empty file of a unique name ("~zq....tmp") in the folder of `path`; "" when none
// could be created there (the last error says why).
std::string CreateTempBeside(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  char temp[MAX_PATH + 1] = {};
  if (!FileWriteCalls().getTempFileName(folder.c_str(), "~zq", 0, temp)) return {};
  return temp;
}

// Writes `data` into the existing file `path` from its start, cutting it there, and
// flushes it to the disk.
bool WriteAndFlush(const std::string& path, const std::string& data) {
  const TFileWriteCalls& calls = FileWriteCalls();
  TFileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  size_t done = 0;
  while (done < data.size()) {
    DWORD wrote = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 20));
    if (!calls.writeFile(file.get(), data.data() + done, chunk, &wrote, nullptr) || wrote == 0)
      return false;
    done += wrote;
  }
  return calls.flushFileBuffers(file.get()) != FALSE;
}

// Puts `temp` in the place of `path`, which does not exist yet (a rename within the
// folder). The 95/98/Me family has no MoveFileEx.
bool MoveNew(const std::string& temp, const std::string& path) {
  if (FileWriteCalls().moveFileEx(temp.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
  if (::GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
  return ::MoveFileA(temp.c_str(), path.c_str()) != FALSE;
}

// Puts `temp` in the place of the existing `path` in one step. ReplaceFile keeps what the
// old file had besides its bytes: its permissions and owner (a rename would give the new
// file the folder's), creation time and attributes. The old file passes through a backup
// name, so that every way ReplaceFile can fail leaves it whole under one of the two names:
// put back where it belongs, it is the old file byte for byte.
bool ReplaceExisting(const std::string& temp, const std::string& path) {
  const std::string backup = CreateTempBeside(path);
  if (backup.empty()) return false;
  ::DeleteFileA(backup.c_str());  // only its unique name is wanted
  if (FileWriteCalls().replaceFile(path.c_str(), temp.c_str(), backup.c_str(), 0, nullptr,
                                   nullptr)) {
    ::DeleteFileA(backup.c_str());
    return true;
  }
  const DWORD error = ::GetLastError();
  const bool oldAside = ::GetFileAttributesA(backup.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (oldAside && ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
    ::MoveFileA(backup.c_str(), path.c_str());  // moved aside, the new one not in its place
  else if (oldAside)
    ::DeleteFileA(backup.c_str());
  ::SetLastError(error);
  return false;
}

// The folder takes no new file (a user who may write the settings files but not add files
// beside them): the file is rewritten in place, and if the new bytes cannot all be written,
// the old ones are written back.
bool RewriteInPlace(const std::string& path, const std::string& data, const std::string& old) {
  if (WriteAndFlush(path, data)) return true;
  const DWORD error = ::GetLastError();
  TFileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD wrote = 0;
  if (file && !old.empty())
    ::WriteFile(file.get(), old.data(), static_cast<DWORD>(old.size()), &wrote, nullptr);
  ::SetLastError(error);
  return false;
}

}  // namespace

bool TWinFileSystem::WriteAll(const std::string& path, const std::string& data) {
  // Never truncated in place where it can be helped: the new content goes to a temporary
  // file beside the old one, flushed, and then takes the old one's place.
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    // Read-only is kept: the replacement would overwrite such a file where the system does
    // not check (Wine running as root does not).
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  const std::string temp = CreateTempBeside(path);
  if (temp.empty()) {
    if (!exists || ::GetLastError() != ERROR_ACCESS_DENIED) return false;
    const std::optional<std::string> old = ReadAll(path);
    return old && RewriteInPlace(path, data, *old);
  }
  if (!WriteAndFlush(temp, data) || !(exists ? ReplaceExisting(temp, path) : MoveNew(temp, path))) {
    const DWORD error = ::GetLastError();
    ::DeleteFileA(temp.c_str());
    ::SetLastError(error);
    return false;
  }
  // Where the system's replacement did not carry them over, hidden, system and the like
  // are given back. A failure here loses no data and is not reported.
  if (exists && ::GetFileAttributesA(path.c_str()) != attributes)
    ::SetFileAttributesA(path.c_str(), attributes);
  return true;
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

int TWinUi::ShowBox(const std::string& text, const std::string& caption, unsigned flags) {
  return ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
}

void InstallWinSeams() {
  static TWinClock clock;
  static TWinFileSystem fs;
  static TWinUi ui;
  seams::SetClock(&clock);
  seams::SetFs(&fs);
  seams::SetUi(&ui);
  InstallWinTemplateHooks();
}

std::string TempDir() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD n = ::GetTempPathA(MAX_PATH, buffer);
  if (n == 0 || n > MAX_PATH) return {};
  return std::string(buffer, n);
}

std::string ExePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::string ExeDirectory() {
  const std::string exe = ExePath();
  const size_t slash = exe.find_last_of('\\');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

void RemoveDirectoryTree(const std::string& dirIn) {
  std::string dir = dirIn;
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  const DWORD self = ::GetFileAttributesA(dir.c_str());
  if (self == INVALID_FILE_ATTRIBUTES) return;
  if (self & FILE_ATTRIBUTE_REPARSE_POINT) {
    // A junction or directory link: remove the link, never what it points to.
    ::RemoveDirectoryA(dir.c_str());
    return;
  }
  WIN32_FIND_DATAA fd;
  TFindHandle find(::FindFirstFileA((dir + "\\*.*").c_str(), &fd));
  if (!find) return;
  DWORD lastError = ERROR_SUCCESS;
  do {
    const std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    const std::string full = dir + "\\" + name;
    const bool isDir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (isDir && isLink)
      ::RemoveDirectoryA(full.c_str());
    else if (isDir)
      RemoveDirectoryTree(full);
    else
      ::DeleteFileA(full.c_str());
  } while (::FindNextFileA(find.get(), &fd) || (lastError = ::GetLastError(), false));
  if (lastError == ERROR_NO_MORE_FILES) {
    find.reset();
    ::RemoveDirectoryA(dir.c_str());
  }
}

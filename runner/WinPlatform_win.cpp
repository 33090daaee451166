// The Win32 seams besides the file system (WinFileSystem_win.cpp): the clock with its time
// zone, message boxes, the seams' installation and the program's paths.
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

bool UtcToLocalSystemTime(const FILETIME& utc, SYSTEMTIME& local) {
  SYSTEMTIME u;
  return ::FileTimeToSystemTime(&utc, &u) &&
         ::SystemTimeToTzSpecificLocalTime(nullptr, &u, &local);
}

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

int TWinUi::ShowBox(const std::string& text, const std::string& caption, unsigned flags) {
  return ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
}

namespace {
TWinClock gClock;
TWinFileSystem gFileSystem;
TWatchedFileSystem gWatchedFiles(gFileSystem, gClock);
}  // namespace

void InstallWinSeams() {
  static TWinUi ui;
  seams::SetClock(&gClock);
  seams::SetFs(&gWatchedFiles);
  seams::SetUi(&ui);
  InstallWinTemplateHooks();
}

void WatchInstallFolder(const std::string& folder) {
  gWatchedFiles.Watch(folder, TWinFolderWatch::Open(folder));
}

void LookForFolderChanges() { gWatchedFiles.Look(); }

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

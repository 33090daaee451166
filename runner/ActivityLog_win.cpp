// The activity log's Win32 sink and the start-up line.
#include <windows.h>

#include "ActivityLog.h"
#include "Diagnostics.h"
#include "DateTime.h"
#include "WinUtil.h"

namespace {

// The log never changes what the program does, its callers' GetLastError included: a line
// may be written between a failed call and the caller's look at its error.
class TKeepLastError {
 public:
  TKeepLastError() : error_(::GetLastError()) {}
  ~TKeepLastError() { ::SetLastError(error_); }
  TKeepLastError(const TKeepLastError&) = delete;
  TKeepLastError& operator=(const TKeepLastError&) = delete;

 private:
  DWORD error_;
};

class TWinLogSink : public ILogSink {
 public:
  uint64_t Size(const std::string& path) const override {
    TKeepLastError keep;
    // From the directory entry: no open, so a reader is never in the way.
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d)) return 0;
    return (static_cast<uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
  }
  bool Append(const std::string& path, const std::string& bytes) override {
    TKeepLastError keep;
    // FILE_APPEND_DATA: every write goes to the end, also when the updater or a second
    // instance appends at the same time, and one WriteFile is one whole line. Readers may
    // have the file open with any sharing that allows writing; one that does not makes the
    // open fail at once, and the line is dropped: no retry, no wait.
    TFileHandle file(::CreateFileA(path.c_str(), FILE_APPEND_DATA,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) &&
           written == bytes.size();
  }
  bool Replace(const std::string& from, const std::string& to) override {
    TKeepLastError keep;
    if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    // Windows 95/98/Me only stub MoveFileExA.
    if (::GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
    ::DeleteFileA(to.c_str());
    return ::MoveFileA(from.c_str(), to.c_str()) != FALSE;
  }
  double LocalNow(int& utcOffsetMinutes) const override {
    TKeepLastError keep;
    TIME_ZONE_INFORMATION zone;
    const DWORD which = ::GetTimeZoneInformation(&zone);
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    LONG bias = zone.Bias;
    if (which == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
    if (which == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
    utcOffsetMinutes = which == TIME_ZONE_ID_INVALID ? 0 : -static_cast<int>(bias);
    return EncodeDateTime({t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, 0});
  }
  uint32_t ProcessId() const override { return ::GetCurrentProcessId(); }
};

TWinLogSink gSink;

// The version Windows really is: GetVersionExA answers what the manifest claims support
// for (Windows 8.1 and later show as 6.2 without it). ntdll's RtlGetVersion does not.
std::string WindowsVersion() {
  OSVERSIONINFOA v = {};
  v.dwOSVersionInfoSize = sizeof v;
  ::GetVersionExA(&v);
  using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW w = {};
  w.dwOSVersionInfoSize = sizeof w;
  if (HMODULE ntdll = ::GetModuleHandleA("ntdll.dll"))
    if (auto get = reinterpret_cast<TRtlGetVersion>(
            reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion"))))
      if (get(&w) == 0) {
        v.dwMajorVersion = w.dwMajorVersion;
        v.dwMinorVersion = w.dwMinorVersion;
        v.dwBuildNumber = w.dwBuildNumber;
      }
  return "Windows " + std::to_string(v.dwMajorVersion) + "." + std::to_string(v.dwMinorVersion) +
         "." + std::to_string(v.dwBuildNumber & 0xFFFF) +
         (v.dwPlatformId == VER_PLATFORM_WIN32_NT ? "" : " (95/98/Me)");
}

}  // namespace

void StartActivityLog(const std::string& folder, const char* role) {
  OpenActivityLog(folder, &gSink);
#ifdef _WIN64
  const char* machine = "x86_64";
#else
  const char* machine = "i686";
#endif
  LogEvent(role, std::string("version ") + ZQ_VERSION + ", " + machine + ", " +
                     WindowsVersion() + ", command line " + ::GetCommandLineA() + ", folder " +
                     folder);
}

void LogProcessStart(const std::string& commandLine, DWORD pid, DWORD error) {
  if (error == 0)
    LogEvent("process started", "pid " + std::to_string(pid) + ", " + commandLine);
  else
    LogEvent("process not started", "error " + std::to_string(error) + ", " + commandLine);
}

void LogProcessEnd(HANDLE process, DWORD pid) {
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  FILETIME created, exited, kernel, user;
  long long minutes = -1;
  if (::GetProcessTimes(process, &created, &exited, &kernel, &user)) {
    const auto ticks = [](const FILETIME& t) {
      return (static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    minutes = (ticks(exited) - ticks(created)) / 600000000LL;
  }
  LogEvent("process ended", "pid " + std::to_string(pid) + ", exit code " + std::to_string(code) +
                                (minutes >= 0 ? ", " + std::to_string(minutes) + " min" : ""));
}

// The crash report and the restart after a crash. Everything the failing moment needs is made
// at start-up (the events, the dump thread, the dump's path), so that a failure with a spent
// stack or a broken heap still gets its report written.
#include <windows.h>
#include <dbghelp.h>  // the types only: dbghelp.dll is loaded when a dump is written

#include <atomic>
#include <cstring>
#include <string>

#include "ActivityLog.h"
#include "Diagnostics.h"

namespace {

// How long a failing thread waits for its dump; a dump of a small process takes well under
// a second, a hung dbghelp must not keep a broken program alive for ever.
constexpr DWORD kDumpWaitMs = 60000;

HANDLE gRequest = nullptr;  // set by the failing thread
HANDLE gDone = nullptr;     // set by the dump thread when the report is written
DWORD gDumpThreadId = 0;
char gDumpPath[MAX_PATH + 16] = {};
std::atomic<bool> gReporting{false};
EXCEPTION_POINTERS* gPointers = nullptr;
DWORD gFailingThread = 0;

using TMiniDumpWriteDump = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                         PMINIDUMP_EXCEPTION_INFORMATION,
                                         PMINIDUMP_USER_STREAM_INFORMATION,
                                         PMINIDUMP_CALLBACK_INFORMATION);

// dbghelp.dll from the system folder by its full path, never one that lies beside the
// program or in the current folder.
DWORD WriteDump() {
  char path[MAX_PATH + 16] = {};
  const UINT n = ::GetSystemDirectoryA(path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return ::GetLastError();
  std::memcpy(path + n, "\\dbghelp.dll", sizeof "\\dbghelp.dll");
  HMODULE dbghelp = ::LoadLibraryA(path);
  if (!dbghelp) return ::GetLastError();
  auto write = reinterpret_cast<TMiniDumpWriteDump>(
      reinterpret_cast<void*>(::GetProcAddress(dbghelp, "MiniDumpWriteDump")));
  if (!write) return ERROR_PROC_NOT_FOUND;
  // CREATE_ALWAYS: only the newest dump is kept.
  HANDLE file = ::CreateFileA(gDumpPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ::GetLastError();
  MINIDUMP_EXCEPTION_INFORMATION info = {gFailingThread, gPointers, FALSE};
  const BOOL ok = write(::GetCurrentProcess(), ::GetCurrentProcessId(), file, MiniDumpNormal,
                        &info, nullptr, nullptr);
  const DWORD error = ok ? 0 : ::GetLastError();
  ::CloseHandle(file);
  if (!ok) ::DeleteFileA(gDumpPath);  // half a dump only misleads
  return error;
}

// "ZqRunner.exe+0x1A2B" for an address inside a loaded module, "no module" otherwise.
std::string ModuleAndOffset(const void* address) {
  MEMORY_BASIC_INFORMATION m;
  char name[MAX_PATH] = {};
  if (!::VirtualQuery(address, &m, sizeof m) || !m.AllocationBase ||
      !::GetModuleFileNameA(static_cast<HMODULE>(m.AllocationBase), name, MAX_PATH))
    return "no module";
  const std::string path = name;
  return path.substr(path.find_last_of('\\') + 1) + "+" +
         Hex(static_cast<unsigned long long>(static_cast<const char*>(address) -
                                             static_cast<const char*>(m.AllocationBase)));
}

DWORD WINAPI DumpThread(void*) {
  ::WaitForSingleObject(gRequest, INFINITE);
  const DWORD error = WriteDump();
  const EXCEPTION_RECORD* r = gPointers->ExceptionRecord;
  LogEvent("crash", "exception " + Hex(r->ExceptionCode, 8) + " at " +
                        Hex(reinterpret_cast<uintptr_t>(r->ExceptionAddress), 2 * sizeof(void*)) +
                        " (" + ModuleAndOffset(r->ExceptionAddress) + "), thread " +
                        std::to_string(gFailingThread) +
                        (error ? ", no dump, error " + std::to_string(error) : ", dump " + std::string(kDumpName)));
  ::SetEvent(gDone);
  return 0;
}

// Hands the failure to the dump thread and waits for it. A second failure while one is
// reported (another thread, or the dump thread itself) only waits for the first.
void Report(EXCEPTION_POINTERS* pointers) {
  if (!gRequest || ::GetCurrentThreadId() == gDumpThreadId) return;
  if (gReporting.exchange(true)) {
    ::WaitForSingleObject(gDone, kDumpWaitMs);
    return;
  }
  gPointers = pointers;
  gFailingThread = ::GetCurrentThreadId();
  ::SetEvent(gRequest);
  ::WaitForSingleObject(gDone, kDumpWaitMs);
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers) {
  Report(pointers);
  // Windows's own handling goes on: Windows Error Reporting ends the process and, when the
  // program registered for it, starts it again. (Wine starts winedbg, which with
  // ShowCrashDialog=0 prints a backtrace and ends the process.)
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void InstallCrashReport(const std::string& folder) {
  if (gRequest) return;
  const std::string path = InFolder(folder, kDumpName);
  if (path.size() >= sizeof gDumpPath) return;
  std::memcpy(gDumpPath, path.c_str(), path.size() + 1);
  gRequest = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  gDone = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // Lives, waiting, until the process ends; its handle is not needed.
  HANDLE thread = gRequest && gDone
                      ? ::CreateThread(nullptr, 256 * 1024, DumpThread, nullptr,
                                       STACK_SIZE_PARAM_IS_A_RESERVATION, &gDumpThreadId)
                      : nullptr;
  if (!thread) {
    gRequest = nullptr;  // no report without its thread; the events die with the process
    return;
  }
  ::CloseHandle(thread);
  ::SetUnhandledExceptionFilter(OnUnhandledException);
}

void ReportTerminate() {
  // The record of a failure that never was an SEH exception, with the caller's registers
  // where the system can give them (RtlCaptureContext: XP and later, bound at run time).
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = kTerminateCode;
  record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
  record.ExceptionAddress = __builtin_return_address(0);
  CONTEXT context = {};
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  using TCapture = VOID(WINAPI*)(CONTEXT*);
  if (auto capture = reinterpret_cast<TCapture>(
          reinterpret_cast<void*>(::GetProcAddress(kernel, "RtlCaptureContext"))))
    capture(&context);
  EXCEPTION_POINTERS pointers = {&record, &context};
  Report(&pointers);
  // Windows 7 and later: straight to Windows Error Reporting, which restarts a registered
  // program; elsewhere the process just ends.
  using TFailFast = VOID(WINAPI*)(EXCEPTION_RECORD*, CONTEXT*, DWORD);
  if (auto failFast = reinterpret_cast<TFailFast>(
          reinterpret_cast<void*>(::GetProcAddress(kernel, "RaiseFailFastException"))))
    failFast(&record, &context, 0);
  ::TerminateProcess(::GetCurrentProcess(), kTerminateCode);
  for (;;) ::Sleep(INFINITE);
}

void RegisterRestartAfterCrash(const std::string& arguments) {
  using TRegister = HRESULT(WINAPI*)(PCWSTR, DWORD);
  auto registerRestart = reinterpret_cast<TRegister>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "RegisterApplicationRestart")));
  if (!registerRestart) return;  // XP and the 95/98/Me family
  wchar_t wide[512] = {};
  if (!::MultiByteToWideChar(CP_ACP, 0, arguments.c_str(), -1, wide, 512)) return;
  // Only a crash or a hang: no restart for an installer's patch or a restart of Windows
  // (the log-on starts the program then anyway).
  constexpr DWORD kRestartNoPatch = 4, kRestartNoReboot = 8;
  const HRESULT hr = registerRestart(wide, kRestartNoPatch | kRestartNoReboot);
  LogEvent("restart after a crash", SUCCEEDED(hr) ? "registered: " + arguments
                                                  : "not registered, " + Hex(static_cast<unsigned long>(hr), 8));
}

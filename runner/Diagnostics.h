// What the program leaves behind when it fails, and how it comes back (Win32 only):
// the activity log's start, the crash report "ZqRunner.dmp" and the restart after a crash.
#pragma once
#include <windows.h>

#include <string>

constexpr const char* kDumpName = "ZqRunner.dmp";
// The exception code of the crash line and dump when a C++ exception escaped every catch
// (std::terminate): a customer code ("ZQ" in its low bytes), never one Windows raises.
constexpr unsigned long kTerminateCode = 0xE0005A51;

// Opens the activity log in `folder` and writes the first line: `role` ("start-up",
// "updater", "uninstaller") with the version, i686 or x86_64, the Windows version, the
// command line and the folder.
void StartActivityLog(const std::string& folder, const char* role);

// "process started" / "process not started" / "process ended" lines of a program run
// (the Java client, an installer), with the process id, the command line, the exit code and
// the minutes it ran. Any thread.
void LogProcessStart(const std::string& commandLine, DWORD pid, DWORD error);
void LogProcessEnd(HANDLE process, DWORD pid);

// From now on an exception no code handles, in any thread, and a C++ exception that
// escapes every catch write `folder` + "\ZqRunner.dmp" (replacing an older one) and a crash
// line in the activity log, and end the process. Creates the thread that writes the dump
// (the failing thread's own stack may be spent). Call once, early in start-up.
void InstallCrashReport(const std::string& folder);
// The terminate handler's report: a dump of the calling thread with kTerminateCode; the
// process then ends. Without InstallCrashReport, only the end.
[[noreturn]] void ReportTerminate();

// Asks Windows (Vista and later; bound at run time) to start the program again, with
// `arguments`, when it crashed or hung, but not after an update or a restart of Windows.
// Does nothing where the call is missing (XP, 95/98/Me) or when it fails.
void RegisterRestartAfterCrash(const std::string& arguments);

// Uninstall in two programs. The installed ZqRunner, started with "-uninstall", asks,
// makes sure the tray instance has ended, copies itself and the text table to the
// temporary directory and starts the copy "UnSW.exe" with "-uninstall" and the
// installation directory (ConfirmUninstall). The copy removes the Java runtime entries of
// a runtime inside the installation, the installation tree, the uninstall entry, the
// Explorer verb and the shortcuts, and tells the user (RunUninstall). Every step ignores
// its own failures. GUI thread; message boxes through the IUi seam, files through the
// IFileSystem seam, the copy started through the IProcessLauncher seam.
#pragma once
#include <string>

#include "Maintenance.h"
#include "Registry.h"

extern const char kUninstallEntryKey[];  // under HKLM
extern const char kShellFoldersKey[];    // under HKCU
extern const char kShellVerbKey[];       // under HKCR, "*\Shell\Korvel En/Decrypt"

// The question, the scheduler check, the copies and the start of "UnSW.exe". Returns
// true when the copy was started.
bool ConfirmUninstall(IMaintenanceHost& host);
// True when no scheduler runs (any more): a running one is sent WM_DESTROY and given
// 100 ms. Otherwise shows the "still running" error and returns false.
bool EnsureSchedulerStopped(IMaintenanceHost& host);

// Run by the copy for the installation directory `dir` (as it came on the command line).
// The tree is removed only when `dir` holds "ZqRunner.exe": a mistyped or hostile command
// line must not wipe an arbitrary folder.
void RunUninstall(const std::string& dir, IMaintenanceHost& host, IRegistry& registry);
// Win32 half (Maintenance_win.cpp): the two runs as start-up calls them, with the Win32
// host and registry ("-uninstall" and a directory; "-uninstall" alone).
void RunUninstall(const std::string& dir);
void StartUninstallHandoff();

// Deletes the version keys under HKLM "Software\JavaSoft\<product>" whose runtime
// (JavaHome + "\bin\javaw.exe") lies inside `dir`. A registry error ends the walk.
void RemoveJavaKeys(IRegistry& registry, const std::string& dir, const std::string& product);
// The uninstall entry's "DisplayName" ("Stash9" without the key or with a value of the
// wrong type, "" when the value is absent); the entry is deleted in every case.
std::string TakeUninstallEntry(IRegistry& registry);
// A value of the current user's "Shell Folders" key, "" when absent.
std::string ShellFolder(IRegistry& registry, const std::string& valueName);
void RemoveShellVerb(IRegistry& registry);
// Deletes the program-group, start-up and desktop shortcuts of the entry `name` in the
// shell folders (programs, startup, desktop); the group folder goes when it is empty.
// A folder that is not set, and a name that is not a plain file name, are passed over.
void RemoveShortcuts(const std::string& name, const std::string& programs,
                     const std::string& startup, const std::string& desktop,
                     IMaintenanceHost& host);

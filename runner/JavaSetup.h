// Start-up duties that keep the installation usable: a Java runtime (installed from the
// "JRE" folder when none is found), the Explorer verb of the decryptor, and the offer to
// configure the backup connection. GUI thread, during start-up; message boxes through the
// IUi seam, files through the IFileSystem seam.
#pragma once
#include <string>

#include "Registry.h"

// What the runtime check needs from the launcher module. The Win32 version runs and waits
// on TRunThread / TLockThread while it keeps dispatching this thread's messages.
class IJavaSetupHost {
 public:
  virtual ~IJavaSetupHost();
  // javaw.exe of the runtime registered under "Software\JavaSoft\Java Runtime
  // Environment", "" when there is none.
  virtual std::string FindJavaw() = 0;
  // Runs `commandLine` in `workDir` and returns when the process has ended (or could not
  // be started).
  virtual void RunAndWait(const std::string& commandLine, const std::string& workDir) = 0;
  // Returns when `path` is missing or can be opened for writing with no sharing.
  virtual void WaitUntilReleased(const std::string& path) = 0;
  // StartClient with no scheduled run, no immediate backup, no extra arguments.
  virtual int StartClient() = 0;
};

// True when a Java runtime is available afterwards: a registered one, the private one in
// "java\bin\javaw.exe", or one that "JRE\Setup.exe" has just installed.
bool EnsureJavaRuntimeWith(IJavaSetupHost& host);
// Tells the user, runs the installer and waits for it and for its clean-up program;
// true when a runtime is registered afterwards.
bool InstallJavaRuntime(IJavaSetupHost& host);
// The verb command: the decryptor in InstallDir with the file as its argument.
std::string ShellVerbCommand();
// Writes the verb command under HKCR "*\Shell\Korvel En/Decrypt\command". Errors ignored.
void RegisterShellVerbWith(IRegistry& registry);
// Without "connection.properties" in InstallDir: offers to open the client to configure
// the connection, and warns when the user declines.
void CheckConnectionSetupWith(IJavaSetupHost& host);

// Win32 half (JavaSetup_win.cpp), as start-up calls them: the runtime check (false when
// no runtime is available and none could be installed), the Explorer verb, and the offer
// to configure the connection.
bool EnsureJavaRuntime();
void RegisterShellVerb();
void CheckConnectionSetup();

#include "JavaSetup.h"

#include "Globals.h"
#include "Maintenance.h"
#include "MyDialogs.h"
#include "Seams.h"
#include "Uninstall.h"
#include "uRunnerResource.h"

bool EnsureJavaRuntimeWith(IJavaSetupHost& host) {
  if (!host.FindJavaw().empty()) return true;
  if (seams::Fs().Exists(InstallPath("java\\bin\\javaw.exe"))) return true;
  if (seams::Fs().Exists(InstallPath("JRE\\Setup.exe"))) return InstallJavaRuntime(host);
  return false;
}

bool InstallJavaRuntime(IJavaSetupHost& host) {
  ShowInfoMessage("The Java Runtime Environment will now be installed.");
  // Quoted: an installation directory with blanks would otherwise be split.
  host.RunAndWait(Quoted(InstallPath("JRE\\Setup.EXE")), InstallDir);
  // The installer may leave its clean-up program running; it holds "_ISDEL.EXE" open
  // until it has finished. No such file at all counts as finished.
  host.WaitUntilReleased(InstallPath("JRE\\_ISDEL.EXE"));
  return !host.FindJavaw().empty();
}

std::string ShellVerbCommand() {
  // The program path is quoted, so that Explorer does not split a path with blanks (and
  // never runs "C:\Program.exe" in its place).
  return Quoted(InstallPath("ZqDecryptor.exe")) + " \"%1\"";
}

void RegisterShellVerbWith(IRegistry& registry) {
  registry.WriteString(TRegRoot::ClassesRoot, std::string(kShellVerbKey) + "\\command", "",
                       ShellVerbCommand());
}

void CheckConnectionSetupWith(IJavaSetupHost& host) {
  if (seams::Fs().Exists(InstallPath("connection.properties"))) return;
  if (AskConfirm(FormatText("RUNNER_configure_now", {ProductName})))
    host.StartClient();
  else
    ShowWarning("Warning", FormatText("RUNNER_will_not_be_backed_up", {ProductName}), false);
}

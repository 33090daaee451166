#include "Uninstall.h"

#include <algorithm>

#include "ActivityLog.h"
#include "Globals.h"
#include "Properties.h"
#include "Seams.h"
#include "ZLIBArchive.h"  // IsSafeFileName: the entry name is joined into paths
#include "uRunnerResource.h"

const char kUninstallEntryKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Stowly";
const char kShellFoldersKey[] =
    "Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kShellVerbKey[] = "*\\Shell\\Korvel En/Decrypt";

namespace {

constexpr unsigned kMbIconError = 0x10;
constexpr unsigned kMbIconInformation = 0x40;
// Topmost Yes/No question; No is the default: Enter alone never removes the installation.
constexpr unsigned kMbTopmostQuestionYesNo = 0x40124;
constexpr int kIdYes = 6;

void DeleteIfPresent(const std::string& path) {
  IFileSystem& fs = seams::Fs();
  if (fs.Exists(path)) fs.Delete(path);
}

}  // namespace

bool EnsureSchedulerStopped(IMaintenanceHost& host) {
  if (!host.SchedulerWindowExists()) return true;
  host.PostDestroyToScheduler();
  host.Sleep(100);
  if (!host.SchedulerWindowExists()) return true;
  seams::Ui().ShowBox(FormatText("RUNNER_still_running", {ProductName, ProductName}),
                      GetText("Error"), kMbIconError);
  return false;
}

bool ConfirmUninstall(IMaintenanceHost& host) {
  const std::string text = FormatText("RUNNER_continue_with_uninstall", {ProductName, InstallDir}) +
                           "\r" + GetText("RUNNER_Do_you_want_to_continue");
  if (seams::Ui().ShowBox(text, GetText("RUNNER_Uninstall_heading"), kMbTopmostQuestionYesNo) !=
      kIdYes)
    return false;
  if (!EnsureSchedulerStopped(host)) return false;
  const std::string temp = host.TempDir();
  if (temp.empty()) return false;  // nowhere to put the copy
  // The copy takes its texts from beside itself.
  host.CopyFileOver(InstallPath("resource.properties"), temp + "resource.properties");
  const std::string copy = temp + "UnSW.exe";
  host.SetArchiveAttribute(copy);
  host.CopyFileOver(host.ExePath(), copy);
  // Both paths are quoted: a temporary or installation directory with blanks would
  // otherwise be split by CreateProcessA and by the copy's command-line parser.
  const std::string command =
      Quoted(copy) + " -uninstall " + Quoted(WithTrailingBackslash(InstallDir));
  return seams::Launcher().Start(command, temp, false).started;
}

void RemoveJavaKeys(IRegistry& registry, const std::string& dir, const std::string& product) {
  const std::string base = "Software\\JavaSoft\\" + product;
  auto versions = registry.SubKeyNames(TRegRoot::LocalMachine, base);
  if (!versions) return;
  std::sort(versions->begin(), versions->end());
  // With its backslash, "C:\App\" is no prefix of "C:\Apple\jre\bin\javaw.exe".
  const std::string inside = UpperAscii(WithTrailingBackslash(dir));
  if (inside.empty()) return;
  for (const std::string& version : *versions) {
    const std::string key = base + "\\" + version;
    std::string home;
    switch (registry.ReadString(TRegRoot::LocalMachine, key, "JavaHome", home)) {
      case TRegRead::Ok:
        break;
      case TRegRead::NoValue:
        continue;  // reads as empty: lies nowhere
      case TRegRead::NoKey:
      case TRegRead::WrongType:
        return;
    }
    const std::string javaw = UpperAscii(home + "\\bin\\javaw.exe");
    if (javaw.compare(0, inside.size(), inside) == 0 &&
        !registry.DeleteTree(TRegRoot::LocalMachine, key))
      return;
  }
}

std::string TakeUninstallEntry(IRegistry& registry) {
  std::string name = "Stash9";
  std::string value;
  switch (registry.ReadString(TRegRoot::LocalMachine, kUninstallEntryKey, "DisplayName", value)) {
    case TRegRead::Ok:
      name = value;
      break;
    case TRegRead::NoValue:
      name.clear();
      break;
    case TRegRead::NoKey:
    case TRegRead::WrongType:
      break;
  }
  registry.DeleteTree(TRegRoot::LocalMachine, kUninstallEntryKey);
  return name;
}

std::string ShellFolder(IRegistry& registry, const std::string& valueName) {
  std::string path;
  if (registry.ReadString(TRegRoot::CurrentUser, kShellFoldersKey, valueName, path) !=
      TRegRead::Ok)
    return {};
  return path;
}

void RemoveShellVerb(IRegistry& registry) {
  registry.DeleteTree(TRegRoot::ClassesRoot, kShellVerbKey);
}

void RemoveShortcuts(const std::string& name, const std::string& programs,
                     const std::string& startup, const std::string& desktop,
                     IMaintenanceHost& host) {
  // An empty name or folder would turn these into paths of another folder (or the root of
  // the current drive) and remove shortcuts or folders that are not ours.
  if (!IsSafeFileName(name)) return;
  if (!programs.empty()) {
    const std::string group = programs + "\\" + name;
    DeleteIfPresent(group + "\\" + name + ".lnk");
    DeleteIfPresent(group + "\\Help.lnk");
    DeleteIfPresent(group + "\\Uninstall.lnk");
    DeleteIfPresent(group + "\\Uninstall Client.lnk");
    host.RemoveEmptyDirectory(group);
  }
  if (!startup.empty()) DeleteIfPresent(startup + "\\" + name + ".lnk");
  if (!desktop.empty()) DeleteIfPresent(desktop + "\\" + name + ".lnk");
}

void RunUninstall(const std::string& dir, IMaintenanceHost& host, IRegistry& registry) {
  const std::string d = WithTrailingBackslash(dir);
  if (!d.empty()) {
    RemoveJavaKeys(registry, d, "Java Runtime Environment");
    RemoveJavaKeys(registry, d, "Java Plug-in");
    LogEvent("uninstall", "Java keys removed; the folder goes, this log with it: " + d);
    CloseActivityLog();  // a line written after the removal would bring the folder back
    if (seams::Fs().Exists(d + "ZqRunner.exe")) host.RemoveTree(d);
  }
  const std::string name = TakeUninstallEntry(registry);
  RemoveShellVerb(registry);
  RemoveShortcuts(name, ShellFolder(registry, "Programs"), ShellFolder(registry, "Startup"),
                  ShellFolder(registry, "Desktop"), host);
  seams::Ui().ShowBox(FormatText("RUNNER_successfully_uninstalled", {ProductName}), "Uninstall",
                      kMbIconInformation);
}

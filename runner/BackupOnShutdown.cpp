#include "BackupOnShutdown.h"

#include "Globals.h"
#include "Properties.h"
#include "RunnerError.h"

void LoadShutdownSettings() {
  BackupOnShutdown = false;
  ShutdownPrompt = true;
  ShutdownProgress = true;
  const std::string path = InstallPath("defaults.properties");
  if (!seams::Fs().Exists(path)) return;
  try {
    const TPropertyList list = ReadPropertyFile(path);
    BackupOnShutdown = SameTextAscii(ValueOf(list, "BACKUPONSHUTDOWN"), "true");
    if (SameTextAscii(ValueOf(list, "BACKUPONSHUTDOWNPROMPT"), "false")) ShutdownPrompt = false;
    if (SameTextAscii(ValueOf(list, "BACKUPONSHUTDOWNPROGRESS"), "false")) ShutdownProgress = false;
  } catch (const TRunnerError&) {
    // Present but unreadable (the client is writing it): the defaults stand.
  }
}

unsigned ExitWindowsFlags(bool restart, bool ntFamily) {
  const unsigned kind = restart ? kEwxReboot : ntFamily ? kEwxPowerOff : kEwxShutdown;
  return kind | kEwxForceIfHung;
}

#include "Settings.h"

#include "Globals.h"
#include "MyDialogs.h"
#include "Properties.h"
#include "RunnerError.h"
#include "Seams.h"

void LoadServerAndProduct(const std::string& dir) {
  const std::string resource =
      dir.empty() ? InstallPath("resource.properties") : dir + "resource.properties";
  TPropertyList list = ReadPropertyFile(resource);
  if (FindKey(list, "SERVER_IP") >= 0) ServerAddress = ValueOf(list, "SERVER_IP");
  if (FindKey(list, "S_9_NAME") >= 0) ProductName = ValueOf(list, "S_9_NAME");

  list = ReadPropertyFile(InstallPath("defaults.properties"));
  if (FindKey(list, "SERVER_IP") >= 0) ServerAddress = ValueOf(list, "SERVER_IP");
  if (FindKey(list, "SSL_SERVER") >= 0) ServerAddress = ValueOf(list, "SSL_SERVER");

  const size_t colon = ServerAddress.find(':');
  if (colon != std::string::npos) ServerAddress.erase(colon);
}

void LoadWarningSettings() {
  WarnAfterDays = 4;
  try {
    const TPropertyList list = ReadPropertyFile(InstallPath("zqbackup.properties"));
    const char* kShow = "scheduler.displaywarning";
    WarnMissedBackups = FindKey(list, kShow) < 0 || IsTrueValue(ValueOf(list, kShow));
    WarnAfterDays = ParseInteger(ValueOf(list, "scheduler.dayswarning"));
    if (!TryParseInteger(ValueOf(list, "application.memory"), ClientMemoryMB)) ClientMemoryMB = 0;
  } catch (const TRunnerError&) {
    WarnMissedBackups = true;
    WarnAfterDays = 4;
    ClientMemoryMB = 0;
  }
}

void SaveWarningSetting(bool show) {
  try {
    const std::string path = InstallPath("zqbackup.properties");
    TPropertyList list = ReadPropertyFile(path);
    const int i = FindKey(list, "scheduler.displaywarning");
    if (i >= 0) list.Lines().erase(list.Lines().begin() + i);
    list.Lines().push_back(show ? "scheduler.displaywarning=ON" : "scheduler.displaywarning=OFF");
    WritePropertyFile(list, path);
  } catch (const TRunnerError&) {
    ShowInfoMessage("Could not save settings!");
  }
}

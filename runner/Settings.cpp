#include "Settings.h"

#include "ActivityLog.h"
#include "Globals.h"
#include "MyDialogs.h"
#include "Properties.h"
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

namespace {

const char* const kShowKey = "scheduler.displaywarning";
// How often a save reads, changes and writes again when the Java client wrote the file in
// between.
constexpr int kSaveTries = 8;

bool WarningsRead = false;   // a reading of the file (or its absence) gave the values
bool WarningsOwed = false;   // the last reading found the file held: read again at a tick

void SetWarningDefaults() {
  WarnMissedBackups = true;
  WarnAfterDays = 4;
  ClientMemoryMB = 0;
}

}  // namespace

void LoadWarningSettings() {
  const TFileRead file = seams::Fs().Read(InstallPath("zqbackup.properties"), kTickPatienceMs);
  WarningsOwed = file.outcome == TReadOutcome::Busy;
  if (WarningsOwed) {
    // Held by the Java client: the values of the last reading stay. Before any reading the
    // defaults would switch on a warning the user may have switched off: none until then.
    if (!WarningsRead) WarnMissedBackups = false;
    LogIfChanged("settings read", "zqbackup.properties busy: the last values are kept");
    return;
  }
  WarningsRead = true;
  LogIfChanged("settings read", file.outcome == TReadOutcome::Missing ? "zqbackup.properties missing: the defaults" : "zqbackup.properties read");
  if (file.outcome == TReadOutcome::Missing) return SetWarningDefaults();
  TPropertyList list;
  list.SetText(file.data);
  int days = 4;
  if (!TryParseInteger(ValueOf(list, "scheduler.dayswarning"), days)) return SetWarningDefaults();
  WarnMissedBackups = FindKey(list, kShowKey) < 0 || IsTrueValue(ValueOf(list, kShowKey));
  WarnAfterDays = days;
  if (!TryParseInteger(ValueOf(list, "application.memory"), ClientMemoryMB)) ClientMemoryMB = 0;
}

void RefreshWarningSettings() {
  if (WarningsOwed) LoadWarningSettings();
}

void ResetWarningSettingsState() {
  WarningsRead = false;
  WarningsOwed = false;
}

void SaveWarningSetting(bool show) {
  IFileSystem& fs = seams::Fs();
  const std::string path = InstallPath("zqbackup.properties");
  for (int i = 0; i < kSaveTries; ++i) {
    // The user waits for this one: up to a second for the Java client to let go.
    const TFileRead file = fs.Read(path, kSavePatienceMs);
    if (file.outcome != TReadOutcome::Read) break;
    TPropertyList list;
    list.SetText(file.data);
    const int at = FindKey(list, kShowKey);
    if (at >= 0) list.Lines().erase(list.Lines().begin() + at);
    list.Lines().push_back(show ? "scheduler.displaywarning=ON" : "scheduler.displaywarning=OFF");
    const TWriteResult result = fs.WriteIfUnchanged(path, list.Text(), file.stamp);
    if (result == TWriteResult::Written) return;
    if (result == TWriteResult::Failed) break;
    // Changed: the client wrote the file since it was read; its change is read and kept.
  }
  LogEvent("settings not saved", "zqbackup.properties could not be read or replaced");
  ShowInfoMessage("Could not save settings!");
}

// The client run: every start of the Java client goes through StartClient. GUI thread only.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "ClientCommand.h"

// Start-backup results of StartClient and RunClient.
enum : int {
  kClientRan = 0,          // the client process was created and has ended
  kClientNotStarted = 1,   // already there, main jar missing, or process not created
  kClientNoRuntime = 2,    // no Java runtime found
  kClientUpdatePending = 3 // an update archive waits; WM_RUNNER_UPDATE was posted
};

// The single entry for starting the Java client (tray, menu, warnings, start-up, backup on
// shut-down): raises an open client instead unless `scheduled`, refuses a second run while
// one is under way, shows the running tip and menu meanwhile, reports a missing jar or
// runtime with a message box. Returns one of the results above.
int StartClient(bool scheduled, bool backupNow, const std::vector<std::string>& extra);
// Closes the client process that ZqRunner started last (before the backup on shut-down):
// sends WM_CLOSE, and waits for it to be handled, to its first visible, unowned top-level
// window that is not Nativa's hidden indicator window; without one, to its first top-level
// window. Clears LaunchInProgress when a window was found.
void CloseClientWindows();

// The will-start warning offers Snooze only while fewer than SnoozeLimit snoozes were
// taken since the last client run (SnoozeCount, Snooze.h).
bool SnoozeAllowed();

// When "NewVer.ZLib" waits in InstallDir and this run has not given up on updates
// (UpdateBlocked, Update.h): posts WM_RUNNER_UPDATE to MainWindow, true.
bool UpdatePending();

// One run of the client: composes the command, checks the main jar and a waiting update,
// runs the process with the timer suspended while this thread keeps pumping messages.
// `commandLine` receives the command used (for StartClient's error message).
int RunClient(const TClientRequest& request, std::string& commandLine);

// The text shown when the main jar is missing or the process could not be created.
std::string ProgramNotFoundText(const std::string& commandLine);

// The backup-will-start warning's template (WillStartWarning_win.cpp): Cancel disabled and
// no close box unless `cancelAllowed`; Snooze and its list disabled unless `snoozeAllowed`.
std::vector<uint8_t> BuildWillStartTemplate(bool cancelAllowed, bool snoozeAllowed);
// Brings MainWindow forward and opens the warning (modeless, CurrentDialog) with its
// 60-second countdown, whose end starts the scheduled backup. An open or snoozed
// missed-backup warning is closed first.
void ShowWillStartWarning();
bool WillStartWarningOpen();

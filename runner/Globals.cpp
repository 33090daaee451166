#include "Globals.h"

std::string InstallDir;
std::string ProductName = "Stash9";
std::string ServerAddress;
std::vector<std::string> CommandArgs;

bool WarnMissedBackups = true;
int WarnAfterDays = 4;
int ClientMemoryMB = 0;

std::atomic<bool> CancelAllowed{false};
std::atomic<bool> QuitAllowed{false};
std::atomic<int> SnoozeLimit{0};

bool BackupOnShutdown = false;
bool ShutdownPrompt = true;
bool ShutdownProgress = true;

std::atomic<bool> LaunchInProgress{false};
int LaunchCount = 0;
long long LastTriggerSlot = -1;
bool ShutdownHandled = false;
bool EncryptionPluginPresent = false;
TDateTime LastMissedWarningTime = kNoDateTime;

std::string InstallPath(const std::string& name) { return InstallDir + "\\" + name; }

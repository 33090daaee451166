#include <windows.h>

#include "RunnerModule.h"

#include "BackupOnShutdown.h"
#include "Globals.h"
#include "IsConnected.h"
#include "WinLauncher.h"
#include "WinPlatform.h"
#include "uRunnerResource.h"

void InitializeRunnerModule() {
  InstallWinSeams();
  InstallWinLauncher();
  InstallSessionSeam();
  InitTextTable(ExeDirectory() + "\\resource.properties", ::GetUserDefaultLangID());
  InstallDir = ExeDirectory();
}

void FinalizeRunnerModule() {
  FreeTextTable();
  FreeWinInet();
}

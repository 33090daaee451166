// A plain Win32 IProcessLauncher (CreateProcessA), installed at start-up so that the
// main window can start the updater copy. The client launcher may install its own.
#pragma once
#include "Seams.h"

class TWinLauncher : public IProcessLauncher {
 public:
  // No application name (the program is the command line's first token), handles not
  // inherited, the caller's environment. With `wait`, waits for the process to end
  // while dispatching the calling thread's messages.
  TProcessResult Start(const std::string& commandLine, const std::string& workDir,
                       bool wait) override;
};

void InstallWinLauncher();

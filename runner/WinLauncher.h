// The Win32 IProcessLauncher (CreateProcessA), installed at start-up: RunProcess, the
// client run (through TRunThread) and the updater start all go through it.
#pragma once
#include "Seams.h"

class TWinLauncher : public IProcessLauncher {
 public:
  // No application name (the program is the command line's first token), handles not
  // inherited, the caller's environment, the window shown normally without the start-up
  // feedback cursor. Stores the new process's id in LastClientProcessId (RunThread.h) as
  // soon as it exists. With `wait`, waits until the process is idle for input and then
  // until it ends, dispatching the calling thread's messages meanwhile.
  TProcessResult Start(const std::string& commandLine, const std::string& workDir,
                       bool wait) override;
};

void InstallWinLauncher();

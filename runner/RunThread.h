// Running other programs: the plain process starter, the thread that runs a command line
// and waits for its end, the thread that waits until a file is free, and the way the GUI
// thread waits for either while it keeps handling its messages.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>

#include "Seams.h"
#include "Thread.h"

// Process id of the process RunProcess started last (any program); 0 after a failed start.
// Written by whichever thread runs RunProcess, read on the GUI thread.
extern std::atomic<DWORD> LastClientProcessId;

// How often RunProcess tries a start that failed for a reason that may pass, and the pause
// between the tries (tests shorten it).
constexpr int kStartAttempts = 3;
extern DWORD StartRetryPauseMs;

// Starts `commandLine` (the program is its first token) in `workDir` through the process
// seam; with `wait`, blocks the calling thread until the process is idle for input and then
// until it has ended. True when the process was created. A start that fails for any reason
// but a missing program, folder or a file that is no program is tried again.
bool RunProcess(const std::string& commandLine, const std::string& workDir, bool wait);

// Runs a command line and waits for the process to end. Starts on creation; its creator
// frees it after ThreadFinished. Result(): 0 the process was created and has ended, 1 it
// could not be created (also when the thread itself could not be created).
class TRunThread : public TThread {
 public:
  TRunThread(std::string commandLine, std::string workDir);
  ~TRunThread() override;
  int Result() const { return result_; }

 protected:
  void Execute() override;

 private:
  std::string commandLine_, workDir_;
  std::atomic<int> result_{1};
};

// Waits until `path` is missing or can be opened for writing without sharing, trying every
// 100 ms. Starts on creation; its creator frees it after ThreadFinished (freeing earlier
// asks it to stop and waits for it).
class TLockThread : public TThread {
 public:
  explicit TLockThread(std::string path);
  ~TLockThread() override;

 protected:
  void Execute() override;

 private:
  std::string path_;
};

// True when the thread's handle is signalled (or abandoned), or the thread never ran.
bool ThreadFinished(const TThread& thread);
// Dispatches every message waiting in the calling thread's queue, without waiting. A quit
// message found here is posted again so the message loop still sees it.
void PumpMessages();
// The GUI thread's way to wait for a worker: PumpMessages and sleep `sleepMs` until done.
void WaitPumping(const TThread& thread, DWORD sleepMs);

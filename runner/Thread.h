// TThread: a worker thread over CreateThread (no std::thread: the shipped binaries link the
// win32-thread-model runtime). Workers never touch an HWND except by PostMessage/
// SendMessage to the GUI thread. Cancellation is cooperative: RequestCancel() sets a flag
// (and an event) the worker polls or waits on.
#pragma once
#include <windows.h>

#include <atomic>

#include "WinUtil.h"

// The stack reserved for each worker thread.
constexpr SIZE_T kWorkerStackBytes = 256 * 1024;

class TThread {
 public:
  TThread();
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts Execute() on a new thread. With `freeOnExit` the object deletes itself when
  // Execute returns (it must then be created with new, and nobody may touch it after
  // Start). Returns false when the thread could not be created.
  bool Start(bool freeOnExit = false);

  void RequestCancel();
  bool CancelRequested() const { return cancel_.load(); }
  // Sleeps up to `ms`; returns true early when cancel was requested.
  bool SleepOrCancel(DWORD ms) const;

  // Waits for the thread to end; true when it ended within `ms`.
  bool Join(DWORD ms = INFINITE);
  // True once Execute has returned (or the thread was never started).
  bool Finished() const;
  HANDLE Handle() const { return thread_.get(); }
  DWORD ThreadId() const { return threadId_; }

 protected:
  virtual void Execute() = 0;

 private:
  static DWORD WINAPI Entry(LPVOID self);

  TKernelHandle thread_;
  TKernelHandle cancelEvent_;
  DWORD threadId_ = 0;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> finished_{true};
  bool freeOnExit_ = false;
};

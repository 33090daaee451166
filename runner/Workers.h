// The worker threads that give the GUI thread its sense of time: the 5-second tick, the
// countdown of a warning dialog, the snooze countdown in the tray tip, and a yes/no
// question asked off the GUI thread. They reach windows only by posting messages, by the
// one synchronous WM_COMMAND at the end of a countdown, and by testing whether a dialog
// is visible. Times come from the IClock seam, so tests can move them.
//
// The Start... functions create a thread that frees itself when its work ends; nobody
// waits for it. Constructing a class directly and calling Start(false) gives a thread the
// caller owns and may Join (tests do this).
#pragma once
#include <windows.h>

#include <atomic>
#include <string>

#include "DateTime.h"
#include "Snooze.h"
#include "Thread.h"

constexpr DWORD kTickIntervalMs = 5000;
constexpr DWORD kWorkerPassMs = 500;
// The pause between two passes of the countdown and snooze threads: kWorkerPassMs. A test
// that moves the clock seam a month ahead in minutes shortens it to match.
extern std::atomic<DWORD> WorkerPassMs;

// Posts WM_RUNNER_TICK (wParam 0) to its window every interval until cancelled; the first
// tick comes one interval after the start. While paused it keeps its rhythm but posts
// nothing.
class TTimerThread : public TThread {
 public:
  explicit TTimerThread(HWND target, DWORD intervalMs = kTickIntervalMs)
      : target_(target), intervalMs_(intervalMs) {}
  void SetPaused(bool paused) { paused_ = paused; }

 protected:
  void Execute() override;

 private:
  HWND target_;
  DWORD intervalMs_;
  std::atomic<bool> paused_{false};
};

// Counts `seconds` of real time (TRealCountdown) down from its creation, posting
// WM_RUNNER_COUNTDOWN (wParam: seconds left, 0 or negative at the end) to the dialog about
// twice a second; at the end sends the dialog WM_COMMAND `command` once, and waits for it,
// if the dialog is still visible. Ends without sending anything as soon as the dialog is
// no longer visible.
class TCountDownThread : public TThread {
 public:
  TCountDownThread(HWND dialog, int seconds, int command);

 protected:
  void Execute() override;

 private:
  TRealCountdown count_;
  HWND dialog_;
  int command_;
};

// Writes the snooze text with the time left into TrayTip (and the icon) about twice a
// second; when `minutes` of real time have passed since its construction posts `message`
// (WM_RUNNER_SNOOZE_START or WM_RUNNER_SNOOZE_WARNING) to `target`. Construction sets
// SnoozeActive and clears StopSnoozeRequested; the thread ends silently when
// StopSnoozeRequested is set and clears SnoozeActive when it ends.
// With `generation`, the thread also ends silently as soon as that counter differs from
// its value at construction.
class TSnoozeThread : public TThread {
 public:
  TSnoozeThread(int minutes, UINT message, HWND target,
                const std::atomic<unsigned>* generation = nullptr);

 protected:
  void Execute() override;

 private:
  bool Superseded() const { return generation_ && *generation_ != startGeneration_; }

  TRealCountdown count_;  // from construction: the moment Snooze was pressed
  UINT message_;
  HWND target_;
  const std::atomic<unsigned>* generation_;
  unsigned startGeneration_;
};

// Asks a yes/no question (AskConfirm, a box that belongs to this thread) and posts
// WM_RUNNER_SHUTDOWN_BACKUP to `target` on Yes, WM_RUNNER_SHUTDOWN_NOBACKUP otherwise.
class TMessageThread : public TThread {
 public:
  explicit TMessageThread(HWND target) : target_(target) {}
  // Stores the question and starts the thread, which frees itself once answered.
  // The object must come from new and must not be touched afterwards.
  void Ask(const std::string& question);
  // For an owned thread: stores the question only (then Start(false)).
  void SetQuestion(const std::string& question) { question_ = question; }

 protected:
  void Execute() override;

 private:
  HWND target_;
  std::string question_;
};

// The one TimerThread for MainWindow (start-up), its end (shut-down, not waited for
// longer than a moment), and the pause around a client run. GUI thread.
void StartTimerThread();
void StopTimerThread();
void SuspendTimerThread();
void ResumeTimerThread();

// Self-freeing workers for the dialogs and the window procedure. GUI thread.
void StartCountDown(HWND dialog, int seconds, int command);
// False when the snooze thread could not be started (nothing will be posted).
bool StartSnooze(int minutes, UINT message, const std::atomic<unsigned>* generation = nullptr);
void AskShutdownQuestion(const std::string& question);

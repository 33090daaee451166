#include "Workers.h"

#include <memory>

#include "MainWindow.h"
#include "Messages.h"
#include "MyDialogs.h"
#include "Seams.h"
#include "Snooze.h"

std::atomic<DWORD> WorkerPassMs{kWorkerPassMs};

namespace {
std::unique_ptr<TTimerThread> gTimerThread;
}  // namespace

void TTimerThread::Execute() {
  while (!SleepOrCancel(intervalMs_)) {
    if (!paused_) ::PostMessageA(target_, WMAPP_RUNNER_TICK, 0, 0);
  }
}

TCountDownThread::TCountDownThread(HWND dialog, int seconds, int command)
    : count_(seconds), dialog_(dialog), command_(command) {}

void TCountDownThread::Execute() {
  while (!CancelRequested() && ::IsWindowVisible(dialog_)) {
    const int left = count_.SecondsLeft();
    ::PostMessageA(dialog_, WMAPP_RUNNER_COUNTDOWN, static_cast<WPARAM>(static_cast<INT_PTR>(left)), 0);
    if (left <= 0) {
      // Synchronous on purpose: the dialog's command may run a whole client run, and the
      // count must not go on meanwhile.
      if (::IsWindowVisible(dialog_))
        ::SendMessageA(dialog_, WM_COMMAND, static_cast<WPARAM>(command_), 0);
      SleepOrCancel(WorkerPassMs);
      return;
    }
    SleepOrCancel(WorkerPassMs);
  }
}

TSnoozeThread::TSnoozeThread(int minutes, UINT message, HWND target,
                             const std::atomic<unsigned>* generation)
    : count_(minutes * 60),
      message_(message),
      target_(target),
      generation_(generation),
      startGeneration_(generation ? generation->load() : 0) {
  SnoozeActive = true;
  StopSnoozeRequested = false;
}

void TSnoozeThread::Execute() {
  while (!CancelRequested() && !StopSnoozeRequested && !Superseded()) {
    const int left = count_.SecondsLeft();
    if (left < 0) {
      ::PostMessageA(target_, message_, 0, 0);
      break;
    }
    SetTrayTip(SnoozeTipText(left));
    UpdateTrayTip();
    SleepOrCancel(WorkerPassMs);
  }
  SnoozeActive = false;
}

void TMessageThread::Ask(const std::string& question) {
  question_ = question;
  Start(true);
}

void TMessageThread::Execute() {
  const bool yes = AskConfirm(question_);
  ::PostMessageA(target_, yes ? WMAPP_RUNNER_SHUTDOWN_BACKUP : WMAPP_RUNNER_SHUTDOWN_NOBACKUP, 0, 0);
}

void StartTimerThread() {
  if (gTimerThread) return;
  auto thread = std::make_unique<TTimerThread>(MainWindow);
  if (thread->Start(false)) gTimerThread = std::move(thread);
}

void StopTimerThread() {
  if (!gTimerThread) return;
  gTimerThread->RequestCancel();
  // The thread wakes at once on the cancel event; should it not end in time, it is left
  // to the process exit rather than freed under its feet.
  if (gTimerThread->Join(2000))
    gTimerThread.reset();
  else
    gTimerThread.release();
}

// A flag instead of SuspendThread: a thread suspended inside a system call may hold a
// lock the GUI thread needs next.
void SuspendTimerThread() {
  if (gTimerThread) gTimerThread->SetPaused(true);
}

void ResumeTimerThread() {
  if (gTimerThread) gTimerThread->SetPaused(false);
}

void StartCountDown(HWND dialog, int seconds, int command) {
  (new TCountDownThread(dialog, seconds, command))->Start(true);
}

bool StartSnooze(int minutes, UINT message, const std::atomic<unsigned>* generation) {
  if ((new TSnoozeThread(minutes, message, MainWindow, generation))->Start(true)) return true;
  SnoozeActive = false;
  return false;
}

void AskShutdownQuestion(const std::string& question) {
  (new TMessageThread(MainWindow))->Ask(question);
}

#include "Thread.h"

TThread::TThread() : cancelEvent_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

TThread::~TThread() = default;

bool TThread::Start(bool freeOnExit) {
  freeOnExit_ = freeOnExit;
  finished_ = false;
  // A worker needs little stack (its deepest call is a message box), and Wine commits a
  // thread's whole stack reservation at once: the executable's default 2 MB per thread made
  // up half of an idle ZqRunner's private bytes there.
  HANDLE h = ::CreateThread(nullptr, kWorkerStackBytes, Entry, this,
                            CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION, &threadId_);
  if (!h) {
    finished_ = true;
    if (freeOnExit) delete this;
    return false;
  }
  if (freeOnExit) {
    // A self-freeing thread owns its own handle: nobody may touch the object after this.
    ::ResumeThread(h);
    ::CloseHandle(h);
    return true;
  }
  thread_.reset(h);
  ::ResumeThread(h);
  return true;
}

void TThread::RequestCancel() {
  cancel_ = true;
  if (cancelEvent_) ::SetEvent(cancelEvent_.get());
}

bool TThread::SleepOrCancel(DWORD ms) const {
  if (cancel_) return true;
  if (!cancelEvent_) {
    ::Sleep(ms);
    return cancel_;
  }
  return ::WaitForSingleObject(cancelEvent_.get(), ms) == WAIT_OBJECT_0 || cancel_;
}

bool TThread::Join(DWORD ms) {
  if (!thread_) return finished_;
  return ::WaitForSingleObject(thread_.get(), ms) == WAIT_OBJECT_0;
}

bool TThread::Finished() const { return finished_; }

DWORD WINAPI TThread::Entry(LPVOID p) {
  auto* self = static_cast<TThread*>(p);
  const bool freeOnExit = self->freeOnExit_;
  try {
    self->Execute();
  } catch (...) {
    // A worker's failure ends only that worker; nothing is logged.
  }
  if (freeOnExit) {
    delete self;
  } else {
    self->finished_ = true;
  }
  return 0;
}

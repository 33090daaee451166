#include "RunThread.h"

#include <utility>

std::atomic<DWORD> LastClientProcessId{0};
DWORD StartRetryPauseMs = 500;

namespace {
// A program that is missing or is no program stays so; anything else may pass.
bool StartMayWork(uint32_t error) {
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND &&
         error != ERROR_BAD_EXE_FORMAT && error != ERROR_DIRECTORY;
}
}  // namespace

bool RunProcess(const std::string& commandLine, const std::string& workDir, bool wait) {
  // A start can fail for a passing reason: a scanner holding the freshly updated program,
  // the system short of resources for a moment. Wine under load sometimes loses a new
  // process before it has started (ERROR_INTERNAL_ERROR). A scheduled backup is not given
  // up for that: the start is tried again.
  TProcessResult r;
  for (int attempt = 1;; ++attempt) {
    r = seams::Launcher().Start(commandLine, workDir, wait);
    if (r.started || attempt == kStartAttempts || !StartMayWork(r.error)) break;
    ::Sleep(StartRetryPauseMs);
  }
  LastClientProcessId = r.started ? r.processId : 0;
  return r.started;
}

TRunThread::TRunThread(std::string commandLine, std::string workDir)
    : commandLine_(std::move(commandLine)), workDir_(std::move(workDir)) {
  Start();
}

TRunThread::~TRunThread() { Join(); }

void TRunThread::Execute() { result_ = RunProcess(commandLine_, workDir_, true) ? 0 : 1; }

TLockThread::TLockThread(std::string path) : path_(std::move(path)) { Start(); }

TLockThread::~TLockThread() {
  RequestCancel();
  Join();
}

void TLockThread::Execute() {
  for (;;) {
    if (::GetFileAttributesA(path_.c_str()) == INVALID_FILE_ATTRIBUTES) return;  // gone: free
    TFileHandle file(::CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return;
    if (SleepOrCancel(100)) return;
  }
}

bool ThreadFinished(const TThread& thread) {
  // A thread that could not be created never signals; waiting for it would never end.
  if (!thread.Handle()) return true;
  const DWORD rc = ::WaitForSingleObject(thread.Handle(), 0);
  return rc == WAIT_OBJECT_0 || rc == WAIT_ABANDONED;
}

void PumpMessages() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Removing the quit message here would lose it (a WM_DESTROY posted by the
      // uninstaller during a client run, say): leave it for the message loop.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

void WaitPumping(const TThread& thread, DWORD sleepMs) {
  while (!ThreadFinished(thread)) {
    PumpMessages();
    ::Sleep(sleepMs);
  }
}

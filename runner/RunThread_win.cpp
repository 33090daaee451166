#include "RunThread.h"

#include <utility>

std::atomic<DWORD> LastClientProcessId{0};

bool RunProcess(const std::string& commandLine, const std::string& workDir, bool wait) {
  const TProcessResult r = seams::Launcher().Start(commandLine, workDir, wait);
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

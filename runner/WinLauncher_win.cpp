#include "WinLauncher.h"

#include <windows.h>

#include <vector>

#include "Diagnostics.h"
#include "RunThread.h"
#include "WinUtil.h"

TProcessResult TWinLauncher::Start(const std::string& commandLine, const std::string& workDir,
                                   bool wait) {
  TProcessResult result;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEOFFFEEDBACK;
  si.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION pi = {};
  // CreateProcessA may write into the command line: give it a private copy.
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workDir.empty() ? nullptr : workDir.c_str(), &si, &pi)) {
    result.error = ::GetLastError();
    LogProcessStart(commandLine, 0, result.error);
    return result;
  }
  TKernelHandle process(pi.hProcess), thread(pi.hThread);
  result.started = true;
  result.processId = pi.dwProcessId;
  // Published now, not when Start returns: a waiting start returns only at the process's
  // end, and meanwhile CloseClientWindows must already find this process.
  LastClientProcessId = pi.dwProcessId;
  LogProcessStart(commandLine, pi.dwProcessId, 0);
  if (wait) {
    // First until the program is ready for input, then until it ends. A console program
    // has no input queue: WaitForInputIdle fails at once, which is as good as idle here.
    ::WaitForInputIdle(process.get(), INFINITE);
    HANDLE h = process.get();
    bool quit = false;
    int quitCode = 0;
    while (::MsgWaitForMultipleObjects(1, &h, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
      MSG msg;
      while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          quitCode = static_cast<int>(msg.wParam);
          quit = true;
          continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
      }
    }
    // A quit that arrived meanwhile belongs to the caller's message loop.
    if (quit) ::PostQuitMessage(quitCode);
    LogProcessEnd(process.get(), pi.dwProcessId);
  }
  return result;
}

void InstallWinLauncher() {
  static TWinLauncher launcher;
  seams::SetLauncher(&launcher);
}

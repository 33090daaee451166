// Stand-in for the Java backup client in the launcher tests. It records what ZqRunner
// gives it and behaves like the client as far as ZqRunner can tell:
//   - appends "CMD <its command line>" and "CWD <its working directory>" to the log;
//   - creates the client's hidden window ("KorvelBackupWindowClass"/"KorvelBackupWindow")
//     and logs "ACTIVATE <wParam> <lParam>" for each WM_USER + 1 it receives;
//   - can write "lastbackup.idx" into its working directory, as a finished backup does;
//   - ends on WM_CLOSE to its window ("CLOSE"), when a named event is set, or after a time.
// Settings come from environment variables (inherited from the test through ZqRunner) or,
// for manual runs, from "standin.cfg" (NAME=value lines, same names) beside the program:
//   ZQ_STANDIN_LOG        log file (default: standin.log beside the program)
//   ZQ_STANDIN_WINDOW     0 = no client window (default 1)
//   ZQ_STANDIN_WINDOW_DELAY_MS  create the window only after this many ms (default 0)
//   ZQ_STANDIN_EXIT_MS    end after this many ms (default 30000, so a test never hangs)
//   ZQ_STANDIN_QUIT_EVENT name of an event that ends the program when set
//   ZQ_STANDIN_TOUCH      1 = write lastbackup.idx at start
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::string gExeDir;
std::string gConfig;
std::string gLog;

std::string Setting(const char* name, const char* fallback) {
  char value[1024];
  const DWORD n = ::GetEnvironmentVariableA(name, value, sizeof value);
  if (n > 0 && n < sizeof value) return std::string(value, n);
  const std::string key = std::string(name) + "=";
  size_t pos = 0;
  while (pos < gConfig.size()) {
    size_t end = gConfig.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = gConfig.size();
    const std::string line = gConfig.substr(pos, end - pos);
    if (line.compare(0, key.size(), key) == 0) return line.substr(key.size());
    pos = end + 1;
  }
  return fallback;
}

std::string ReadFileText(const std::string& path) {
  HANDLE f = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return {};
  std::string data;
  char buf[4096];
  DWORD got = 0;
  while (::ReadFile(f, buf, sizeof buf, &got, nullptr) && got) data.append(buf, got);
  ::CloseHandle(f);
  return data;
}

void Log(const std::string& line) {
  // Opened per line with sharing, so the test can read the log while this program runs.
  HANDLE f = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 50 && f == INVALID_HANDLE_VALUE; ++attempt) {
    f = ::CreateFileA(gLog.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) ::Sleep(10);  // a reader without write sharing has it open
  }
  if (f == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\r\n";
  DWORD wrote = 0;
  ::WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr);
  ::CloseHandle(f);
}

UINT_PTR gExitTimer = 0;  // a thread timer's id is chosen by SetTimer

LRESULT CALLBACK ClientProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_USER + 1:
      Log("ACTIVATE " + std::to_string(w) + " " + std::to_string(l));
      return 0;
    case WM_CLOSE:
      Log("CLOSE");
      ::DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcA(hwnd, msg, w, l);
  }
}

void CreateClientWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ClientProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = "KorvelBackupWindowClass";
  ::RegisterClassA(&wc);
  ::CreateWindowExA(0, wc.lpszClassName, "KorvelBackupWindow", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50,
                    nullptr, nullptr, wc.hInstance, nullptr);
  Log("WINDOW");
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  if (id == gExitTimer) {
    Log("TIMEOUT");
    ::PostQuitMessage(0);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  gExeDir = path;
  gExeDir.erase(gExeDir.find_last_of('\\'));
  gConfig = ReadFileText(gExeDir + "\\standin.cfg");
  gLog = Setting("ZQ_STANDIN_LOG", (gExeDir + "\\standin.log").c_str());

  char cwd[MAX_PATH] = {};
  ::GetCurrentDirectoryA(MAX_PATH, cwd);
  Log(std::string("CMD ") + ::GetCommandLineA());
  Log(std::string("CWD ") + cwd);

  if (Setting("ZQ_STANDIN_TOUCH", "0") == "1") {
    HANDLE f = ::CreateFileA("lastbackup.idx", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
      DWORD wrote = 0;
      ::WriteFile(f, "standin\r\n", 9, &wrote, nullptr);
      ::CloseHandle(f);
    }
  }

  const UINT exitMs = static_cast<UINT>(std::strtoul(Setting("ZQ_STANDIN_EXIT_MS", "30000").c_str(), nullptr, 10));
  const UINT windowDelay = static_cast<UINT>(std::strtoul(Setting("ZQ_STANDIN_WINDOW_DELAY_MS", "0").c_str(), nullptr, 10));
  const bool wantWindow = Setting("ZQ_STANDIN_WINDOW", "1") != "0";
  const std::string eventName = Setting("ZQ_STANDIN_QUIT_EVENT", "");
  HANDLE quit = eventName.empty() ? nullptr : ::OpenEventA(SYNCHRONIZE, FALSE, eventName.c_str());

  gExitTimer = ::SetTimer(nullptr, 0, exitMs, OnTimer);
  if (wantWindow && windowDelay == 0) CreateClientWindow();
  const DWORD start = ::GetTickCount();
  bool windowPending = wantWindow && windowDelay > 0;

  for (;;) {
    const DWORD rc = ::MsgWaitForMultipleObjects(quit ? 1 : 0, &quit, FALSE, 20, QS_ALLINPUT);
    if (quit && rc == WAIT_OBJECT_0) {
      Log("EVENT");
      break;
    }
    if (windowPending && ::GetTickCount() - start >= windowDelay) {
      windowPending = false;
      CreateClientWindow();
    }
    MSG msg;
    bool done = false;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        done = true;
        break;
      }
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    if (done) break;
  }
  Log("EXIT");
  if (quit) ::CloseHandle(quit);
  return 0;
}

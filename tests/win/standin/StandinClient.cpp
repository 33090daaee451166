// Stand-in for the Java backup client in the launcher tests. It records what ZqRunner
// gives it and behaves like the client as far as ZqRunner can tell:
//   - appends "CMD <its command line>" and "CWD <its working directory>" to the log;
//   - creates the client's hidden window ("KorvelBackupWindowClass"/"KorvelBackupWindow")
//     and logs "ACTIVATE <wParam> <lParam>" for each WM_USER + 1 it receives; or, with
//     ZQ_STANDIN_NATIVA, has Nativa.dll's desktop indicator create it and logs
//     "FIRECLICKED" for each activation the library passes on;
//   - can write "lastbackup.idx" into its working directory, as a finished backup does;
//   - ends on WM_CLOSE to its own window ("CLOSE"), when a named event is set, or after a time.
//     In Nativa mode it has no window of its own: a WM_CLOSE reaches the library's window,
//     whose default handling destroys it, and the stand-in ends by event or time only.
// Settings come from environment variables (inherited from the test through ZqRunner) or,
// for manual runs, from "standin.cfg" (NAME=value lines, same names) beside the program:
//   ZQ_STANDIN_LOG        log file (default: standin.log beside the program)
//   ZQ_STANDIN_WINDOW     0 = no client window (default 1)
//   ZQ_STANDIN_WINDOW_DELAY_MS  create the window only after this many ms (default 0)
//   ZQ_STANDIN_EXIT_MS    end after this many ms (default 30000, so a test never hangs)
//   ZQ_STANDIN_QUIT_EVENT name of an event that ends the program when set
//   ZQ_STANDIN_TOUCH      1 = write lastbackup.idx at start
//   ZQ_STANDIN_NATIVA     path of Nativa.dll: the window comes from the library's desktop
//                         indicator instead (see TNativaClient below)
//   ZQ_STANDIN_FRAME      1 = in Nativa mode, also a visible frame window (class
//                         "ZqStandinFrame"), created once the indicator's window exists, as
//                         the Java client opens its frame after its indicator; a WM_CLOSE to
//                         the frame logs "CLOSE" and ends the stand-in
#include <windows.h>

#include <com_stowly_guinative_DesktopIndicator.h>

#include <cstdlib>
#include <string>
#include <type_traits>

#include "JniHost.h"

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

// The client's own (visible) frame: closing it ends the client, as closing the Java
// client's main window does.
void CreateFrameWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ClientProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = "ZqStandinFrame";
  ::RegisterClassA(&wc);
  ::CreateWindowExA(0, wc.lpszClassName, "Stand-in client", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                    200, 100, nullptr, nullptr, wc.hInstance, nullptr);
  Log("FRAME");
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

// The Java client's side of the desktop indicator, through the real Nativa.dll and the test
// JNI host: the library's own thread creates the client window, and ZqRunner's activation
// arrives as calls of fireClicked, logged as "FIRECLICKED". At the end the indicator is
// disabled as the client does before it exits, and the stand-in waits until the library has
// destroyed the window and ended its thread ("INDICATOR GONE", else "INDICATOR LEFT ..."),
// then logs what the JNI host saw ("JNI violations=.. pins=.. globals=.. attached=.. detached=..").
class TNativaClient {
 public:
  // Logs "NATIVA LOADED" or "NATIVA FAILED <reason>"; false on failure.
  bool Load(const std::string& dllPath);
  // nativeLoadImage + nativeEnable, as the client's tray indicator does at start.
  void Enable();
  // nativeDisable + nativeFreeImage; waits (bounded) for the window and thread to end.
  void Disable();

 private:
  // Exported names: plain on x86_64, stdcall-decorated ("_name@argbytes") on i686.
  template <class F>
  F* Native(const char* name, int argBytes) {
#ifdef _WIN64
    (void)argBytes;
    const std::string exported = name;
#else
    const std::string exported = "_" + std::string(name) + "@" + std::to_string(argBytes);
#endif
    return reinterpret_cast<F*>(reinterpret_cast<void*>(::GetProcAddress(dll_, exported.c_str())));
  }
  host::TJvm* jvm_ = nullptr;  // never deleted: the library may cache what it handed out
  HMODULE dll_ = nullptr;
  jobject indicator_ = nullptr;
  jint image_ = -1;
  int globalsBefore_ = 0;
  decltype(&Java_com_stowly_guinative_DesktopIndicator_nativeEnable) enable_ = nullptr;
  decltype(&Java_com_stowly_guinative_DesktopIndicator_nativeDisable) disable_ = nullptr;
  decltype(&Java_com_stowly_guinative_DesktopIndicator_nativeLoadImage) loadImage_ = nullptr;
  decltype(&Java_com_stowly_guinative_DesktopIndicator_nativeFreeImage) freeImage_ = nullptr;
};

#define ZQ_NATIVE(fn, bytes) Native<std::remove_pointer_t<decltype(&Java_com_stowly_guinative_##fn)>>( \
    "Java_com_stowly_guinative_" #fn, bytes)

bool TNativaClient::Load(const std::string& dllPath) {
  jvm_ = new host::TJvm;
  jvm_->Env();  // this thread is the JVM's main thread
  host::TClass* cls = jvm_->DefineClass("com/stowly/guinative/DesktopIndicator", {{"handler", "I"}});
  jvm_->DefineMethod(cls, "fireClicked", "()V", [](JNIEnv*, jobject) { Log("FIRECLICKED"); });
  dll_ = ::LoadLibraryA(dllPath.c_str());
  if (!dll_) {
    Log("NATIVA FAILED LoadLibrary " + std::to_string(::GetLastError()));
    return false;
  }
  enable_ = ZQ_NATIVE(DesktopIndicator_nativeEnable, 16);
  disable_ = ZQ_NATIVE(DesktopIndicator_nativeDisable, 8);
  loadImage_ = ZQ_NATIVE(DesktopIndicator_nativeLoadImage, 12);
  freeImage_ = ZQ_NATIVE(DesktopIndicator_nativeFreeImage, 12);
  if (!enable_ || !disable_ || !loadImage_ || !freeImage_) {
    Log("NATIVA FAILED missing export");
    return false;
  }
  indicator_ = jvm_->NewInstance(cls);
  Log("NATIVA LOADED");
  return true;
}

void TNativaClient::Enable() {
  JNIEnv* env = jvm_->Env();
  globalsBefore_ = jvm_->LiveGlobalRefs();
  char system[MAX_PATH] = {};
  ::GetSystemDirectoryA(system, MAX_PATH);
  const std::string icons = std::string(system) + "\\shell32.dll";
  image_ = loadImage_(env, nullptr, jvm_->NewString(std::u16string(icons.begin(), icons.end())));
  enable_(env, indicator_, image_ == -1 ? 0 : image_, jvm_->NewString(u"Stand-in client"));
  Log("ENABLED");
}

// The library's indicator window of this process, or null.
HWND OwnIndicatorWindow() {
  HWND window = nullptr;
  DWORD pid = 0;
  while ((window = ::FindWindowExA(nullptr, window, "KorvelBackupWindowClass", "KorvelBackupWindow")) != nullptr)
    if (::GetWindowThreadProcessId(window, &pid) && pid == ::GetCurrentProcessId()) return window;
  return nullptr;
}

void TNativaClient::Disable() {
  JNIEnv* env = jvm_->Env();
  // The window this process got from the library, and its (indicator) thread.
  HWND window = OwnIndicatorWindow();
  HANDLE thread = window ? ::OpenThread(SYNCHRONIZE, FALSE, ::GetWindowThreadProcessId(window, nullptr)) : nullptr;
  disable_(env, indicator_);
  bool windowGone = false, threadEnded = false, handlerCleared = false;
  for (int i = 0; i < 1000 && !(windowGone && threadEnded && handlerCleared); ++i) {
    if (i) ::Sleep(10);
    windowGone = !window || !::IsWindow(window);
    threadEnded = thread && ::WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
    handlerCleared = jvm_->Field(indicator_, "handler").i == 0;
  }
  if (thread) ::CloseHandle(thread);
  if (image_ != -1) freeImage_(env, nullptr, image_);
  if (window && windowGone && threadEnded && handlerCleared)
    Log("INDICATOR GONE");
  else
    Log(std::string("INDICATOR LEFT") + (window ? "" : " no-window") + (windowGone ? "" : " window") +
        (threadEnded ? "" : " thread") + (handlerCleared ? "" : " handler"));
  Log("JNI violations=" + std::to_string(jvm_->Violations()) + " pins=" + std::to_string(jvm_->OpenPins()) +
      " globals=" + std::to_string(jvm_->LiveGlobalRefs() - globalsBefore_) +
      " attached=" + std::to_string(jvm_->attachCount) + " detached=" + std::to_string(jvm_->detachCount));
}

TNativaClient* gNativa = nullptr;  // set in Nativa mode

// Waits until the library's thread has created this process's indicator window.
bool WaitForIndicatorWindow() {
  for (int i = 0; i < 500; ++i, ::Sleep(10))
    if (OwnIndicatorWindow()) return true;
  return false;
}

void ShowClientWindow() {
  if (gNativa) {
    gNativa->Enable();
    if (Setting("ZQ_STANDIN_FRAME", "0") == "1" && WaitForIndicatorWindow()) CreateFrameWindow();
  } else {
    CreateClientWindow();
  }
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

  const std::string nativaPath = Setting("ZQ_STANDIN_NATIVA", "");
  TNativaClient nativa;
  if (!nativaPath.empty()) {
    if (!nativa.Load(nativaPath)) return 3;
    gNativa = &nativa;
  }

  gExitTimer = ::SetTimer(nullptr, 0, exitMs, OnTimer);
  if (wantWindow && windowDelay == 0) ShowClientWindow();
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
      ShowClientWindow();
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
  // The client disables its indicator before it exits.
  if (gNativa && wantWindow && !windowPending) gNativa->Disable();
  Log("EXIT");
  if (quit) ::CloseHandle(quit);
  return 0;
}

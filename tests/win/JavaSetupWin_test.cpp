// The runtime installer run for real: the launcher tests' stand-in program plays
// "JRE\Setup.exe", and the waits must keep this thread's messages flowing.
#include <gtest/gtest.h>

#include "JavaSetupHost_win.h"
#include "WinLauncher.h"
#include "WinPlatform.h"
#include "WinTestUtil.h"
#include "core/Fakes.h"

namespace {

constexpr UINT kEndInstaller = WM_APP + 1;
constexpr UINT kReleaseCleanup = WM_APP + 2;

HANDLE gInstallerQuit = nullptr;
HANDLE gCleanupFile = INVALID_HANDLE_VALUE;
int gDispatched = 0;

void ReleaseCleanup() {
  HANDLE h = ::InterlockedExchangePointer(&gCleanupFile, INVALID_HANDLE_VALUE);
  if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
}

HANDLE gTestDone = nullptr;

// A safety net: a wait that does not pump would otherwise hang the test for ever; this
// releases the file after 30 s so that the test ends (and fails on gDispatched).
DWORD WINAPI SafetyNet(LPVOID) {
  if (::WaitForSingleObject(gTestDone, 30000) == WAIT_TIMEOUT) ReleaseCleanup();
  return 0;
}

LRESULT CALLBACK TestProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == kEndInstaller) {
    ++gDispatched;
    ::SetEvent(gInstallerQuit);
    return 0;
  }
  if (m == kReleaseCleanup) {
    ++gDispatched;
    ReleaseCleanup();
    return 0;
  }
  return ::DefWindowProcA(w, m, wp, lp);
}

// The runtime shows up only after the installer has run; after the installer has ended
// the clean-up release is asked for through a message, which only a pumping wait delivers.
class TTestHost : public TWinJavaSetupHost {
 public:
  HWND window = nullptr;
  bool installed = false;
  std::string FindJavaw() override { return installed ? "C:\\jre\\bin\\javaw.exe" : ""; }
  void RunAndWait(const std::string& commandLine, const std::string& workDir) override {
    TWinJavaSetupHost::RunAndWait(commandLine, workDir);
    installed = true;
    ::PostMessageA(window, kReleaseCleanup, 0, 0);
  }
};

}  // namespace

TEST(TWinJavaSetupTest, InstallerRunsAndBothWaitsPumpMessages) {
  InstallWinSeams();
  InstallWinLauncher();
  TScriptedUi ui;
  seams::SetUi(&ui);
  wt::TTempDir root("jre");
  InstallDir = root.Path();
  ::CreateDirectoryA(root.File("JRE").c_str(), nullptr);
  ASSERT_TRUE(::CopyFileA(wt::WindowsPath(ZQ_STANDIN_EXE).c_str(), root.File("JRE\\Setup.exe").c_str(), FALSE));
  root.Write("JRE\\_ISDEL.EXE", "MZ");
  gCleanupFile = ::CreateFileA(root.File("JRE\\_ISDEL.EXE").c_str(), GENERIC_READ, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(gCleanupFile, INVALID_HANDLE_VALUE);

  const std::string event = "ZqTestInstallerQuit" + std::to_string(::GetCurrentProcessId());
  gInstallerQuit = ::CreateEventA(nullptr, TRUE, FALSE, event.c_str());
  ::SetEnvironmentVariableA("ZQ_STANDIN_LOG", root.File("installer.log").c_str());
  ::SetEnvironmentVariableA("ZQ_STANDIN_WINDOW", "0");
  ::SetEnvironmentVariableA("ZQ_STANDIN_QUIT_EVENT", event.c_str());
  ::SetEnvironmentVariableA("ZQ_STANDIN_EXIT_MS", "20000");

  WNDCLASSA wc = {};
  wc.lpfnWndProc = TestProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = "ZqJavaSetupTest";
  ::RegisterClassA(&wc);
  TTestHost host;
  host.window = ::CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
  ASSERT_TRUE(host.window);
  // The installer ends only when this message has been dispatched during its wait.
  ::PostMessageA(host.window, kEndInstaller, 0, 0);
  gTestDone = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE safety = ::CreateThread(nullptr, 0, SafetyNet, nullptr, 0, nullptr);

  EXPECT_TRUE(EnsureJavaRuntimeWith(host));

  EXPECT_EQ(gDispatched, 2);
  const std::string log = root.Read("installer.log");
  EXPECT_NE(log.find("CMD \"" + root.File("JRE\\Setup.EXE") + "\""), std::string::npos) << log;
  EXPECT_NE(log.find("CWD " + root.Path()), std::string::npos) << log;
  EXPECT_EQ(log.find("TIMEOUT"), std::string::npos) << log;  // ended by the event
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, "The Java Runtime Environment will now be installed.");

  ::SetEvent(gTestDone);
  ::WaitForSingleObject(safety, INFINITE);
  ::CloseHandle(safety);
  ::CloseHandle(gTestDone);
  ReleaseCleanup();
  ::DestroyWindow(host.window);
  ::CloseHandle(gInstallerQuit);
  for (const char* v : {"ZQ_STANDIN_LOG", "ZQ_STANDIN_WINDOW", "ZQ_STANDIN_QUIT_EVENT", "ZQ_STANDIN_EXIT_MS"})
    ::SetEnvironmentVariableA(v, nullptr);
  seams::SetUi(nullptr);
}

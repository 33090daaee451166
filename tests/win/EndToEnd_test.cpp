// ZqRunner.exe and the real Nativa.dll together: the stand-in client (installed as the
// private runtime's javaw.exe) has the library's desktop indicator create the client window,
// as the Java client does, and logs "FIRECLICKED" whenever the library calls fireClicked.
// What ZqRunner posts to bring the client forward must arrive there, once per request.
#include <gtest/gtest.h>

#include <vector>

#include "Messages.h"
#include "WinTestUtil.h"

namespace {

constexpr DWORD kWaitMs = 20000;

// The client window and the process that owns it (0 when there is none).
HWND ClientWindow(DWORD* owner = nullptr) {
  HWND w = ::FindWindowA(kClientWindowClass, kClientWindowTitle);
  if (owner) {
    *owner = 0;
    if (w) ::GetWindowThreadProcessId(w, owner);
  }
  return w;
}

class EndToEndTest : public ::testing::Test {
 protected:
  wt::TTempDir inst{"e2e"};
  std::string runner;
  std::string javaw;
  TKernelHandle quit;

  void SetUp() override {
    // A client window left by someone else would take the activation instead.
    ASSERT_EQ(ClientWindow(), nullptr);
    runner = inst.File("ZqRunner.exe");
    ASSERT_TRUE(::CopyFileA(wt::WindowsPath(ZQ_RUNNER_EXE).c_str(), runner.c_str(), FALSE));
    ::CreateDirectoryA(inst.File("java").c_str(), nullptr);
    ::CreateDirectoryA(inst.File("java\\bin").c_str(), nullptr);
    javaw = inst.File("java\\bin\\javaw.exe");
    ASSERT_TRUE(::CopyFileA(wt::WindowsPath(ZQ_STANDIN_EXE).c_str(), javaw.c_str(), FALSE));
    inst.Write("stash9.jar", "");
    inst.Write("connection.properties", "");
    // No scheduled hour: without the file every day at 19:00 would be, and a run at that
    // hour would see a scheduled backup of its own.
    inst.Write("zqbackup.properties", "scheduler.active=OFF\r\n");
    // Inherited by the stand-in, also when ZqRunner starts it.
    const std::string quitName = "ZqEndToEndQuit_" + std::to_string(::GetCurrentProcessId());
    quit.reset(::CreateEventA(nullptr, TRUE, FALSE, quitName.c_str()));
    ::SetEnvironmentVariableA("ZQ_STANDIN_NATIVA", wt::WindowsPath(ZQ_NATIVA_DLL).c_str());
    ::SetEnvironmentVariableA("ZQ_STANDIN_LOG", inst.File("standin.log").c_str());
    ::SetEnvironmentVariableA("ZQ_STANDIN_QUIT_EVENT", quitName.c_str());
    ::SetEnvironmentVariableA("ZQ_STANDIN_EXIT_MS", "120000");
    ::SetEnvironmentVariableA("ZQ_STANDIN_WINDOW", "1");
    ::SetEnvironmentVariableA("ZQ_STANDIN_WINDOW_DELAY_MS", "0");
  }
  void TearDown() override {
    ::SetEvent(quit.get());
    for (const char* name : {"ZQ_STANDIN_NATIVA", "ZQ_STANDIN_LOG", "ZQ_STANDIN_QUIT_EVENT", "ZQ_STANDIN_EXIT_MS",
                             "ZQ_STANDIN_WINDOW", "ZQ_STANDIN_WINDOW_DELAY_MS"})
      ::SetEnvironmentVariableA(name, nullptr);
  }

  std::vector<std::string> Log() const { return wt::Lines(inst.Read("standin.log")); }
  int Count(const std::string& line) const {
    int n = 0;
    for (const std::string& l : Log()) n += l == line;
    return n;
  }
  bool WaitForClicks(int n) const {
    return wt::WaitUntil([&] { return Count("FIRECLICKED") >= n; }, kWaitMs);
  }
  // Waits until the stand-in has its window from the library; returns it.
  HWND WaitForClientWindow(DWORD standinPid) const {
    HWND window = nullptr;
    wt::WaitUntil(
        [&] {
          DWORD owner = 0;
          window = ClientWindow(&owner);
          return window && owner == standinPid;
        },
        kWaitMs);
    return window;
  }
  // A second ZqRunner while the mutex is held: it hands over and ends.
  void RunSecondInstance() const {
    wt::TProcess second = wt::Start(runner, "", inst.Path());
    ASSERT_TRUE(second.process);
    EXPECT_EQ(second.Wait(kWaitMs), 0);
  }
  // Ends the stand-in as the client ends: it disables its indicator first. Everything
  // posted to the window before is handled before the library's destroy request (one
  // posted queue), so the log is complete afterwards.
  void EndClient(const wt::TProcess& client) const {
    ::SetEvent(quit.get());
    EXPECT_EQ(client.Wait(kWaitMs), 0);
    const std::vector<std::string> log = Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[log.size() - 3], "INDICATOR GONE") << "window, thread and handler field after nativeDisable";
    EXPECT_EQ(log[log.size() - 2], "JNI violations=0 pins=0 globals=0 attached=1 detached=1");
    EXPECT_EQ(log.back(), "EXIT");
    EXPECT_EQ(ClientWindow(), nullptr);
  }
};

// The client started on its own; this test holds the single-instance mutex in place of the
// first ZqRunner.
TEST_F(EndToEndTest, SecondRunnerInstanceReachesFireClicked) {
  wt::TProcess client = wt::Start(javaw, "-cp stash9.jar com.stowly.gui.RamBackup", inst.Path());
  ASSERT_TRUE(client.process);
  HWND window = WaitForClientWindow(client.pid);
  ASSERT_NE(window, nullptr) << ::testing::PrintToString(Log());
  EXPECT_FALSE(::IsWindowVisible(window));
  EXPECT_EQ(Count("FIRECLICKED"), 0);

  HANDLE held = ::CreateMutexA(nullptr, FALSE, kInstanceMutex);
  ASSERT_NE(held, nullptr);
  RunSecondInstance();
  ::CloseHandle(held);
  EXPECT_TRUE(WaitForClicks(1));

  EndClient(client);
  EXPECT_EQ(Count("FIRECLICKED"), 1);
}

// The real first instance starts the client on a tray double-click; a second double-click
// and a second ZqRunner each bring the running client forward through the library.
TEST_F(EndToEndTest, FirstInstanceStartsTheClientAndBothActivationsReachIt) {
  wt::TProcess first = wt::Start(runner, "-MIN", inst.Path());
  ASSERT_TRUE(first.process);
  HWND main = nullptr;
  ASSERT_TRUE(wt::WaitUntil(
      [&] {
        main = ::FindWindowA(kMainWindowClass, kMainWindowTitle);
        DWORD owner = 0;
        if (main) ::GetWindowThreadProcessId(main, &owner);
        return main && owner == first.pid;
      },
      kWaitMs));

  ::PostMessageA(main, WMAPP_RUNNER_TRAY, kActivateWParam, kActivateLParam);
  ASSERT_TRUE(wt::WaitUntil([] { return ClientWindow() != nullptr; }, kWaitMs)) << ::testing::PrintToString(Log());
  DWORD standin = 0;
  ClientWindow(&standin);  // ZqRunner started it: its process is found through its window
  ASSERT_NE(standin, first.pid) << "the window belongs to the started client";
  TKernelHandle clientProcess(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, standin));
  ASSERT_TRUE(clientProcess);
  wt::TProcess client;
  client.process = std::move(clientProcess);
  client.pid = standin;
  EXPECT_EQ(Count("FIRECLICKED"), 0);

  ::PostMessageA(main, WMAPP_RUNNER_TRAY, kActivateWParam, kActivateLParam);
  EXPECT_TRUE(WaitForClicks(1));
  RunSecondInstance();  // the first instance holds the mutex
  EXPECT_TRUE(WaitForClicks(2));

  EndClient(client);
  EXPECT_EQ(Count("FIRECLICKED"), 2);
  ::PostMessageA(main, WM_DESTROY, 0, 0);
  EXPECT_EQ(first.Wait(kWaitMs), 0);
}

}  // namespace

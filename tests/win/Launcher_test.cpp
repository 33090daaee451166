// The client run end to end under Wine: ZqRunner's launcher starts a stand-in client
// (tests/win/standin) that records the command line it received, so each test compares
// what the client really got with what it should get.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ClientCommand.h"
#include "ClientWindow.h"
#include "Globals.h"
#include "Launcher.h"
#include "MainWindow.h"
#include "Messages.h"
#include "Pending.h"
#include "RunThread.h"
#include "Snooze.h"
#include "WinLauncher.h"
#include "WinPlatform.h"
#include "WinTestUtil.h"
#include "core/Fakes.h"
#include "uRunnerResource.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

// Lines of the stand-in's log that start with `tag` + " ", without the tag.
std::vector<std::string> Tagged(const std::string& log, const std::string& tag) {
  std::vector<std::string> out;
  for (const auto& l : Lines(log))
    if (l.compare(0, tag.size() + 1, tag + " ") == 0) out.push_back(l.substr(tag.size() + 1));
  return out;
}

std::string Quoted(const std::string& path) {
  return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

// Stands in for MainWindow: records what the launcher posts and answers the tray
// double-click as the real window procedure does.
struct TFakeMainWindow {
  static std::vector<UINT>& Posted() {
    static std::vector<UINT> v;
    return v;
  }
  static std::vector<int>& NestedResults() {
    static std::vector<int> v;
    return v;
  }
  static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WMAPP_RUNNER_TRAY && l == static_cast<LPARAM>(kActivateLParam)) {
      NestedResults().push_back(StartClient(false, false, {}));
      return 0;
    }
    if (m >= WM_USER) Posted().push_back(m);
    return ::DefWindowProcA(h, m, w, l);
  }
  TFakeMainWindow() {
    Posted().clear();
    NestedResults().clear();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "ZqLauncherTestMain";
    ::RegisterClassA(&wc);
    MainWindow = ::CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                                   nullptr, nullptr, wc.hInstance, nullptr);
  }
  ~TFakeMainWindow() {
    ::DestroyWindow(MainWindow);
    MainWindow = nullptr;
  }
};

}  // namespace

// A test installation with the stand-in as the private runtime's javaw.exe and a dummy
// main jar; the launcher's globals point at it.
class LauncherTest : public ::testing::Test {
 protected:
  wt::TTempDir inst{"launch"};
  TScriptedUi ui;
  TFakeMainWindow mainWindow;
  std::string quitEventName;
  TKernelHandle quitEvent;

  void SetUp() override {
    InstallWinSeams();
    InstallWinLauncher();
    seams::SetUi(&ui);
    InstallDir = inst.Path();
    ProductName = "Stash9";
    CommandArgs.clear();
    LaunchCount = 1;
    LaunchInProgress = false;
    SnoozeCount = 0;
    ClientMemoryMB = 96;
    inst.Write("zqbackup.properties", "scheduler.dayswarning=4\r\napplication.memory=96\r\n");
    inst.Write("stash9.jar", "");
    InstallStandin("java\\bin\\javaw.exe");
    ::SetEnvironmentVariableA("ZQ_STANDIN_LOG", inst.File("standin.log").c_str());
    ::SetEnvironmentVariableA("ZQ_STANDIN_EXIT_MS", "10000");
    ::SetEnvironmentVariableA("ZQ_STANDIN_WINDOW", "0");
    ::SetEnvironmentVariableA("ZQ_STANDIN_WINDOW_DELAY_MS", "0");
    quitEventName = "ZqStandinQuit_" + std::to_string(::GetCurrentProcessId());
    quitEvent.reset(::CreateEventA(nullptr, TRUE, FALSE, quitEventName.c_str()));
    ::SetEnvironmentVariableA("ZQ_STANDIN_QUIT_EVENT", quitEventName.c_str());
  }
  void TearDown() override {
    ::SetEvent(quitEvent.get());
    seams::SetUi(nullptr);
  }

  void InstallStandin(const std::string& relative) {
    std::string dir = inst.Path();
    size_t pos = 0;
    while ((pos = relative.find('\\', pos)) != std::string::npos) {
      ::CreateDirectoryA((dir + "\\" + relative.substr(0, pos)).c_str(), nullptr);
      ++pos;
    }
    ASSERT_TRUE(::CopyFileA(wt::WindowsPath(ZQ_STANDIN_EXE).c_str(), inst.File(relative).c_str(),
                            FALSE));
  }

 public:
  // Lets the next client end as soon as it has recorded its command line.
  void QuickClient() { ::SetEnvironmentVariableA("ZQ_STANDIN_EXIT_MS", "1"); }
  // Read with write sharing: the stand-in may be appending at the same moment.
  std::string Log() const {
    TFileHandle f(::CreateFileA(inst.File("standin.log").c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr));
    std::string data;
    char buf[4096];
    DWORD got = 0;
    while (f && ::ReadFile(f.get(), buf, sizeof buf, &got, nullptr) && got) data.append(buf, got);
    return data;
  }
  void ClearLog() const { ::DeleteFileA(inst.File("standin.log").c_str()); }
  std::string LastCommand() const {
    const auto cmds = Tagged(Log(), "CMD");
    return cmds.empty() ? std::string() : cmds.back();
  }
  std::string Tail(const std::string& args) const {
    return " -Xmx96m -cp stash9.jar com.stowly.gui.RamBackup " +
           std::to_string(TotalMemoryMegabytes()) + args;
  }
  std::string PrivateJavaw() const { return Quoted(inst.File("java\\bin\\javaw.exe")); }
};

TEST_F(LauncherTest, EveryCallerPassesItsArguments) {
  QuickClient();
  struct {
    const char* caller;
    bool scheduled, backupNow;
    std::vector<std::string> extra;
    const char* args;
  } cases[] = {
      {"tray double-click", false, false, {}, ""},
      {"menu Backup now", false, true, {}, " -backupnow"},
      {"menu encrypt", false, false, {"-enc"}, " -enc"},
      {"menu decrypt", false, false, {"-dec"}, " -dec"},
      {"will-start Backup Now", true, true, {}, " -backupnow -s"},
      {"will-start countdown end", true, false, {}, " -s"},
      {"shutdown, no progress", true, true, {"-nogui"}, " -nogui"},
      {"shutdown, progress", true, true, {"-dialog"}, " -dialog"},
  };
  for (const auto& c : cases) {
    ClearLog();
    EXPECT_EQ(StartClient(c.scheduled, c.backupNow, c.extra), kClientRan) << c.caller;
    EXPECT_EQ(LastCommand(), PrivateJavaw() + Tail(c.args)) << c.caller;
    EXPECT_EQ(Tagged(Log(), "CWD"), std::vector<std::string>{InstallDir}) << c.caller;
  }
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_FALSE(LaunchInProgress);
}

TEST_F(LauncherTest, OnlyTheFirstRunWithoutMinGetsZqRunnersArguments) {
  QuickClient();
  CommandArgs = {"-x", "y"};
  LaunchCount = 0;
  StartClient(false, false, {});
  EXPECT_EQ(LastCommand(), PrivateJavaw() + Tail(" -x y"));
  EXPECT_EQ(LaunchCount, 1);
  EXPECT_EQ(LastTriggerSlot, CurrentSlotKey());
  StartClient(false, false, {});
  EXPECT_EQ(LastCommand(), PrivateJavaw() + Tail(""));
  EXPECT_EQ(LaunchCount, 2);

  CommandArgs = {"-Min"};
  LaunchCount = 0;
  StartClient(false, true, {});
  EXPECT_EQ(LastCommand(), PrivateJavaw() + Tail(" -backupnow"));
}

TEST_F(LauncherTest, MemoryOptionComesFromTheSettingsReadAfterEachRun) {
  QuickClient();
  inst.Write("zqbackup.properties", "scheduler.dayswarning=4\r\napplication.memory=128\r\n");
  StartClient(false, false, {});  // still the 96 read before
  EXPECT_EQ(LastCommand(), PrivateJavaw() + Tail(""));
  EXPECT_EQ(ClientMemoryMB, 128);
  StartClient(false, false, {});
  EXPECT_EQ(LastCommand(), PrivateJavaw() + " -Xmx128m -cp stash9.jar com.stowly.gui.RamBackup " +
                               std::to_string(TotalMemoryMegabytes()));
  // Not a whole number: no configured size, so the machine's memory decides (Wine's
  // machines have far more than 64 MB: no option).
  inst.Write("zqbackup.properties", "scheduler.dayswarning=4\r\napplication.memory=12x\r\n");
  StartClient(false, false, {});
  StartClient(false, false, {});
  EXPECT_EQ(LastCommand(), PrivateJavaw() + " -cp stash9.jar com.stowly.gui.RamBackup " +
                               std::to_string(TotalMemoryMegabytes()));
}

TEST_F(LauncherTest, ClientLauncherGetsThePrivateJavaHome) {
  QuickClient();
  InstallStandin("zqbackup.exe");
  StartClient(true, true, {});
  EXPECT_EQ(LastCommand(), Quoted(inst.File("zqbackup.exe")) + " -z \"" + inst.File("java") +
                               "\" " + Tail(" -backupnow -s"));
}

TEST_F(LauncherTest, HiddenJarsStayOffTheClassPath) {
  QuickClient();
  inst.Write("a.jar", "");
  inst.Write("secret.jar", "");
  ::SetFileAttributesA(inst.File("secret.jar").c_str(), FILE_ATTRIBUTE_HIDDEN);
  ::CreateDirectoryA(inst.File("dir.jar").c_str(), nullptr);
  const std::string jars = ListJars();
  // Enumeration order is the file system's; compare as a set.
  EXPECT_NE((";" + jars + ";").find(";a.jar;"), std::string::npos) << jars;
  EXPECT_NE((";" + jars + ";").find(";stash9.jar;"), std::string::npos) << jars;
  EXPECT_EQ(jars.find("secret"), std::string::npos) << jars;
  EXPECT_EQ(jars.find("dir.jar"), std::string::npos) << jars;
  EXPECT_EQ(jars.size(), std::string("a.jar;stash9.jar").size());
}

TEST_F(LauncherTest, MissingMainJarShowsTheWholeCommand) {
  ::DeleteFileA(inst.File("stash9.jar").c_str());
  inst.Write("other.jar", "");
  EXPECT_EQ(StartClient(false, false, {}), kClientNotStarted);
  ASSERT_EQ(ui.shown.size(), 1u);
  const std::string expected = PrivateJavaw() +
                               " -Xmx96m -cp other.jar com.stowly.gui.RamBackup " +
                               std::to_string(TotalMemoryMegabytes());
  EXPECT_EQ(ui.shown[0].text, "Stash9 " + InstallDir + "\\stash9.JAR " +
                                  GetText("RUNNER_program_not_found") + "\rCommand = \"" +
                                  expected + "\"");
  EXPECT_EQ(ui.shown[0].caption, "Message");
  EXPECT_EQ(Log(), "");
  EXPECT_FALSE(LaunchInProgress);
}

TEST_F(LauncherTest, WaitingUpdatePostsTheUpdateInsteadOfStarting) {
  inst.Write("NewVer.ZLib", "x");
  EXPECT_EQ(StartClient(false, true, {}), kClientUpdatePending);
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
  EXPECT_EQ(TFakeMainWindow::Posted(), std::vector<UINT>{WMAPP_RUNNER_UPDATE});
  EXPECT_EQ(Log(), "");
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(LauncherTest, OpenClientIsRaisedByTheUserButNotByTheSchedule) {
  ::SetEnvironmentVariableA("ZQ_STANDIN_WINDOW", "1");
  ASSERT_TRUE(RunProcess(PrivateJavaw() + " open", InstallDir, false));
  ASSERT_TRUE(wt::WaitUntil([] { return FindClientWindow() != nullptr; }, 10000));

  EXPECT_EQ(StartClient(true, false, {}), kClientNotStarted);
  EXPECT_EQ(StartClient(false, false, {}), kClientNotStarted);
  ASSERT_TRUE(wt::WaitUntil([&] { return !Tagged(Log(), "ACTIVATE").empty(); }, 10000));
  EXPECT_EQ(Tagged(Log(), "ACTIVATE"), std::vector<std::string>{"123 515"});
  EXPECT_EQ(Tagged(Log(), "CMD").size(), 1u);  // nothing new was started

  // The shut-down path closes the client ZqRunner started last.
  LaunchInProgress = true;
  CloseClientWindows();
  EXPECT_FALSE(LaunchInProgress);
  ASSERT_TRUE(wt::WaitUntil([&] { return !Tagged(Log(), "EXIT").empty() || Log().find("CLOSE") != std::string::npos; }, 10000));
  EXPECT_NE(Log().find("CLOSE"), std::string::npos);
}

TEST_F(LauncherTest, DoubleClickDuringARunIsIgnored) {
  // The client runs without a window until the test lets it go.
  ::SetEnvironmentVariableA("ZQ_STANDIN_EXIT_MS", "20000");
  struct TPoker : TThread {
    const LauncherTest* t;
    HANDLE quit;
    void Execute() override {
      // Once the client runs, double-click the tray, wait for the answer, end the client.
      while (Tagged(t->Log(), "CMD").empty() && !SleepOrCancel(20)) {}
      ::PostMessageA(MainWindow, WMAPP_RUNNER_TRAY, kTrayIconId, kActivateLParam);
      while (TFakeMainWindow::NestedResults().empty() && !SleepOrCancel(20)) {}
      ::SetEvent(quit);
    }
  } poker;
  poker.t = this;
  poker.quit = quitEvent.get();
  poker.Start();
  EXPECT_EQ(StartClient(false, false, {}), kClientRan);
  poker.Join();
  EXPECT_EQ(TFakeMainWindow::NestedResults(), std::vector<int>{kClientNotStarted});
  const std::string log = Log();
  EXPECT_EQ(Tagged(log, "CMD").size(), 1u) << log;
  EXPECT_NE(log.find("EVENT"), std::string::npos) << log;  // it ran until the test let it go
}

TEST_F(LauncherTest, ARunResetsTheSnoozeCount) {
  QuickClient();
  SnoozeLimit = 2;
  SnoozeCount = 2;
  EXPECT_FALSE(SnoozeAllowed());
  StartClient(true, false, {});
  EXPECT_EQ(SnoozeCount, 0);
  EXPECT_TRUE(SnoozeAllowed());
}

TEST_F(LauncherTest, NoRuntimeSaysSo) {
  // The launcher without a private runtime and with no registry home is no runtime;
  // the registry is left alone here, so it takes a machine without a Java runtime.
  ::DeleteFileA(inst.File("java\\bin\\javaw.exe").c_str());
  if (!FindJavaHome().empty()) GTEST_SKIP() << "a Java runtime is installed in this prefix";
  InstallStandin("zqbackup.exe");
  EXPECT_EQ(StartClient(false, false, {}), kClientNoRuntime);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, GetText("RUNNER_JRE_not_found"));
  EXPECT_EQ(Log(), "");
}

TEST(RunThreadTest, LockThreadWaitsForTheFileToBeFree) {
  wt::TTempDir dir("lock");
  dir.Write("_ISDEL.EXE", "x");
  TFileHandle held(::CreateFileA(dir.File("_ISDEL.EXE").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  TLockThread lock(dir.File("_ISDEL.EXE"));
  ::Sleep(300);
  EXPECT_FALSE(ThreadFinished(lock));  // cannot finish while the file is held
  held.reset();
  WaitPumping(lock, 1);
  EXPECT_TRUE(ThreadFinished(lock));

  TLockThread missing(dir.File("nothing.here"));
  WaitPumping(missing, 1);
  EXPECT_TRUE(ThreadFinished(missing));
}

TEST(RunThreadTest, RunThreadReportsAProcessThatCannotBeCreated) {
  InstallWinSeams();
  InstallWinLauncher();
  TRunThread run("Z:\\no\\such\\program.exe", "");
  WaitPumping(run, 5);
  EXPECT_EQ(run.Result(), 1);
  EXPECT_EQ(LastClientProcessId.load(), 0u);
}

TEST(RunThreadTest, PumpMessagesLeavesTheQuitMessageForTheLoop) {
  ::PostQuitMessage(7);
  PumpMessages();
  MSG msg;
  ASSERT_TRUE(::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
}

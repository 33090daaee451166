// The client run end to end under Wine: ZqRunner's launcher starts a stand-in client
// (tests/win/standin) that records the command line it received, so each test compares
// what the client really got with what it should get.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "BackupOnShutdown.h"
#include "ClientCommand.h"
#include "ClientWindow.h"
#include "DialogFit.h"
#include "DialogLayout.h"
#include "core/Fakes.h"
#include "Globals.h"
#include "JavaSetup.h"
#include "Launcher.h"
#include "MainWindow.h"
#include "Messages.h"
#include "RunThread.h"
#include "SchedUnit.h"
#include "Snooze.h"
#include "WinLauncher.h"
#include "WinPlatform.h"
#include "WinRegistry.h"
#include "WinTestUtil.h"
#include "uRunnerResource.h"

namespace {

// Lines of the stand-in's log that start with `tag` + " ", without the tag.
std::vector<std::string> Tagged(const std::string& log, const std::string& tag) {
  std::vector<std::string> out;
  for (const auto& l : wt::Lines(log))
    if (l.compare(0, tag.size() + 1, tag + " ") == 0) out.push_back(l.substr(tag.size() + 1));
  return out;
}

// How many lines of the log are exactly `line`.
size_t Count(const std::string& log, const std::string& line) {
  size_t n = 0;
  for (const auto& l : wt::Lines(log)) n += l == line;
  return n;
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
    // The sample installation's English texts.
    const char* source = std::getenv("ZQ_SOURCE_DIR");
    if (source)
      InitTextTable(wt::WindowsPath(std::string(source) + "/sample/install/resource.properties"),
                    0x0409);
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
  // Stops the clock for the countdowns (static: a countdown thread may outlive the test).
  static void FreezeClock() {
    static TFakeClock frozen;
    seams::SetClock(&frozen);
  }
  std::string Log() const { return inst.Read("standin.log"); }
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
  TFakeClock clock;  // the run ends in this hour, whatever the real one
  clock.now = EncodeDateTime({2026, 12, 7, 19, 30, 0, 0});
  seams::SetClock(&clock);
  LastTriggerSlot = -1;  // an earlier run's hour, by the real clock, may be later
  ::SetEnvironmentVariableA("ZQ_STANDIN_TOUCH", "1");  // a backup that records its success
  StartClient(false, false, {});
  ::SetEnvironmentVariableA("ZQ_STANDIN_TOUCH", nullptr);
  EXPECT_EQ(LastCommand(), PrivateJavaw() + Tail(" -x y"));
  // The client runs in InstallDir: its relative file lands there.
  EXPECT_EQ(inst.Read("lastbackup.idx"), "standin\r\n");
  EXPECT_EQ(LaunchCount, 1);
  EXPECT_EQ(LastTriggerSlot, HourNumberOf(clock.now));
  InstallWinSeams();
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
  // A failed run restores the idle state too: flag, tip and the normal menu.
  EXPECT_FALSE(LaunchInProgress);
  EXPECT_EQ(GetTrayTip(), ScheduleNextBackupText());
  EXPECT_GT(::GetMenuItemCount(TrayMenu()), 1);
}

// A start that fails for a passing reason is tried again; a missing program is not.
TEST_F(LauncherTest, FailedStartIsTriedAgainUnlessTheProgramIsMissing) {
  struct TScriptedLauncher : IProcessLauncher {
    std::vector<uint32_t> errors;  // one per start; 0 starts
    size_t calls = 0;
    TProcessResult Start(const std::string&, const std::string&, bool) override {
      TProcessResult r;
      r.error = calls < errors.size() ? errors[calls] : 0;
      r.started = r.error == 0;
      r.processId = r.started ? 4242 : 0;
      ++calls;
      return r;
    }
  };
  const struct {
    std::vector<uint32_t> errors;
    bool started;
    size_t calls;
  } cases[] = {
      {{ERROR_INTERNAL_ERROR, 0}, true, 2},  // Wine lost the new process once
      {{ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED, 0}, true, 3},
      {{ERROR_NOT_ENOUGH_MEMORY, ERROR_NOT_ENOUGH_MEMORY, ERROR_NOT_ENOUGH_MEMORY, 0}, false, 3},
      {{ERROR_FILE_NOT_FOUND, 0}, false, 1},
      {{ERROR_PATH_NOT_FOUND, 0}, false, 1},
      {{ERROR_BAD_EXE_FORMAT, 0}, false, 1},
  };
  const DWORD pause = StartRetryPauseMs;
  StartRetryPauseMs = 1;
  for (const auto& c : cases) {
    TScriptedLauncher launcher;
    launcher.errors = c.errors;
    seams::SetLauncher(&launcher);
    LastClientProcessId = 1;
    EXPECT_EQ(RunProcess("x.exe", InstallDir, true), c.started) << c.errors[0];
    EXPECT_EQ(launcher.calls, c.calls) << c.errors[0];
    EXPECT_EQ(LastClientProcessId.load(), c.started ? 4242u : 0u) << c.errors[0];
  }
  StartRetryPauseMs = pause;
  InstallWinLauncher();
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
  // (Closing the client on the shut-down path: ClosingTheClientReachesItsFrameNotNativasWindow.
  // This client's only window is the client window itself, which is never closed.)
}

namespace {
std::string Classes(const std::vector<HWND>& windows) {
  std::string text;
  for (HWND w : windows) {
    char cls[64] = {};
    ::GetClassNameA(w, cls, sizeof cls);
    text += std::string(cls) + (::IsWindowVisible(w) ? "(visible) " : " ");
  }
  return text;
}
}  // namespace

// The Java client owns several top-level windows, among them the hidden indicator window
// that Nativa.dll creates before the client's frame (and, under Wine as on Windows, a
// hidden "IME" window per thread). Closing the client before the backup on shut-down must
// reach the frame, also when the client has hidden it in the tray: a WM_CLOSE to the
// indicator window leaves the client running and takes away the sign that it runs. Which
// of them comes first in the Z order is Windows' business; here the indicator window is
// put on top. A client with no window but the indicator is left alone.
TEST_F(LauncherTest, ClosingTheClientReachesItsFrameNotNativasWindow) {
  enum TFrame { kVisible, kHidden, kNone };
  for (TFrame frame : {kVisible, kHidden, kNone}) {
    SCOPED_TRACE(frame == kVisible ? "visible frame" : frame == kHidden ? "hidden frame" : "no frame");
    ClearLog();
    ::SetEnvironmentVariableA("ZQ_STANDIN_NATIVA", wt::WindowsPath(ZQ_NATIVA_DLL).c_str());
    ::SetEnvironmentVariableA("ZQ_STANDIN_WINDOW", "1");
    ::SetEnvironmentVariableA("ZQ_STANDIN_FRAME", frame == kNone ? "0" : "1");
    ::SetEnvironmentVariableA("ZQ_STANDIN_EXIT_MS", frame == kNone ? "4000" : "60000");
    const bool started = RunProcess(PrivateJavaw() + " open", InstallDir, false);
    for (const char* name : {"ZQ_STANDIN_NATIVA", "ZQ_STANDIN_FRAME"}) ::SetEnvironmentVariableA(name, nullptr);
    ASSERT_TRUE(started);
    const DWORD client = LastClientProcessId.load();
    HWND indicator = nullptr;
    ASSERT_TRUE(wt::WaitUntil([&] { return (indicator = FindClientWindow()) != nullptr; }, 20000)) << Log();
    if (frame != kNone) ASSERT_TRUE(wt::WaitUntil([&] { return Count(Log(), "FRAME") == 1; }, 20000)) << Log();
    DWORD owner = 0;
    ::GetWindowThreadProcessId(indicator, &owner);
    ASSERT_EQ(owner, client) << "the client's own indicator window";
    if (frame == kHidden) {
      for (HWND w : wt::WindowsOf(owner))
        if (::IsWindowVisible(w)) ::ShowWindow(w, SW_HIDE);
    }
    ASSERT_TRUE(::SetWindowPos(indicator, HWND_TOP, 0, 0, 0, 0,
                               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE));
    const std::vector<HWND> windows = wt::WindowsOf(owner);
    ASSERT_FALSE(windows.empty());
    ASSERT_EQ(windows[0], indicator) << Classes(windows);

    LaunchInProgress = true;
    CloseClientWindows();
    if (frame == kNone) {
      // Nothing to close: the indicator stays, and with it the sign that the client runs.
      EXPECT_TRUE(LaunchInProgress);
      EXPECT_EQ(FindClientWindow(), indicator);
      ASSERT_TRUE(wt::WaitUntil([&] { return Count(Log(), "EXIT") == 1; }, 15000)) << Log();
      EXPECT_EQ(Count(Log(), "TIMEOUT"), 1u) << "it ran until its own time was up";
      LaunchInProgress = false;
      continue;
    }
    EXPECT_FALSE(LaunchInProgress);
    // The frame's WM_CLOSE ends the client, which disables its indicator on the way out.
    ASSERT_TRUE(wt::WaitUntil([&] { return Count(Log(), "EXIT") == 1; }, 15000)) << Log();
    const std::string log = Log();
    EXPECT_EQ(Count(log, "CLOSE"), 1u) << log;
    EXPECT_EQ(Count(log, "INDICATOR GONE"), 1u) << log;
    EXPECT_EQ(Count(log, "TIMEOUT") + Count(log, "EVENT"), 0u) << log;
  }
}

TEST_F(LauncherTest, DoubleClickDuringARunIsIgnored) {
  // The client runs without a window until the test lets it go.
  ::SetEnvironmentVariableA("ZQ_STANDIN_EXIT_MS", "20000");
  struct TPoker : TThread {
    const LauncherTest* t;
    HANDLE quit;
    std::string tipDuringRun;
    void Execute() override {
      // Once the client runs, double-click the tray, wait for the answer, end the client.
      while (Tagged(t->Log(), "CMD").empty() && !SleepOrCancel(20)) {}
      tipDuringRun = GetTrayTip();
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
  EXPECT_EQ(poker.tipDuringRun, "Stash9 (backing up)");
  EXPECT_EQ(GetTrayTip(), ScheduleNextBackupText());
  const std::string log = Log();
  EXPECT_EQ(Tagged(log, "CMD").size(), 1u) << log;
  EXPECT_EQ(Count(log, "EVENT"), 1u) << log;  // it ran until the test let it go
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

using wt::Child;
using wt::TextOf;

// Runs `check` with the sample installation's English and German texts at 96, 144 and 192
// DPI (the DPI the layout uses, set through SetDpiOverride), then gives the screen's back.
static void ForEachLanguageAndDpi(const std::function<void(uint16_t language, int dpi)>& check) {
  const char* source = std::getenv("ZQ_SOURCE_DIR");
  ASSERT_TRUE(source);
  for (const uint16_t language : {0x0409, 0x0407}) {
    InitTextTable(wt::WindowsPath(std::string(source) + "/sample/install/resource.properties"),
                  language);
    for (const int dpi : {96, 144, 192}) {
      SCOPED_TRACE("language " + std::to_string(language) + ", " + std::to_string(dpi) + " DPI");
      SetDpiOverride(dpi);
      check(language, dpi);
    }
  }
  SetDpiOverride(0);
}

class WillStartWarningTest : public LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    QuickClient();
    FillSnoozeChoices();
    CancelAllowed = true;
    SnoozeLimit = 3;
    SnoozeCount = 0;
    SnoozeActive = false;
  }
  void TearDown() override {
    if (CurrentDialog) ::DestroyWindow(CurrentDialog);
    ResetSnoozeForClientRun();  // ends a snooze a test started
    LauncherTest::TearDown();
  }
};

TEST_F(WillStartWarningTest, CountdownEndStartsTheScheduledBackupOnly) {
  ShowWillStartWarning();
  ASSERT_TRUE(CurrentDialog);
  HWND dialog = CurrentDialog;
  EXPECT_EQ(TextOf(dialog), "Stash9");
  // What the countdown thread sends when the time is up.
  ::SendMessageA(dialog, WM_COMMAND, 105, 0);
  EXPECT_FALSE(::IsWindow(dialog));
  EXPECT_EQ(CurrentDialog, nullptr);
  EXPECT_EQ(LastCommand(), PrivateJavaw() + Tail(" -s"));
}

TEST_F(WillStartWarningTest, BackupNowPassesBothAndTheCountShowsInTheLabel) {
  FreezeClock();
  ShowWillStartWarning();
  ASSERT_TRUE(CurrentDialog);
  HWND label = Child(CurrentDialog, 102, "Static");
  HWND button = Child(CurrentDialog, 102, "Button");
  ASSERT_TRUE(label && button);
  // The countdown's messages go to item 102, which is the label (created first).
  ASSERT_TRUE(wt::WaitUntil([&] { return TextOf(label) != "....."; }, 5000));
  EXPECT_EQ(TextOf(label), "The backup will start in 60 seconds.");
  EXPECT_EQ(TextOf(button), GetText("RUNNER_Backup_Now"));
  ::SendMessageA(button, BM_CLICK, 0, 0);
  EXPECT_EQ(CurrentDialog, nullptr);
  EXPECT_EQ(LastCommand(), PrivateJavaw() + Tail(" -backupnow -s"));
}

TEST_F(WillStartWarningTest, SnoozeLimitDisablesSnoozeAndTheList) {
  struct {
    int limit, taken;
    bool cancelAllowed;
    bool snoozeEnabled;
  } cases[] = {{2, 2, true, false}, {2, 1, false, true}, {0, 0, true, false}, {3, 0, false, true}};
  for (const auto& c : cases) {
    SnoozeLimit = c.limit;
    SnoozeCount = c.taken;
    CancelAllowed = c.cancelAllowed;
    ShowWillStartWarning();
    ASSERT_TRUE(CurrentDialog);
    EXPECT_EQ(::IsWindowEnabled(Child(CurrentDialog, 104, "Button")) != FALSE, c.snoozeEnabled);
    HWND list = Child(CurrentDialog, 106, "ComboBox");
    EXPECT_EQ(::IsWindowEnabled(list) != FALSE, c.snoozeEnabled);
    EXPECT_EQ(::IsWindowEnabled(Child(CurrentDialog, 103, "Button")) != FALSE, c.cancelAllowed);
    // Without cancelling there is no system menu, hence no close box.
    EXPECT_EQ((::GetWindowLongA(CurrentDialog, GWL_STYLE) & WS_SYSMENU) != 0, c.cancelAllowed);
    EXPECT_EQ(::SendMessageA(list, CB_GETCOUNT, 0, 0), 5);
    EXPECT_EQ(::SendMessageA(list, CB_GETCURSEL, 0, 0), 0);
    ::DestroyWindow(CurrentDialog);
    EXPECT_EQ(CurrentDialog, nullptr);
  }
  EXPECT_EQ(Log(), "");
}

// With a limit of two snoozes: the second snooze uses the limit up, so the warning that
// comes back offers neither Snooze nor its list; a client run gives the snoozes back and
// ends a snooze still counting, whose warning then never comes back.
TEST_F(WillStartWarningTest, SnoozeLimitAndARunThatGivesTheSnoozesBack) {
  SnoozeLimit = 2;
  SnoozeCount = 1;
  ShowWillStartWarning();
  ASSERT_TRUE(CurrentDialog);
  ::SendMessageA(Child(CurrentDialog, 106, "ComboBox"), CB_SETCURSEL, 4, 0);  // 2 hours
  ::SendMessageA(Child(CurrentDialog, 104, "Button"), BM_CLICK, 0, 0);
  EXPECT_EQ(CurrentDialog, nullptr);
  EXPECT_TRUE(SnoozeRunning());

  // The warning again (as the snooze's end brings it): Snooze is used up.
  ShowWillStartWarning();
  ASSERT_TRUE(CurrentDialog);
  EXPECT_FALSE(::IsWindowEnabled(Child(CurrentDialog, 104, "Button")));
  EXPECT_FALSE(::IsWindowEnabled(Child(CurrentDialog, 106, "ComboBox")));
  ::SendMessageA(CurrentDialog, WM_COMMAND, 105, 0);  // the countdown ends: a client run
  EXPECT_EQ(LastCommand(), PrivateJavaw() + Tail(" -s"));

  // The two-hour snooze ends silently: its warning does not come back.
  ASSERT_TRUE(wt::WaitUntil([] { return !SnoozeRunning(); }, 5000));
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
  EXPECT_EQ(std::count(TFakeMainWindow::Posted().begin(), TFakeMainWindow::Posted().end(),
                       static_cast<UINT>(WMAPP_RUNNER_SNOOZE_START)),
            0);
  ShowWillStartWarning();
  ASSERT_TRUE(CurrentDialog);
  EXPECT_TRUE(::IsWindowEnabled(Child(CurrentDialog, 104, "Button")));
  EXPECT_TRUE(::IsWindowEnabled(Child(CurrentDialog, 106, "ComboBox")));
  // Two snoozes again before the limit.
  ::SendMessageA(Child(CurrentDialog, 104, "Button"), BM_CLICK, 0, 0);
  ShowWillStartWarning();
  ASSERT_TRUE(CurrentDialog);
  EXPECT_TRUE(::IsWindowEnabled(Child(CurrentDialog, 104, "Button")));
}

TEST_F(WillStartWarningTest, ControlsSitWhereTheLayoutPutsThem) {
  ShowWillStartWarning();
  HWND d = CurrentDialog;
  ASSERT_TRUE(d);
  EXPECT_TRUE(wt::DialogSizeIs(d, 300, 70, 0x10080842));
  EXPECT_TRUE(wt::ControlAt(d, Child(d, 102, "Static"), {0, 10, 300, 20})) << "label";
  EXPECT_TRUE(wt::ControlAt(d, Child(d, 102, "Button"), {25, 30, 65, 16})) << "Backup Now";
  EXPECT_TRUE(wt::ControlAt(d, Child(d, 103, "Button"), {95, 30, 60, 16})) << "Cancel";
  EXPECT_TRUE(wt::ControlAt(d, Child(d, 104, "Button"), {160, 30, 60, 16})) << "Snooze";
  EXPECT_TRUE(wt::ControlAt(d, Child(d, 105, "Static"), {223, 32, 10, 10})) << "for";
  EXPECT_TRUE(wt::ControlAt(d, Child(d, 106, "ComboBox"), {235, 31, 40, 200})) << "duration";
}

// Cancel, Esc and the close message (Alt+F4, or another program posting it) end the warning
// where cancelling is allowed, and none of them where it is not: the countdown goes on.
// At 96 DPI as the template gives it (above); at 144 and 192 DPI scaled with the screen, and
// no control overlaps another, every label's text fitting it, in English and in German.
TEST_F(WillStartWarningTest, LaidOutAtEveryDpi) {
  int width96 = 0;
  ForEachLanguageAndDpi([&](uint16_t language, int dpi) {
    ShowWillStartWarning();
    HWND d = CurrentDialog;
    ASSERT_TRUE(d);
    if (dpi == 96 && language == 0x0409) width96 = wt::ClientWidth(d);
    if (language == 0x0409) EXPECT_NEAR(wt::ClientWidth(d), width96 * dpi / 96, 2);
    // The label as the countdown fills it.
    ::SendMessageA(d, WMAPP_RUNNER_COUNTDOWN, 60, 0);
    EXPECT_TRUE(wt::LaidOutCleanly(d));
    ::DestroyWindow(d);
  });
}

// Moved to a monitor of another DPI (WM_DPICHANGED), it is laid out anew for that DPI,
// centred where Windows suggests.
TEST_F(WillStartWarningTest, MovedToAMonitorOfAnotherDpi) {
  ShowWillStartWarning();
  HWND d = CurrentDialog;
  ASSERT_TRUE(d);
  const int width = wt::ClientWidth(d);
  RECT suggested = {100, 100, 900, 500};
  ::SendMessageA(d, 0x02E0, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_NEAR(wt::ClientWidth(d), 2 * width, 2);
  RECT w;
  ::GetWindowRect(d, &w);
  EXPECT_NEAR((w.left + w.right) / 2, 500, 1);
  EXPECT_NEAR((w.top + w.bottom) / 2, 300, 1);
  EXPECT_TRUE(wt::LaidOutCleanly(d));
}

TEST_F(WillStartWarningTest, CancelEscAndCloseOnlyWhereCancellingIsAllowed) {
  enum TWay { kCancelButton, kEsc, kClose, kPostedClose };
  for (const bool allowed : {true, false}) {
    for (const TWay way : {kCancelButton, kEsc, kClose, kPostedClose}) {
      SCOPED_TRACE(std::string(allowed ? "allowed" : "forbidden") + ", way " + std::to_string(way));
      CancelAllowed = allowed;
      ShowWillStartWarning();
      HWND d = CurrentDialog;
      ASSERT_TRUE(d);
      if (way == kCancelButton) ::SendMessageA(d, WM_COMMAND, 103, 0);
      if (way == kEsc) wt::PressKey(d, VK_ESCAPE);
      if (way == kClose) ::SendMessageA(d, WM_CLOSE, 0, 0);
      if (way == kPostedClose) ::PostMessageA(d, WM_CLOSE, 0, 0);
      wt::PumpWaiting();
      EXPECT_EQ(::IsWindow(d) != FALSE, !allowed && way != kCancelButton);
      EXPECT_EQ(CurrentDialog == d, ::IsWindow(d) != FALSE);
      if (::IsWindow(d)) ::DestroyWindow(d);
    }
  }
  EXPECT_EQ(Log(), "");
}

// Every control that can be worked is a tab stop, in reading order; the warning comes up
// over the program the user types in without taking its keys, and once the user turns to
// it the focus is on Backup Now.
TEST_F(WillStartWarningTest, KeyboardTabOrderAndNoStolenFocus) {
  const struct {
    bool cancelAllowed;
    int snoozeLimit;
    std::vector<int> tabs;
  } cases[] = {
      {true, 3, {102, 103, 104, 106}},
      {false, 3, {102, 104, 106}},
      {false, 0, {102}},
  };
  for (const auto& c : cases) {
    CancelAllowed = c.cancelAllowed;
    SnoozeLimit = c.snoozeLimit;
    wt::TTypingWindow typing;
    ASSERT_EQ(::GetFocus(), typing.get());
    ShowWillStartWarning();
    HWND d = CurrentDialog;
    ASSERT_TRUE(d);
    wt::PumpWaiting();
    EXPECT_TRUE(::IsWindowVisible(d));
    EXPECT_NE(::GetWindowLongA(d, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(::GetFocus(), typing.get()) << "the keys stay with the other program";
    EXPECT_NE(::GetActiveWindow(), d);
    EXPECT_EQ(wt::TabOrder(d), c.tabs);
    ::SetForegroundWindow(d);  // the user clicks it
    wt::PumpWaiting();
    EXPECT_EQ(::GetFocus(), Child(d, 102, "Button"));
    ::DestroyWindow(d);
  }
}

// The session end as Windows receives it: this executable's import of user32!ExitWindowsEx
// records the flags (the real call would end every program of the Wine prefix), and the
// program's own session seam runs.
static std::vector<unsigned> gEnds;
static BOOL WINAPI RecordExitWindowsEx(UINT flags, DWORD) {
  gEnds.push_back(flags);
  return TRUE;
}
// GetVersion of Windows 98 (the top bit: not the NT family) and of Windows XP.
static DWORD WINAPI Windows98Version() { return 0xC0000A04; }
static DWORD WINAPI WindowsXpVersion() { return 0x0A280105; }
// Threads started meanwhile, each with a handle of the test's own to wait on.
static std::vector<TKernelHandle> gStarted;
static HANDLE WINAPI RecordCreateThread(SECURITY_ATTRIBUTES* sa, SIZE_T stack,
                                        LPTHREAD_START_ROUTINE start, void* arg, DWORD flags, DWORD* id) {
  HANDLE h = ::CreateRemoteThread(::GetCurrentProcess(), sa, stack, start, arg, flags, id);
  gStarted.emplace_back(::OpenThread(SYNCHRONIZE, FALSE, *id));  // TThread always asks the id
  return h;
}

class ShutdownDialogTest : public LauncherTest {
 protected:
  wt::THookedImport exitWindows{"user32.dll", "ExitWindowsEx", &RecordExitWindowsEx};
  void SetUp() override {
    LauncherTest::SetUp();
    ASSERT_TRUE(exitWindows) << "no session end may reach Wine";
    gEnds.clear();
    InstallSessionSeam();
  }
  void TearDown() override {
    if (HWND d = Dialog()) ::DestroyWindow(d);
    seams::SetSession(nullptr);
    LauncherTest::TearDown();
  }
  static HWND Dialog() { return ::FindWindowA("#32770", "Shutting down"); }
};

TEST_F(ShutdownDialogTest, RestartButtonCountsDownAndRestarts) {
  FreezeClock();
  ShowShutdownDialog();
  HWND dialog = Dialog();
  ASSERT_TRUE(dialog);
  EXPECT_EQ(TextOf(Child(dialog, 20, "Static")), GetText("RUNNER_Win_Shutdown"));
  HWND restart = Child(dialog, 102, "Button");
  ASSERT_TRUE(restart);
  ASSERT_TRUE(wt::WaitUntil([&] { return TextOf(restart) != "Restart"; }, 5000));
  EXPECT_EQ(TextOf(restart), "Restart 10");
  // The close box and Esc lead to IDCANCEL, which does nothing: it cannot be dismissed.
  ::SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  ::SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(::IsWindow(dialog));
  EXPECT_TRUE(gEnds.empty());
  ::SendMessageA(restart, BM_CLICK, 0, 0);
  EXPECT_FALSE(::IsWindow(dialog));
  EXPECT_EQ(gEnds, std::vector<unsigned>{0x12});
}

// Both ways out of the dialog end the session so that other programs are asked to close
// (EWX_FORCEIFHUNG, 0x10) and can keep the user's unsaved work; EWX_FORCE (4) would kill
// them without asking.
TEST_F(ShutdownDialogTest, EveryWayOutAsksTheOtherProgramsToClose) {
  const struct {
    const char* what;
    bool restart, ntFamily;
    unsigned flags;
  } cases[] = {
      {"Restart, NT family", true, true, 0x12},     // EWX_REBOOT
      {"Restart, 95 family", true, false, 0x12},
      {"count ends, NT family", false, true, 0x18},  // EWX_POWEROFF
      {"count ends, 95 family", false, false, 0x11}, // EWX_SHUTDOWN
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    gEnds.clear();
    gStarted.clear();
    wt::THookedImport version("kernel32.dll", "GetVersion", c.ntFamily ? &WindowsXpVersion : &Windows98Version);
    wt::THookedImport threads("kernel32.dll", "CreateThread", &RecordCreateThread);
    ShowShutdownDialog();
    HWND dialog = Dialog();
    ASSERT_TRUE(dialog && threads && version);
    if (c.restart)
      ::SendMessageA(Child(dialog, 102, "Button"), BM_CLICK, 0, 0);
    else
      ::SendMessageA(dialog, WM_COMMAND, 222, 0);  // what the countdown sends at its end
    EXPECT_FALSE(::IsWindow(dialog));
    EXPECT_EQ(gEnds, std::vector<unsigned>{c.flags});
    // Its countdown thread ends with the dialog, long before its 10 seconds, without sending.
    ASSERT_EQ(gStarted.size(), 1u);
    EXPECT_EQ(::WaitForSingleObject(gStarted[0].get(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(gEnds.size(), 1u);
  }
}

TEST_F(ShutdownDialogTest, ControlsSitWhereTheLayoutPutsThem) {
  ShowShutdownDialog();
  HWND d = Dialog();
  ASSERT_TRUE(d);
  EXPECT_TRUE(wt::DialogSizeIs(d, 200, 60, 0x10080840));
  EXPECT_TRUE(wt::ControlAt(d, Child(d, 20, "Static"), {0, 5, 200, 10})) << "message";
  EXPECT_TRUE(wt::ControlAt(d, Child(d, 102, "Button"), {70, 25, 60, 16})) << "Restart";
}

// The German message, longer than its line, grows the label and the dialog instead of being
// cut; at 144 and 192 DPI nothing overlaps and every text fits; Restart is the one tab stop.
TEST_F(ShutdownDialogTest, LongerTextsAndEveryDpi) {
  ForEachLanguageAndDpi([](uint16_t, int) {
    ShowShutdownDialog();
    HWND d = ::FindWindowA("#32770", GetText("RUNNER_Win_Shutdown_Caption").c_str());
    ASSERT_TRUE(d);
    EXPECT_TRUE(wt::LaidOutCleanly(d));
    EXPECT_EQ(wt::TabOrder(d), std::vector<int>{102});
    ::DestroyWindow(d);
  });
}

TEST_F(ShutdownDialogTest, QueryWithoutPromptOrProgressBacksUpQuietlyThenPowersOff) {
  // The real main window, driven as Windows would drive it.
  ::DestroyWindow(MainWindow);
  MainWindow = nullptr;
  RegisterMainWindowClass();
  ASSERT_TRUE(CreateMainWindow());
  WindowCalls.shutdownCloseWaitMs = 0;
  QuickClient();
  BackupOnShutdown = true;
  ShutdownPrompt = false;
  ShutdownProgress = false;
  ShutdownHandled = false;

  EXPECT_EQ(::SendMessageA(MainWindow, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
  EXPECT_EQ(Log(), "");  // a log-off is never held
  EXPECT_EQ(::SendMessageA(MainWindow, WM_QUERYENDSESSION, 0, 0), FALSE);
  // The refusal posted the backup request; it runs the client, then opens the dialog,
  // whose countdown ends the session after 10 seconds.
  ASSERT_TRUE(wt::WaitUntil([&] { return !gEnds.empty(); }, 20000));
  EXPECT_EQ(LastCommand(), PrivateJavaw() + Tail(" -nogui"));
  EXPECT_EQ(Tagged(Log(), "CMD").size(), 1u);
  EXPECT_EQ(gEnds, std::vector<unsigned>{0x18});
  EXPECT_EQ(Dialog(), nullptr);
  // Handled now: the next query goes through.
  EXPECT_EQ(::SendMessageA(MainWindow, WM_QUERYENDSESSION, 0, 0), TRUE);
  WindowCalls = DefaultWindowCalls();
}

// HKEY_LOCAL_MACHINE is redirected, for this test process only, to a key below HKCU, so
// the runtime entries are the test's own and the machine's registry is never touched.
class JavaRegistryTest : public LauncherTest {
 protected:
  std::string keyPath;
  HKEY fakeMachine = nullptr;

  void SetUp() override {
    LauncherTest::SetUp();
    QuickClient();
    keyPath = "Software\\ZqLauncherTest\\Machine" + std::to_string(::GetCurrentProcessId());
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &fakeMachine, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegOverridePredefKey(HKEY_LOCAL_MACHINE, fakeMachine), ERROR_SUCCESS);
  }
  void TearDown() override {
    ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    ::RegCloseKey(fakeMachine);
    wt::DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\ZqLauncherTest");
    LauncherTest::TearDown();
  }
  // A runtime entry; `home` empty = no JavaHome value.
  void AddRuntime(const std::string& version, const std::string& home, DWORD type = REG_SZ) {
    HKEY key = nullptr;
    const std::string path = "Software\\JavaSoft\\Java Runtime Environment\\" + version;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (!home.empty())
      ::RegSetValueExA(key, "JavaHome", 0, type, reinterpret_cast<const BYTE*>(home.c_str()),
                       static_cast<DWORD>(home.size() + 1));
    ::RegCloseKey(key);
  }
  std::string Dir(const std::string& name) {
    ::CreateDirectoryA(inst.File(name).c_str(), nullptr);
    return inst.File(name);
  }
};

TEST_F(JavaRegistryTest, HighestVersionKeyWins) {
  EXPECT_EQ(FindJavaHome(), "");  // no key at all
  AddRuntime("1.3.1", Dir("jre131"));
  AddRuntime("1.4.2_06", Dir("jre14206"));
  AddRuntime("1.4.2", Dir("jre142"));
  EXPECT_EQ(FindJavaHome(), inst.File("jre14206"));
  EXPECT_EQ(FindJavaw(), "");  // its bin\javaw.exe does not exist
}

TEST_F(JavaRegistryTest, UnusableHomeIsNoRuntime) {
  AddRuntime("1.4.2", inst.File("missing"));
  EXPECT_EQ(FindJavaHome(), "");
  AddRuntime("1.5.0", "");
  EXPECT_EQ(FindJavaHome(), "");  // the highest key has no JavaHome: the others do not count
  AddRuntime("1.6.0", Dir("jre160"), REG_BINARY);
  EXPECT_EQ(FindJavaHome(), "");
}

TEST_F(JavaRegistryTest, PrivateRuntimeIsPreferredToTheInstalledOne) {
  AddRuntime("1.4.2", Dir("jre"));
  Dir("jre\\bin");
  InstallStandin("jre\\bin\\javaw.exe");
  StartClient(false, true, {});
  EXPECT_EQ(LastCommand(), PrivateJavaw() + Tail(" -backupnow"));

  ::DeleteFileA(inst.File("java\\bin\\javaw.exe").c_str());
  StartClient(false, true, {});
  EXPECT_EQ(LastCommand(), Quoted(inst.File("jre\\bin\\javaw.exe")) + Tail(" -backupnow"));
}

TEST_F(JavaRegistryTest, ClientLauncherGetsTheRegistryHomeEvenWithoutItsJavaw) {
  ::DeleteFileA(inst.File("java\\bin\\javaw.exe").c_str());
  AddRuntime("1.4.2", Dir("jre"));
  InstallStandin("zqbackup.exe");
  StartClient(true, false, {});
  EXPECT_EQ(LastCommand(), Quoted(inst.File("zqbackup.exe")) + " -z \"" + inst.File("jre") + "\" " +
                               Tail(" -s"));
}

namespace {
// HKEY_LOCAL_MACHINE as a standard user (or an administrator without elevation) sees it:
// an open that asks for more than reading is refused. Wine grants every access, so the
// refusal is played here.
std::vector<REGSAM>& AccessAsked() {
  static std::vector<REGSAM> asked;
  return asked;
}
LONG WINAPI OpenAsStandardUser(HKEY parent, LPCSTR subKey, DWORD options, REGSAM access,
                               PHKEY result) {
  AccessAsked().push_back(access);
  if (access & ~static_cast<REGSAM>(KEY_READ)) return ERROR_ACCESS_DENIED;
  return ::RegOpenKeyExA(parent, subKey, options, access, result);
}
}  // namespace

// A machine whose only Java is the system-installed one: a standard user's start-up finds
// it, the client runs with it, and the uninstall reads the same keys.
TEST_F(JavaRegistryTest, StandardUserFindsTheSystemRuntime) {
  ::DeleteFileA(inst.File("java\\bin\\javaw.exe").c_str());
  AddRuntime("1.4.2", Dir("jre"));
  Dir("jre\\bin");
  InstallStandin("jre\\bin\\javaw.exe");
  const std::string jreKey = "Software\\JavaSoft\\Java Runtime Environment";
  AccessAsked().clear();
  RegOpenKeyCall() = OpenAsStandardUser;
  const bool runtime = EnsureJavaRuntime();
  const std::string home = FindJavaHome();
  const int result = StartClient(false, true, {});
  TWinRegistry registry;
  const auto versions = registry.SubKeyNames(TRegRoot::LocalMachine, jreKey);
  std::string readHome;
  const TRegRead read =
      registry.ReadString(TRegRoot::LocalMachine, jreKey + "\\1.4.2", "JavaHome", readHome);
  RegOpenKeyCall() = ::RegOpenKeyExA;

  EXPECT_TRUE(runtime) << "start-up would end with the not-installed message";
  EXPECT_EQ(home, inst.File("jre"));
  EXPECT_EQ(result, kClientRan);
  EXPECT_EQ(LastCommand(), Quoted(inst.File("jre\\bin\\javaw.exe")) + Tail(" -backupnow"));
  EXPECT_TRUE(ui.shown.empty()) << ui.shown[0].text;
  ASSERT_TRUE(versions);
  EXPECT_EQ(*versions, std::vector<std::string>{"1.4.2"});
  EXPECT_EQ(read, TRegRead::Ok);
  EXPECT_EQ(readHome, inst.File("jre"));
  ASSERT_FALSE(AccessAsked().empty());
  for (REGSAM access : AccessAsked())
    EXPECT_EQ(access & ~static_cast<REGSAM>(KEY_READ), 0u) << "access 0x" << std::hex << access;
}

TEST_F(JavaRegistryTest, NoRuntimeSaysSo) {
  // The client's launcher without a private runtime and with no registry home.
  ::DeleteFileA(inst.File("java\\bin\\javaw.exe").c_str());
  InstallStandin("zqbackup.exe");
  EXPECT_EQ(StartClient(false, false, {}), kClientNoRuntime);
  // No launcher and no javaw anywhere.
  ::DeleteFileA(inst.File("zqbackup.exe").c_str());
  EXPECT_EQ(StartClient(false, false, {}), kClientNoRuntime);
  ASSERT_EQ(ui.shown.size(), 2u);
  EXPECT_EQ(ui.shown[0].text, "No Java runtime was found.");
  EXPECT_EQ(ui.shown[1].text, "No Java runtime was found.");
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(LaunchCount, 1);  // failed attempts do not count
}

namespace {

// The main window of process `pid`, once it exists.
HWND MainWindowOf(DWORD pid) {
  HWND found = nullptr;
  wt::WaitUntil(
      [&] {
        for (HWND w = nullptr; (w = ::FindWindowExA(nullptr, w, kMainWindowClass, kMainWindowTitle));) {
          DWORD owner = 0;
          ::GetWindowThreadProcessId(w, &owner);
          if (owner == pid) found = w;
        }
        return found != nullptr;
      },
      20000);
  return found;
}

// Returns once `window`'s thread has handled everything posted to it before this call:
// the second send is only delivered by a later PeekMessage than the first.
void Flush(HWND window) {
  DWORD_PTR ignored = 0;
  for (int i = 0; i < 2; ++i)
    ::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
}

}  // namespace

// ZqRunner.exe itself: the start-up run passes its own arguments to the client, a tray
// double-click during that run is ignored, and the next run omits the arguments.
TEST_F(LauncherTest, ZqRunnerProcessStartsTheClientAtStartUp) {
  const std::string exe = inst.File("ZqRunner.exe");
  ASSERT_TRUE(::CopyFileA(wt::WindowsPath(ZQ_RUNNER_EXE).c_str(), exe.c_str(), FALSE));
  ::SetEnvironmentVariableA("ZQ_STANDIN_EXIT_MS", "20000");

  wt::TProcess p = wt::Start(exe, "-foo \"a b\"", inst.Path());
  ASSERT_TRUE(p.process);
  ASSERT_TRUE(wt::WaitUntil([&] { return !Tagged(Log(), "CMD").empty(); }, 20000));
  HWND main = MainWindowOf(p.pid);
  ASSERT_TRUE(main);
  ::PostMessageA(main, WMAPP_RUNNER_TRAY, kTrayIconId, kActivateLParam);
  Flush(main);
  ::SetEvent(quitEvent.get());  // the first client ends now; later ones end at once
  ASSERT_TRUE(wt::WaitUntil([&] { return Count(Log(), "EXIT") == 1; }, 20000)) << Log();
  Flush(main);
  EXPECT_EQ(Tagged(Log(), "CMD").size(), 1u) << Log();
  EXPECT_EQ(Tagged(Log(), "CMD")[0], PrivateJavaw() + Tail(" -foo a b"));

  ::PostMessageA(main, WMAPP_RUNNER_TRAY, kTrayIconId, kActivateLParam);
  ASSERT_TRUE(wt::WaitUntil([&] { return Count(Log(), "EXIT") == 2; }, 20000)) << Log();
  EXPECT_EQ(Tagged(Log(), "CMD").back(), PrivateJavaw() + Tail(""));

  Flush(main);
  ::PostMessageA(main, WM_DESTROY, 0, 0);
  EXPECT_EQ(p.Wait(20000), 0);
}

// The activity log of two runs of ZqRunner.exe with every hour of the week scheduled: the
// first cancels the hour's warning, the second lets the countdown's end start the client.
TEST_F(LauncherTest, ZqRunnerProcessLogsEachHourOfferedAndWhatBecameOfIt) {
  const std::string exe = inst.File("ZqRunner.exe");
  ASSERT_TRUE(::CopyFileA(wt::WindowsPath(ZQ_RUNNER_EXE).c_str(), exe.c_str(), FALSE));
  const char* source = std::getenv("ZQ_SOURCE_DIR");
  ASSERT_TRUE(source);
  ASSERT_TRUE(::CopyFileA(wt::WindowsPath(std::string(source) + "/sample/install/resource.properties").c_str(),
                          inst.File("resource.properties").c_str(), FALSE));
  std::string schedule = "scheduler.active=OFF\r\nscheduler.advancedschedule=ON\r\n";
  std::string hours = "0";
  for (int h = 1; h < 24; ++h) hours += "," + std::to_string(h);
  for (const char* day : {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"})
    schedule += std::string("scheduler.") + day + "=" + hours + "\r\n";
  inst.Write("zqbackup.properties", schedule);
  inst.Write("connection.properties", "");
  inst.Write("lastbackup.idx", "");  // a backup just now: no missed-backup reminder
  QuickClient();

  const auto run = [&](WPARAM answer, const char* outcome) {
    wt::TProcess p = wt::Start(exe, "-min", inst.Path());
    ASSERT_TRUE(p.process);
    HWND warning = nullptr;  // the splash has the same caption: the dialog is the one with Cancel
    const auto find = [&] {
      for (HWND w : wt::WindowsOf(p.pid))
        if (::IsWindowVisible(w) && Child(w, 103, "Button")) warning = w;
      return warning != nullptr;
    };
    const bool shown = wt::WaitUntil(find, 30000);
    if (shown) ::PostMessageA(warning, WM_COMMAND, answer, 0);
    const bool answered = shown && wt::WaitUntil([&] { return inst.Read("ZqRunner.log").find(outcome) != std::string::npos; }, 20000);
    if (!answered) ::TerminateProcess(p.process.get(), 1);
    ASSERT_TRUE(answered) << (shown ? "no outcome line" : "no warning");
    if (answer == 105) {
      ASSERT_TRUE(wt::WaitUntil([&] { return inst.Read("ZqRunner.log").find("client run: ") != std::string::npos; }, 20000));
    }
    ::PostMessageA(MainWindowOf(p.pid), WM_DESTROY, 0, 0);
    EXPECT_EQ(p.Wait(20000), 0);
  };
  run(103, "hour outcome: cancelled");
  if (HasFatalFailure()) return;
  run(105, "hour outcome: started at the countdown's end");

  // Every line: local time with its offset, process id, event; the events in this order
  // (a turn of the hour meanwhile may add lines between them).
  const std::regex head(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d [+-]\d\d:\d\d \[\d+\] )");
  const std::string week = "Sun " + hours + ", Mon " + hours;
  const std::vector<std::string> expected = {
      "start-up: version ", "restart after a crash: registered: -min", "schedule read: " + week,
      "hour offered: ", "hour outcome: cancelled", "quit",
      "start-up: version ", "schedule read: " + week, "hour offered: ",
      "hour outcome: started at the countdown's end", "client start: scheduled",
      "process started: pid ", "process ended: pid ", "client run: ran", "quit"};
  size_t next = 0;
  const std::string log = inst.Read("ZqRunner.log");
  for (const std::string& line : wt::Lines(log)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_search(line, m, head)) << line;
    if (next < expected.size() && line.compare(m.length(), expected[next].size(), expected[next]) == 0) ++next;
  }
  EXPECT_EQ(next, expected.size()) << "missing: " << (next < expected.size() ? expected[next] : "") << "\n" << log;
  EXPECT_NE(log.find(" -cp stash9.jar com.stowly.gui.RamBackup "), std::string::npos) << log;
}

namespace {
class TScriptedLauncher : public IProcessLauncher {
 public:
  struct TCall {
    std::string cmd, dir;
    bool wait;
  };
  std::vector<TCall> calls;
  bool succeed = true;
  TProcessResult Start(const std::string& cmd, const std::string& dir, bool wait) override {
    calls.push_back({cmd, dir, wait});
    TProcessResult r;
    r.started = succeed;
    r.processId = succeed ? 4242 : 0;
    r.error = succeed ? 0 : ERROR_FILE_NOT_FOUND;
    return r;
  }
};
}  // namespace

// The client run starts its process only through the process seam.
TEST_F(LauncherTest, ProcessStartGoesThroughTheSeam) {
  TScriptedLauncher fake;
  seams::SetLauncher(&fake);
  EXPECT_EQ(StartClient(true, false, {}), kClientRan);
  ASSERT_EQ(fake.calls.size(), 1u);
  EXPECT_EQ(fake.calls[0].cmd, PrivateJavaw() + Tail(" -s"));
  EXPECT_EQ(fake.calls[0].dir, InstallDir);
  EXPECT_TRUE(fake.calls[0].wait);
  EXPECT_EQ(LastClientProcessId.load(), 4242u);
  EXPECT_EQ(LaunchCount, 2);

  fake.succeed = false;
  EXPECT_EQ(StartClient(false, false, {}), kClientNotStarted);
  EXPECT_EQ(LastClientProcessId.load(), 0u);
  EXPECT_EQ(LaunchCount, 2);  // a process that was never created does not count
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, ProgramNotFoundText(PrivateJavaw() + Tail("")));
  EXPECT_EQ(Log(), "");
  InstallWinLauncher();
}

// The hidden main window, created in the test process: its message table driven with
// SendMessage, the other modules replaced through WindowCalls, message boxes answered
// through the IUi seam. Nothing here can end the Windows session: the session-end query
// only returns a value, and the shut-down dialog is a recorder entry.
#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "ControlFlags.h"
#include "Globals.h"
#include "Launcher.h"
#include "MainWindow.h"
#include "Messages.h"
#include "SchedUnit.h"
#include "Update.h"
#include "Snooze.h"
#include "WinPlatform.h"
#include "WinTestUtil.h"
#include "WindowFakes.h"
#include "uRunnerResource.h"

namespace {

constexpr int kIdYes = 6, kIdNo = 7;
const char* kTexts =
    "RUNNER_MENU_Open=&Open %s\nRUNNER_MENU_Backup_Now=&Back up now\nRUNNER_MENU_Quit=&Quit\n"
    "RUNNER_Show=&Show %s\nRUNNER_Quit_program=Quit %s?\n"
    "RUNNER_Do_you_want_to_backup_now=Do you want %s to back up now?\n"
    "RUNNER_click_to_view_status=%s is working.\nRUNNER_will_disconnect=%s will disconnect.\n";

struct TItem {
  UINT id;
  std::string text;  // empty for a separator
};

class TMainWindowTest : public ::testing::Test {
 protected:
  TMemFileSystem fs;
  TScriptedUi ui;
  wf::TAtomicClock clock;
  wf::TRecordingLauncher launcher;

  void SetUp() override {
    seams::SetFs(&fs);
    seams::SetUi(&ui);
    seams::SetClock(&clock);
    seams::SetLauncher(&launcher);
    fs.Put("C:\\Inst\\resource.properties", kTexts);
    InitTextTable("C:\\Inst\\resource.properties", 0x0409);
    ProductName = "Stash9";
    BackupOnShutdown = false;
    ShutdownPrompt = ShutdownProgress = true;
    ShutdownHandled = false;
    QuitAllowed = true;
    EncryptionPluginPresent = false;
    LaunchInProgress = false;
    LastTriggerSlot = -1;
    SnoozeActive = false;
    wf::InstallRecorder();
    if (!MainWindow) {
      TaskbarCreatedMessage = ::RegisterWindowMessageA("TaskbarCreated");
      RegisterMainWindowClass();
      CreateMainWindow();
    }
    ASSERT_TRUE(MainWindow);
    AddTrayIcon();
    wf::DrainQueue();
  }
  void TearDown() override {
    wf::DrainQueue();
    WindowCalls = DefaultWindowCalls();
    FreeTextTable();
    seams::SetFs(nullptr);
    seams::SetUi(nullptr);
    seams::SetClock(nullptr);
    seams::SetLauncher(nullptr);
  }
  LRESULT Send(UINT msg, WPARAM w = 0, LPARAM l = 0) { return ::SendMessageA(MainWindow, msg, w, l); }

  static std::vector<TItem> MenuItems() {
    std::vector<TItem> items;
    HMENU menu = TrayMenu();
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
      char text[128] = {};
      ::GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
      items.push_back({::GetMenuItemID(menu, i), text});
    }
    return items;
  }
};

std::string Describe(const std::vector<TItem>& items) {
  std::string s;
  for (const auto& i : items) s += std::to_string(i.id) + ":" + i.text + "|";
  return s;
}

}  // namespace

TEST_F(TMainWindowTest, HiddenWindowWithItsClassAndTitle) {
  EXPECT_EQ(::FindWindowA("TSWEXEForm", "SWEXEForm"), MainWindow);
  char cls[64] = {};
  ::GetClassNameA(MainWindow, cls, sizeof cls);
  EXPECT_STRCASEEQ(cls, "TSWExeForm");
  EXPECT_FALSE(::IsWindowVisible(MainWindow));
  EXPECT_EQ(static_cast<DWORD>(::GetWindowLongA(MainWindow, GWL_STYLE)) & WS_OVERLAPPEDWINDOW,
            static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
}

TEST_F(TMainWindowTest, DestroyMessageEndsTheLoop) {
  ::PostMessageA(MainWindow, WM_DESTROY, 0, 0);
  EXPECT_TRUE(wf::PumpUntilQuit(5000));
  EXPECT_TRUE(::IsWindow(MainWindow));  // the loop ends; start-up destroys the window after it
}

TEST_F(TMainWindowTest, MenuFollowsPluginAndQuitFlags) {
  const struct {
    bool plugin, quit;
    std::string items;
  } cases[] = {
      {false, true, "0:&Open Stash9|2:&Back up now|3:|1:&Quit|"},
      {false, false, "0:&Open Stash9|2:&Back up now|"},
      {true, true, "4:&Encrypt all files|5:&Decrypt all files|6:|0:&Open Stash9|2:&Back up now|3:|1:&Quit|"},
      {true, false, "4:&Encrypt all files|5:&Decrypt all files|6:|0:&Open Stash9|2:&Back up now|"},
  };
  for (const auto& c : cases) {
    EncryptionPluginPresent = c.plugin;
    QuitAllowed = c.quit;
    BuildTrayMenu();
    EXPECT_EQ(Describe(MenuItems()), c.items) << c.plugin << c.quit;
    BuildTrayMenu();  // rebuilt in place: nothing left over from the last build
    EXPECT_EQ(Describe(MenuItems()), c.items) << c.plugin << c.quit;
    // What a double click on the icon does is the bold default item.
    EXPECT_EQ(::GetMenuDefaultItem(TrayMenu(), FALSE, 0), 0u) << c.plugin << c.quit;
  }
  ProductName = "Other";
  BuildRunningMenu();
  EXPECT_EQ(Describe(MenuItems()), "0:&Show Other|");
  EXPECT_EQ(::GetMenuDefaultItem(TrayMenu(), FALSE, 0), 0u);
  BuildTrayMenu();
  EXPECT_EQ(Describe(MenuItems()), "4:&Encrypt all files|5:&Decrypt all files|6:|0:&Open Other|2:&Back up now|");
}

TEST_F(TMainWindowTest, MenuAndClientCommandsCallTheirOperations) {
  using V = std::vector<std::string>;
  const struct {
    WPARAM command;
    bool scheduled, backupNow;
    V extra;
  } starts[] = {
      {0, false, false, {}}, {2, false, true, {}}, {4, false, false, {"-enc"}}, {5, false, false, {"-dec"}},
  };
  for (const auto& c : starts) {
    wf::Rec().starts.clear();
    EXPECT_EQ(Send(WM_COMMAND, c.command), 0);
    ASSERT_EQ(wf::Rec().starts.size(), 1u) << c.command;
    EXPECT_EQ(wf::Rec().starts[0].scheduled, c.scheduled);
    EXPECT_EQ(wf::Rec().starts[0].backupNow, c.backupNow);
    EXPECT_EQ(wf::Rec().starts[0].extra, c.extra);
  }
  wf::Rec().starts.clear();
  for (WPARAM nothing : {3, 6, 7, 8, 9, 10, 11, 17, 105}) Send(WM_COMMAND, nothing);
  Send(WM_COMMAND, 12, 0);  // not a window: neither raised nor bubbled
  Send(WM_COMMAND, 16, reinterpret_cast<LPARAM>(HWND(0x1234)));
  EXPECT_TRUE(wf::Rec().starts.empty());
  EXPECT_TRUE(wf::Rec().bubbles.empty());
  EXPECT_EQ(wf::Rec().closeBubble, 0);
  EXPECT_TRUE(ui.shown.empty());

  Send(WM_COMMAND, 13);
  EXPECT_EQ(wf::Rec().closeBubble, 1);
}

// Raise (12, 15) and raise-before-disconnect (14): when Windows grants the switch the
// bubble closes; when it refuses, the bubble points the user at the window with the
// command's own text. Under Wine without a window manager every switch is granted, so the
// answer is given through WindowCalls.
TEST_F(TMainWindowTest, RaiseEitherClosesOrOpensTheBubbleAndHideHides) {
  const struct {
    WPARAM command;
    bool granted;
    const char* bubble;  // nullptr: the bubble is closed instead
  } cases[] = {
      {12, true, nullptr},       {15, true, nullptr},
      {14, true, nullptr},       {12, false, "Stash9 is working."},
      {15, false, "Stash9 is working."}, {14, false, "Stash9 will disconnect."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.command) + (c.granted ? " granted" : " refused"));
    wf::TLogWindow client;
    wf::Rec().bubbles.clear();
    wf::Rec().raised.clear();
    wf::Rec().closeBubble = 0;
    wf::Rec().foregroundGranted = c.granted;
    Send(WM_COMMAND, c.command, reinterpret_cast<LPARAM>(client.hwnd));
    EXPECT_EQ(wf::Rec().raised, std::vector<HWND>{client.hwnd});
    EXPECT_EQ(wf::Rec().closeBubble, c.bubble ? 0 : 1);
    EXPECT_EQ(wf::Rec().bubbles, c.bubble ? std::vector<std::string>{c.bubble} : std::vector<std::string>{});
  }
  // The real switch: the bubble closes exactly when the window got the foreground.
  {
    WindowCalls.bringToForeground = DefaultWindowCalls().bringToForeground;
    wf::TLogWindow client;
    wf::Rec().bubbles.clear();
    wf::Rec().closeBubble = 0;
    Send(WM_COMMAND, 12, reinterpret_cast<LPARAM>(client.hwnd));
    const bool raised = ::GetForegroundWindow() == client.hwnd;
    EXPECT_EQ(wf::Rec().closeBubble, raised ? 1 : 0);
    EXPECT_EQ(wf::Rec().bubbles.size(), raised ? 0u : 1u);
  }
  wf::TLogWindow client;
  ASSERT_TRUE(::IsWindowVisible(client.hwnd));
  Send(WM_COMMAND, 16, reinterpret_cast<LPARAM>(client.hwnd));
  EXPECT_FALSE(::IsWindowVisible(client.hwnd));
}

TEST_F(TMainWindowTest, QuitAsksAndObeysQuitAllowed) {
  const struct {
    bool allowed;
    int answer;
    size_t asked;
    bool quits;
  } cases[] = {{true, kIdYes, 1, true}, {true, kIdNo, 1, false}, {false, kIdYes, 0, false}};
  for (const auto& c : cases) {
    QuitAllowed = c.allowed;
    ui.shown.clear();
    ui.answers = {c.answer};
    Send(WM_COMMAND, 1);
    ASSERT_EQ(ui.shown.size(), c.asked);
    if (c.asked) {
      EXPECT_EQ(ui.shown[0].text, "Quit Stash9?");
      EXPECT_EQ(ui.shown[0].caption, "Confirm");
    }
    EXPECT_EQ(wf::PumpUntilQuit(c.quits ? 5000 : 200), c.quits) << c.allowed << c.answer;
    wf::DrainQueue();
  }
}

TEST_F(TMainWindowTest, TrayDoubleClickOpensTheClientOtherMouseMessagesNothing) {
  for (LPARAM mouse : {0x200, 0x201, 0x202, 0x204, 0x206}) Send(WMAPP_RUNNER_TRAY, kTrayIconId, mouse);
  EXPECT_TRUE(wf::Rec().starts.empty());
  Send(WMAPP_RUNNER_TRAY, kTrayIconId, kActivateLParam);
  ASSERT_EQ(wf::Rec().starts.size(), 1u);
  EXPECT_FALSE(wf::Rec().starts[0].scheduled);
  EXPECT_FALSE(wf::Rec().starts[0].backupNow);
  EXPECT_TRUE(wf::Rec().starts[0].extra.empty());
}

TEST_F(TMainWindowTest, SnoozeEndsBringTheirWarningsBack) {
  Send(WMAPP_RUNNER_SNOOZE_START);
  EXPECT_EQ(wf::Rec().willStart, 1);
  EXPECT_EQ(wf::Rec().missedAgain, 0);
  Send(WMAPP_RUNNER_SNOOZE_WARNING);
  EXPECT_EQ(wf::Rec().willStart, 1);
  EXPECT_EQ(wf::Rec().missedAgain, 1);
}

TEST_F(TMainWindowTest, NoExceptionLeavesTheWindowProcedure) {
  wf::Rec().throwOnStart = true;
  EXPECT_EQ(Send(WM_COMMAND, 0), 0);
  EXPECT_EQ(Send(WMAPP_RUNNER_TRAY, kTrayIconId, kActivateLParam), 0);
  EXPECT_TRUE(::IsWindow(MainWindow));
}

TEST_F(TMainWindowTest, SessionEndQueryWithoutQuestion) {
  const struct {
    bool backupOnShutdown, handled;
    LPARAM lParam;
    LRESULT result;
  } cases[] = {
      {false, false, 0, TRUE},
      {false, false, static_cast<LPARAM>(ENDSESSION_LOGOFF), TRUE},
      {true, false, static_cast<LPARAM>(ENDSESSION_LOGOFF), TRUE},  // log-off is never held
      {true, false, static_cast<LPARAM>(ENDSESSION_LOGOFF | ENDSESSION_CLOSEAPP), TRUE},
      {true, true, 0, TRUE},
  };
  for (const auto& c : cases) {
    BackupOnShutdown = c.backupOnShutdown;
    ShutdownHandled = c.handled;
    EXPECT_EQ(Send(WM_QUERYENDSESSION, 0, c.lParam), c.result) << c.backupOnShutdown << c.lParam;
    wf::PumpUntilQuit(100);
  }
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_TRUE(wf::Rec().starts.empty());
  EXPECT_EQ(wf::Rec().shutdownDialogs, 0);
}

TEST_F(TMainWindowTest, SessionEndWithoutPromptBacksUpAtOnce) {
  for (bool progress : {false, true}) {
    wf::InstallRecorder();
    BackupOnShutdown = true;
    ShutdownPrompt = false;
    ShutdownProgress = progress;
    ShutdownHandled = false;
    EXPECT_EQ(Send(WM_QUERYENDSESSION, 0, 0), FALSE);
    ASSERT_TRUE(wt::WaitUntil([] { return wf::Rec().shutdownDialogs > 0; }, 5000));
    EXPECT_TRUE(ShutdownHandled);
    EXPECT_EQ(wf::Rec().closeClient, 1);
    ASSERT_EQ(wf::Rec().starts.size(), 1u);
    EXPECT_TRUE(wf::Rec().starts[0].scheduled);
    EXPECT_TRUE(wf::Rec().starts[0].backupNow);
    EXPECT_EQ(wf::Rec().starts[0].extra, std::vector<std::string>{progress ? "-dialog" : "-nogui"});
    EXPECT_EQ(Send(WM_QUERYENDSESSION, 0, 0), TRUE);  // the next query goes through
  }
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(TMainWindowTest, SessionEndAsksOnItsOwnThreadAndActsOnTheAnswer) {
  const struct {
    int answer;
    size_t starts;
  } cases[] = {{kIdYes, 1}, {kIdNo, 0}};
  for (const auto& c : cases) {
    wf::InstallRecorder();
    ui.shown.clear();
    ui.answers = {c.answer};
    BackupOnShutdown = true;
    ShutdownPrompt = true;
    ShutdownHandled = false;
    // Refused at once, before the question is answered.
    EXPECT_EQ(Send(WM_QUERYENDSESSION, 0, 0), FALSE);
    ASSERT_TRUE(wt::WaitUntil([] { return wf::Rec().shutdownDialogs > 0; }, 5000)) << c.answer;
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "Do you want Stash9 to back up now?");
    EXPECT_EQ(ui.shown[0].caption, "Confirm");
    EXPECT_TRUE(ShutdownHandled);
    EXPECT_EQ(wf::Rec().starts.size(), c.starts);
    if (c.starts) {
      EXPECT_EQ(wf::Rec().starts[0].extra, std::vector<std::string>{"-dialog"});
    }
    EXPECT_EQ(Send(WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_EQ(ui.shown.size(), 1u);
  }
}

TEST_F(TMainWindowTest, TickRewritesTheTipOnlyWhenItChanged) {
  SetTrayTip("Next backup: Monday 19:00");
  const int before = wf::Rec().IconCalls(NIM_MODIFY);
  for (int i = 0; i < 3; ++i) Send(WMAPP_RUNNER_TICK);
  EXPECT_EQ(wf::Rec().IconCalls(NIM_MODIFY), before);
  EXPECT_EQ(wf::Rec().refreshes, 3);
  wf::Rec().nextText = "Next backup: Tuesday 08:00";
  Send(WMAPP_RUNNER_TICK);
  Send(WMAPP_RUNNER_TICK);
  EXPECT_EQ(wf::Rec().IconCalls(NIM_MODIFY), before + 1);
  EXPECT_EQ(wf::Rec().LastIconTip(), "Next backup: Tuesday 08:00");
  EXPECT_EQ(GetTrayTip(), "Next backup: Tuesday 08:00");
  // During a snooze the tick leaves the tip to the snooze thread.
  SnoozeActive = true;
  SetTrayTip("Backup snoozed (4m0s)");
  Send(WMAPP_RUNNER_TICK);
  EXPECT_EQ(GetTrayTip(), "Backup snoozed (4m0s)");
  EXPECT_EQ(wf::Rec().IconCalls(NIM_MODIFY), before + 1);
  SnoozeActive = false;
}

TEST_F(TMainWindowTest, TickLooksForMissedBackupsOnlyOnlineAndWhenNoneIsDue) {
  const struct {
    bool due, online;
    int warnings, missedChecks;
  } cases[] = {{true, true, 1, 0}, {true, false, 1, 0}, {false, true, 0, 1}, {false, false, 0, 0}};
  for (const auto& c : cases) {
    wf::InstallRecorder();
    wf::Rec().dueNow = c.due;
    wf::Rec().online = c.online;
    Send(WMAPP_RUNNER_TICK);
    EXPECT_EQ(wf::Rec().willStart, c.warnings) << c.due << c.online;
    EXPECT_EQ(wf::Rec().missedChecks, c.missedChecks) << c.due << c.online;
  }
}

TEST_F(TMainWindowTest, ResumeFromSleepTicksAtOnce) {
  const struct {
    WPARAM event;
    bool launching;
    int warnings;
  } cases[] = {
      {PBT_APMRESUMEAUTOMATIC, false, 1},
      {PBT_APMRESUMESUSPEND, false, 1},
      {PBT_APMSUSPEND, false, 0},
      {PBT_APMPOWERSTATUSCHANGE, false, 0},
      {PBT_APMRESUMEAUTOMATIC, true, 0},  // a client run pauses the ticks; resume keeps that
  };
  for (const auto& c : cases) {
    wf::InstallRecorder();
    wf::Rec().dueNow = true;
    LastTriggerSlot = -1;
    LaunchInProgress = c.launching;
    EXPECT_EQ(Send(WM_POWERBROADCAST, c.event), TRUE);
    EXPECT_EQ(wf::Rec().willStart, c.warnings) << c.event;
  }
  LaunchInProgress = false;
}

TEST_F(TMainWindowTest, TaskbarRestartAddsTheIconWithItsTip) {
  const std::string longTip(70, 'x');
  SetTrayTip(longTip);
  UpdateTrayTip();
  EXPECT_EQ(wf::Rec().LastIconTip(), std::string(63, 'x'));
  Send(TaskbarCreatedMessage);
  EXPECT_EQ(wf::Rec().IconCalls(NIM_ADD), 2);  // SetUp's add and this one
  EXPECT_EQ(wf::Rec().LastIconTip(), std::string(63, 'x'));
}

TEST_F(TMainWindowTest, FirstIconCarriesTheProductScheduler) {
  ASSERT_EQ(wf::Rec().IconCalls(NIM_ADD), 1);
  EXPECT_EQ(wf::Rec().LastIconTip(), "Stash9 Scheduler");
}

TEST_F(TMainWindowTest, UpdateMessageStartsTheUpdaterCopyAndQuits) {
  const std::string copy = TempDir() + "updSW.exe";
  ::DeleteFileA(copy.c_str());
  launcher.succeed = true;
  Send(WMAPP_RUNNER_UPDATE);
  EXPECT_TRUE(wf::PumpUntilQuit(5000));
  ASSERT_EQ(launcher.commands.size(), 1u);
  EXPECT_EQ(launcher.commands[0], "\"" + copy + "\" -update \"" + ExeDirectory() + "\\\"");
  EXPECT_EQ(launcher.dirs[0], TempDir());
  EXPECT_NE(::GetFileAttributesA(copy.c_str()), INVALID_FILE_ATTRIBUTES);
  ::DeleteFileA(copy.c_str());
}

// A hand-over that fails (here: no copy can be started) keeps the program: one warning,
// the client that the update held back runs, and later requests run it without trying.
TEST_F(TMainWindowTest, FailedHandOverKeepsTheProgramAndRunsTheClient) {
  const std::string copies[] = {TempDir() + "updSW.exe", ExeDirectory() + "\\updSW.exe"};
  UpdateBlocked = UpdateWarningShown = false;
  for (int round = 1; round <= 2; ++round) {
    Send(WMAPP_RUNNER_UPDATE);
    EXPECT_FALSE(wf::PumpUntilQuit(0)) << round;
    EXPECT_EQ(launcher.commands.size(), 2u) << round;  // each folder tried once, in round 1
    EXPECT_EQ(ui.shown.size(), 1u) << round;
    ASSERT_EQ(wf::Rec().starts.size(), static_cast<size_t>(round));
    EXPECT_FALSE(wf::Rec().starts.back().scheduled);
  }
  ASSERT_EQ(launcher.commands.size(), 2u);
  EXPECT_EQ(launcher.commands[1], "\"" + copies[1] + "\" -update \"" + ExeDirectory() + "\\\"");
  EXPECT_EQ(ui.shown[0].text, "Could not update all files properly");
  EXPECT_TRUE(UpdateBlocked);
  UpdateBlocked = UpdateWarningShown = false;
  for (const auto& c : copies) ::DeleteFileA(c.c_str());
}

TEST_F(TMainWindowTest, TickArrivingInsideATicksOwnDialogIsSkipped) {
  // A modal box opened by the tick dispatches the next ticks to the window meanwhile.
  WindowCalls.showWillStartWarning = [] {
    ++wf::Rec().willStart;
    ::SendMessageA(MainWindow, WMAPP_RUNNER_TICK, 0, 0);
    ::SendMessageA(MainWindow, WMAPP_RUNNER_TICK, 0, 0);
  };
  wf::Rec().dueNow = true;
  Send(WMAPP_RUNNER_TICK);
  EXPECT_EQ(wf::Rec().willStart, 1);
  EXPECT_EQ(wf::Rec().nextTextCalls, 1);
  EXPECT_EQ(wf::Rec().refreshes, 1);
  Send(WMAPP_RUNNER_TICK);  // the guard was released
  EXPECT_EQ(wf::Rec().willStart, 2);
}

// The real control-flag check on a tick: "killrunner" in a file whose digest matches
// removes Quit at the next tick after the file changes; a hand edit without a new digest
// is the strict state (no Quit either); a matching OFF brings Quit back.
TEST_F(TMainWindowTest, TickAppliesKillrunnerWhenItsDigestMatches) {
  WindowCalls.refreshControlFlags = DefaultWindowCalls().refreshControlFlags;
  InstallDir = "C:\\Inst";
  ControlFlagsFileTime = 0;
  const std::string sys = "C:\\Inst\\system2.properties";
  const std::string def = "C:\\Inst\\defaults.properties";
  auto hasQuit = [] {
    for (const auto& item : MenuItems())
      if (item.id == 1) return true;
    return false;
  };
  // Digests computed with: printf 'killrunner=ON\r\ncancelbackup=OFF\r\n' | openssl md5 -binary | base64
  fs.Put(sys, "killrunner=ON\r\ncancelbackup=OFF\r\n", 10.0);
  fs.Put(def, "HASH=qrK0z4mMS6olrWWkn7yRQA==\r\n", 10.0);
  QuitAllowed = true;
  BuildTrayMenu();
  ASSERT_TRUE(hasQuit());
  Send(WMAPP_RUNNER_TICK);
  EXPECT_FALSE(QuitAllowed);
  EXPECT_TRUE(CancelAllowed);
  EXPECT_FALSE(hasQuit());

  fs.Put(sys, "killrunner=OFF\r\ncancelbackup=OFF\r\n", 11.0);  // edited, old digest
  Send(WMAPP_RUNNER_TICK);
  EXPECT_FALSE(hasQuit());
  EXPECT_FALSE(CancelAllowed);
  EXPECT_EQ(SnoozeLimit, 100);

  fs.Put(def, "HASH=Tsxgw4XDns6ZwLWKz2l4Uw==\r\n", 12.0);  // a new digest alone is not seen...
  Send(WMAPP_RUNNER_TICK);
  EXPECT_FALSE(hasQuit());
  fs.Put(sys, "killrunner=OFF\r\ncancelbackup=OFF\r\n", 12.0);  // ...until the file changes
  Send(WMAPP_RUNNER_TICK);
  EXPECT_TRUE(hasQuit());
  EXPECT_TRUE(CancelAllowed);
}

// A tick dispatched by a client run's own message pump (posted just before the timer was
// paused) leaves the run's tip, the menu and the warnings alone.
TEST_F(TMainWindowTest, TickDuringAClientRunDoesNothing) {
  SetTrayTip("Stash9 (backing up)");
  wf::Rec().dueNow = true;
  LaunchInProgress = true;
  Send(WMAPP_RUNNER_TICK);
  EXPECT_EQ(GetTrayTip(), "Stash9 (backing up)");
  EXPECT_EQ(wf::Rec().refreshes, 0);
  EXPECT_EQ(wf::Rec().willStart, 0);
  LaunchInProgress = false;
  Send(WMAPP_RUNNER_TICK);
  EXPECT_EQ(wf::Rec().refreshes, 1);
  EXPECT_EQ(wf::Rec().willStart, 1);
}

namespace {

// 6 December 2026 is a Sunday: weekday 1 = Sunday ... 7 = Saturday.
TDateTime WeekAt(int weekday, int hour, int minute = 0, int second = 0) {
  return EncodeDateTime({2026, 12, 5 + weekday, hour, minute, second, 0});
}

// Starts no process: a client run takes `minutes` of the fake clock, as the client would.
class TTimedLauncher : public IProcessLauncher {
 public:
  wf::TAtomicClock* clock = nullptr;
  std::atomic<double> minutes{0};
  std::atomic<int> runs{0};
  TProcessResult Start(const std::string&, const std::string&, bool) override {
    ++runs;
    clock->Advance(minutes * 60);
    TProcessResult r;
    r.started = true;
    r.processId = 4711;
    return r;
  }
};

const char* const kDayKeys[] = {"", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

}  // namespace

// The real tick handler with the real schedule and the real client run, over a simulated
// week of 5-second ticks on a fake clock. Only the will-start warning is replaced: it
// records the hour that offered it and, for two of them, lets its countdown run out, which
// starts the client (a run that takes 20 or 90 minutes of the clock).
class TTickWeekTest : public TMainWindowTest {
 protected:
  static TTickWeekTest* current;
  TTimedLauncher timed;
  std::set<int> scheduled;    // slots of the schedule below
  std::vector<int> triggers;  // slots in which the warning was offered

  void SetUp() override {
    TMainWindowTest::SetUp();
    current = this;
    InstallDir = "C:\\Inst";
    fs.Put("C:\\Inst\\resource.properties",
           std::string(kTexts) +
               "Sun=Sun\nMon=Mon\nTue=Tue\nWed=Wed\nThu=Thu\nFri=Fri\nSat=Sat\n"
               "RUNNER_Next_Backup=Next backup:\nRUNNER_Running=backing up\n");
    InitTextTable("C:\\Inst\\resource.properties", 0x0409);
    FillDayNames();
    // Mon 9 and 13, Wed 9, Fri 9 and 17, and every day at 19.
    fs.Put("C:\\Inst\\zqbackup.properties",
           "scheduler.advancedschedule=ON\r\nscheduler.active=ON\r\nscheduler.time=07PM\r\n"
           "scheduler.Mon=9,13\r\nscheduler.Wed=9\r\nscheduler.Fri=9,17\r\n");
    for (int d = 1; d <= 7; ++d) scheduled.insert(d * 24 + 19);
    for (int slot : {2 * 24 + 9, 2 * 24 + 13, 4 * 24 + 9, 6 * 24 + 9, 6 * 24 + 17}) scheduled.insert(slot);
    fs.Put("C:\\Inst\\stash9.jar", "");
    fs.Put("C:\\Inst\\java\\bin\\javaw.exe", "");
    timed.clock = &clock;
    seams::SetLauncher(&timed);
    CreateScheduleWith(TAmPm{});
    LoadSchedule();
    const TWindowCalls real = DefaultWindowCalls();
    WindowCalls.isBackupDue = real.isBackupDue;
    WindowCalls.nextBackupText = real.nextBackupText;
    WindowCalls.startClient = real.startClient;
    WindowCalls.showWillStartWarning = [] { current->OnWarning(); };
  }
  void TearDown() override {
    FreeSchedule();
    current = nullptr;
    TMainWindowTest::TearDown();
  }
  void OnWarning() {
    const int slot = SlotKeyOf(clock.now);
    triggers.push_back(slot);
    if (slot == 2 * 24 + 9) Run(20);   // Monday 9: the countdown runs out
    if (slot == 6 * 24 + 17) Run(90);  // Friday 17: a long backup, into the next hour
  }
  void Run(double minutes) {
    timed.minutes = minutes;
    EXPECT_EQ(StartClient(true, false, {}), 0);
  }
  // The next scheduled slot after the hour of `now`, worked out without TSched.
  std::string ExpectedTip(TDateTime now) const {
    const int slot = DayOfWeek(now) * 24 + HourOf(now);
    auto it = scheduled.upper_bound(slot);
    const int next = it == scheduled.end() ? *scheduled.begin() : *it;
    const int hour = next % 24;
    return std::string("Next backup: ") + kDayKeys[next / 24] + " " +
           std::to_string(hour % 12 == 0 ? 12 : hour % 12) + (hour < 12 ? " AM" : " PM");
  }
};
TTickWeekTest* TTickWeekTest::current = nullptr;

TEST_F(TTickWeekTest, EveryScheduledHourOffersTheWarningOnceExceptAfterARunEndedInIt) {
  // Besides the two runs started by warnings, the user double-clicks the tray on Tuesday
  // at 18:50 for a 20-minute run: it ends in Tuesday's 19:00 hour, which then offers nothing.
  const TDateTime start = WeekAt(1, 0, 0, 2), end = start + 7;
  clock.now = start;
  SetTrayTip(ScheduleNextBackupText());
  bool userRunDone = false;
  for (; clock.now.load() < end; clock.Advance(5)) {
    if (!userRunDone && clock.now.load() >= WeekAt(3, 18, 50)) {
      userRunDone = true;
      timed.minutes = 20;
      Send(WMAPP_RUNNER_TRAY, kTrayIconId, kActivateLParam);
    }
    Send(WMAPP_RUNNER_TICK);
    const std::string tip = GetTrayTip();
    ASSERT_EQ(tip.substr(0, tip.find('\0')), ExpectedTip(clock.now)) << "at " << clock.now.load();
  }
  std::set<int> expected = scheduled;
  expected.erase(3 * 24 + 19);
  EXPECT_EQ(std::set<int>(triggers.begin(), triggers.end()), expected);
  EXPECT_EQ(triggers.size(), expected.size()) << "an hour offered the warning twice";
  EXPECT_EQ(timed.runs, 3);
  EXPECT_TRUE(ui.shown.empty());
  // The icon's tip: the next-backup text changes exactly when a scheduled hour begins
  // (the runs show their own text in between).
  std::vector<std::string> nextTexts;
  for (const auto& call : wf::Rec().icons)
    if (call.message == NIM_MODIFY && call.tip.rfind("Next backup:", 0) == 0 &&
        (nextTexts.empty() || nextTexts.back() != call.tip))
      nextTexts.push_back(call.tip);
  EXPECT_EQ(nextTexts.size(), scheduled.size()) << "one new text per scheduled hour";
}

TEST_F(TTickWeekTest, AnHourAfterALongGapStillTriggers) {
  // A run ends on Sunday 10:30, then the computer sleeps until Monday 9:10 (a scheduled
  // hour): the key of the run's hour must not be mistaken for Monday 9's.
  clock.now = WeekAt(1, 10, 10);
  timed.minutes = 20;
  Send(WMAPP_RUNNER_TRAY, kTrayIconId, kActivateLParam);
  clock.now = WeekAt(2, 9, 10);
  timed.minutes = 0;
  Send(WMAPP_RUNNER_TICK);
  EXPECT_EQ(triggers, std::vector<int>{2 * 24 + 9});
  clock.now = WeekAt(2, 9, 40);  // the same clock hour again: nothing more
  Send(WMAPP_RUNNER_TICK);
  EXPECT_EQ(triggers.size(), 1u);
}

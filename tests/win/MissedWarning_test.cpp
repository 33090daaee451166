// The missed-backup warning dialog, created in this process and read back control by
// control; its procedure's answers to Cancel, the close box and the countdown.
#include <gtest/gtest.h>

#include <cstdlib>

#include "DialogFit.h"
#include "DialogLayout.h"
#include "Launcher.h"
#include "Globals.h"
#include "IcmpAPI.h"
#include "PingUnit.h"
#include "MainWindow.h"
#include "Messages.h"
#include "MissedBackup.h"
#include "MissedBackupDialog.h"
#include "Snooze.h"
#include "WinPlatform.h"
#include "WinTestUtil.h"
#include "WindowFakes.h"
#include "Workers.h"
#include "uRunnerResource.h"

namespace {

class TRecordingUi : public IUi {
 public:
  std::vector<std::string> texts;
  int ShowBox(const std::string& text, const std::string&, unsigned) override {
    texts.push_back(text);
    return IDOK;
  }
};

std::string Text(HWND w) {
  char buf[512] = {};
  ::GetWindowTextA(w, buf, sizeof buf);
  return buf;
}

std::string ClassOf(HWND w) {
  char buf[64] = {};
  ::GetClassNameA(w, buf, sizeof buf);
  return buf;
}

class MissedWarningTest : public ::testing::Test {
 protected:
  wt::TTempDir dir{"missed"};
  TRecordingUi ui;
  HWND dlg = nullptr;

  void SetUp() override {
    InstallWinSeams();
    seams::SetUi(&ui);
    InstallDir = dir.Path();
    ProductName = "Stash9";
    dir.Write("resource.properties",
              "RUNNER_detected_internet=%s has detected an Internet connection.\n"
              "RUNNER_Not_backed_up=Not backed up for %d days.\n"
              "RUNNER_Backup_Now=Back up &now\nRUNNER_Cancel=&Cancel\nRUNNER_Snooze=&Snooze\n"
              "RUNNER_for=for\nRUNNER_dont_show_warning=Do not show this warning again\n"
              "RUNNER_min=min\nRUNNER_hour=hour\nRUNNER_hours=hours\n");
    dir.Write("zqbackup.properties", "scheduler.dayswarning=4\n");
    InitTextTable(dir.File("resource.properties"), 9);
    FillSnoozeChoices();
    CancelAllowed = true;
    SnoozeLimit = 3;
    SnoozeCount = 0;
  }
  void TearDown() override {
    if (dlg && ::IsWindow(dlg)) ::DestroyWindow(dlg);
    StopSnoozeRequested = true;
    FreeTextTable();
    seams::SetUi(nullptr);
  }
};

TEST_F(MissedWarningTest, SevenControlsAndTheirEnabling) {
  const struct {
    const char* what;
    bool cancelAllowed;
    int snoozeCount, snoozeLimit;
    bool cancelEnabled, snoozeEnabled;
  } cases[] = {
      {"everything allowed", true, 0, 3, true, true},
      {"cancelling not allowed", false, 0, 3, false, true},
      {"snooze limit reached", true, 2, 2, true, false},
      {"neither", false, 1, 0, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CancelAllowed = c.cancelAllowed;
    SnoozeCount = c.snoozeCount;
    SnoozeLimit = c.snoozeLimit;
    dlg = CreateMissedWarning("Line one\rLine two");
    ASSERT_TRUE(dlg);
    EXPECT_EQ(Text(dlg), "Stash9 has detected an Internet connection.");
    EXPECT_EQ((::GetWindowLongA(dlg, GWL_STYLE) & WS_SYSMENU) != 0, c.cancelAllowed)
        << "a close box only when cancelling is allowed";

    const struct {
      int id;
      const char* cls;
      const char* text;
      bool enabled;
    } controls[] = {
        {100, "Static", "Line one\rLine two", true},
        {101, "Button", "Do not show this warning again", c.cancelEnabled},
        {102, "Button", "Back up &now", true},
        {103, "Button", "&Cancel", c.cancelEnabled},
        {104, "Button", "&Snooze", c.snoozeEnabled},
        {105, "Static", "for", true},
        {106, "ComboBox", "5 min", c.snoozeEnabled},
    };
    int count = 0;
    for (HWND child = ::GetWindow(dlg, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
      ++count;
    EXPECT_EQ(count, 7);
    for (const auto& ctl : controls) {
      HWND w = ::GetDlgItem(dlg, ctl.id);
      ASSERT_TRUE(w) << ctl.id;
      EXPECT_STRCASEEQ(ClassOf(w).c_str(), ctl.cls) << ctl.id;
      EXPECT_EQ(Text(w), ctl.text) << ctl.id;
      EXPECT_EQ(::IsWindowEnabled(w) != FALSE, ctl.enabled) << ctl.id;
    }
    EXPECT_EQ(::SendDlgItemMessageA(dlg, 106, CB_GETCOUNT, 0, 0), 5);
    EXPECT_EQ(::SendDlgItemMessageA(dlg, 106, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(::GetWindowLongA(::GetDlgItem(dlg, 101), GWL_STYLE) & 0xF, BS_AUTOCHECKBOX);
    ::DestroyWindow(dlg);
  }
}

TEST_F(MissedWarningTest, ControlsSitWhereTheLayoutPutsThem) {
  dlg = CreateMissedWarning("Line one\rLine two");
  ASSERT_TRUE(dlg);
  EXPECT_TRUE(wt::DialogSizeIs(dlg, 300, 135, 0x10080842));
  const struct {
    int id;
    wt::TDialogUnits at;
    const char* what;
  } layout[] = {
      {100, {20, 10, 260, 60}, "message"},     {101, {20, 70, 300, 20}, "don't show"},
      {102, {25, 95, 65, 16}, "Backup Now"},   {103, {95, 95, 60, 16}, "Cancel"},
      {104, {160, 95, 60, 16}, "Snooze"},      {105, {223, 97, 10, 10}, "for"},
      {106, {235, 96, 40, 200}, "duration"},
  };
  for (const auto& c : layout)
    EXPECT_TRUE(wt::ControlAt(dlg, ::GetDlgItem(dlg, c.id), c.at)) << c.what;
}

// At 144 and 192 DPI nothing overlaps and every text fits, a long message and a long product
// name too: the message grows with the dialog, the title that cannot fit ends in "...".
TEST_F(MissedWarningTest, LaidOutAtEveryDpiWithLongTexts) {
  std::string many;
  for (int i = 0; i < 40; ++i) many += "Many words in a long message. ";
  for (const int dpi : {96, 144, 192}) {
    for (const bool longTexts : {false, true}) {
      SCOPED_TRACE(std::to_string(dpi) + " DPI" + (longTexts ? ", long texts" : ""));
      // Longer than a caption twice the width of the dialog at 192 DPI can show.
      ProductName = longTexts ? "Stash9 " + std::string(200, 'W') : std::string("Stash9");
      SetDpiOverride(dpi);
      dlg = CreateMissedWarning(longTexts ? many : "Line one\rLine two");
      ASSERT_TRUE(dlg);
      EXPECT_TRUE(wt::LaidOutCleanly(dlg));
      const std::string title = Text(dlg);
      const std::string full = ProductName + " has detected an Internet connection.";
      if (longTexts) {
        ASSERT_GT(title.size(), 3u);
        EXPECT_EQ(title.substr(title.size() - 3), "...");
        EXPECT_EQ(full.rfind(title.substr(0, title.size() - 3), 0), 0u) << title;
      } else {
        EXPECT_EQ(title, full);
      }
      ::DestroyWindow(dlg);
    }
  }
  SetDpiOverride(0);
}

TEST_F(MissedWarningTest, CountdownShowsOnTheButton) {
  dlg = CreateMissedWarning("message");
  ASSERT_TRUE(dlg);
  ::SendMessageA(dlg, WMAPP_RUNNER_COUNTDOWN, 42, 0);
  EXPECT_EQ(Text(::GetDlgItem(dlg, 102)), "Back up &now (42)");
  // The countdown thread counts from 60 on its own.
  EXPECT_TRUE(wt::WaitUntil([&] { return Text(::GetDlgItem(dlg, 102)) != "Back up &now (42)"; },
                            5000));
  const std::string shown = Text(::GetDlgItem(dlg, 102));
  ASSERT_EQ(shown.rfind("Back up &now (", 0), 0u) << shown;
  const int left = std::atoi(shown.c_str() + 14);
  EXPECT_GE(left, 50) << shown;
  EXPECT_LE(left, 60) << shown;
}

TEST_F(MissedWarningTest, CancelSavesTheBoxCloseSavesNothing) {
  dlg = CreateMissedWarning("message");
  ASSERT_TRUE(dlg);
  ::SendMessageA(dlg, WM_CLOSE, 0, 0);
  EXPECT_FALSE(::IsWindow(dlg));
  EXPECT_EQ(dir.Read("zqbackup.properties"), "scheduler.dayswarning=4\n");

  dlg = CreateMissedWarning("message");
  ::CheckDlgButton(dlg, 101, BST_CHECKED);
  ::SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(103, BN_CLICKED), 0);
  EXPECT_FALSE(::IsWindow(dlg));
  EXPECT_NE(dir.Read("zqbackup.properties").find("scheduler.displaywarning=OFF"),
            std::string::npos);

  dlg = CreateMissedWarning("message");
  ::SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(103, BN_CLICKED), 0);
  EXPECT_NE(dir.Read("zqbackup.properties").find("scheduler.displaywarning=ON"),
            std::string::npos);
  EXPECT_TRUE(ui.texts.empty());
}

// Esc is Cancel (the box's setting saved) and the close message ends it unsaved, both only
// where cancelling is allowed; tab stops in reading order; shown over the program the user
// types in without taking its focus, which goes to Backup Now once the user turns to it.
TEST_F(MissedWarningTest, KeyboardEscCloseAndFocus) {
  for (const bool allowed : {true, false}) {
    SCOPED_TRACE(allowed ? "cancelling allowed" : "cancelling forbidden");
    CancelAllowed = allowed;
    dir.Write("zqbackup.properties", "scheduler.dayswarning=4\n");
    for (const UINT way : {0u, static_cast<UINT>(WM_CLOSE)}) {
      dlg = CreateMissedWarning("message");
      ASSERT_TRUE(dlg);
      if (way == 0) wt::PressKey(dlg, VK_ESCAPE);
      else ::PostMessageA(dlg, WM_CLOSE, 0, 0);
      wt::PumpWaiting();
      EXPECT_EQ(::IsWindow(dlg) != FALSE, !allowed) << way;
      if (::IsWindow(dlg)) ::DestroyWindow(dlg);
    }
    EXPECT_EQ(dir.Read("zqbackup.properties").find("scheduler.displaywarning=ON") !=
                  std::string::npos,
              allowed)
        << "Esc saves as Cancel does";

    wt::TTypingWindow typing;
    dlg = CreateMissedWarning("message");
    ASSERT_TRUE(dlg);
    wt::PumpWaiting();
    EXPECT_TRUE(::IsWindowVisible(dlg));
    EXPECT_EQ(::GetFocus(), typing.get());
    EXPECT_EQ(wt::TabOrder(dlg), allowed ? std::vector<int>({101, 102, 103, 104, 106})
                                         : std::vector<int>({102, 104, 106}));
    ::SetForegroundWindow(dlg);
    wt::PumpWaiting();
    EXPECT_EQ(::GetFocus(), ::GetDlgItem(dlg, 102));
    ::DestroyWindow(dlg);
  }
  EXPECT_TRUE(ui.texts.empty());
}

TEST_F(MissedWarningTest, SnoozeStartsASnoozeWithoutCountingIt) {
  dlg = CreateMissedWarning("message");
  ASSERT_TRUE(dlg);
  ::SendDlgItemMessageA(dlg, 106, CB_SETCURSEL, 4, 0);
  ::SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(104, BN_CLICKED), 0);
  EXPECT_FALSE(::IsWindow(dlg));
  EXPECT_TRUE(SnoozeActive.load());
  EXPECT_EQ(SnoozeCount.load(), 0);
  EXPECT_EQ(dir.Read("zqbackup.properties"), "scheduler.dayswarning=4\n");
}

void BackdateLastBackup(const std::string& path, int days) {
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER t{{ft.dwLowDateTime, ft.dwHighDateTime}};
  t.QuadPart -= static_cast<ULONGLONG>(days) * 24 * 3600 * 10000000ULL;
  ft = {t.LowPart, t.HighPart};
  TFileHandle f(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(f);
  ::SetFileTime(f.get(), nullptr, nullptr, &ft);
}

TEST_F(MissedWarningTest, ShowMissedWarningOfDaysAndAgain) {
  BackdateLastBackup(dir.File("lastbackup.idx"), 5);
  dlg = ShowMissedWarning(kMissedDays);
  ASSERT_TRUE(dlg);
  EXPECT_EQ(CurrentDialog, dlg);
  EXPECT_EQ(Text(::GetDlgItem(dlg, 100)).rfind("Not backed up for 5 days.\r- ", 0), 0u);
  HWND again = ShowMissedWarning(0);
  ASSERT_TRUE(again);
  EXPECT_NE(again, dlg) << "the earlier warning is not closed";
  EXPECT_TRUE(::IsWindow(dlg));
  EXPECT_EQ(Text(::GetDlgItem(again, 100)).rfind("Not backed up for 5 days.", 0), 0u);
  ::DestroyWindow(again);
  EXPECT_EQ(CurrentDialog, nullptr) << "a destroyed warning is no longer fed messages";
}

// The tick's check with the program's own probes: the server is this machine.
TEST_F(MissedWarningTest, CheckMissedBackupPingsTheServer) {
  // Measured without PingHost, so that a PingHost that fails fails this test.
  if (!wt::LoopbackEchoes()) GTEST_SKIP() << "this host lets Wine send no ICMP echo";
  BackdateLastBackup(dir.File("lastbackup.idx"), 5);
  WarnMissedBackups = true;
  WarnAfterDays = 4;
  LastMissedWarningTime = kNoDateTime;
  CurrentDialog = nullptr;

  // WinInet is not bound in this process, so there is no proxy: without a server address
  // nothing is shown.
  ServerAddress.clear();
  CheckMissedBackup();
  EXPECT_EQ(CurrentDialog, nullptr);

  ServerAddress = "127.0.0.1";
  CheckMissedBackup();
  dlg = CurrentDialog;
  ASSERT_TRUE(dlg);
  EXPECT_EQ(Text(::GetDlgItem(dlg, 100)).rfind("Not backed up for 5 days.", 0), 0u);
  CheckMissedBackup();
  EXPECT_EQ(CurrentDialog, dlg) << "once a day";
  ServerAddress.clear();
}

// One reminder at a time: a snoozed warning that comes back counts as shown then; the
// will-start warning closes an open one and ends a snoozed one, whose return is dropped.
TEST_F(MissedWarningTest, OneAtATimeAndTheWillStartWarningTakesItsPlace) {
  wf::TAtomicClock clock;  // the snooze thread reads it too
  clock.now = EncodeDateTime({2026, 12, 7, 20, 0, 0, 0});
  seams::SetClock(&clock);
  LastMissedWarningTime = clock.now - 2;
  dlg = ShowMissedWarning(kMissedDays);
  ASSERT_TRUE(dlg);
  EXPECT_TRUE(MissedWarningOutstanding());
  ::SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(104, BN_CLICKED), 0);  // snooze
  EXPECT_FALSE(::IsWindow(dlg));
  EXPECT_TRUE(MissedWarningOutstanding()) << "snoozed";
  clock.Advance(3600);
  ShowMissedWarningAgain();  // what the snooze's end message does
  dlg = CurrentDialog;
  ASSERT_TRUE(dlg);
  EXPECT_EQ(LastMissedWarningTime, clock.now) << "back from its snooze it counts as shown";

  ShowWillStartWarning();
  HWND willStart = CurrentDialog;
  EXPECT_FALSE(::IsWindow(dlg)) << "the open reminder is closed";
  EXPECT_TRUE(WillStartWarningOpen());
  ::DestroyWindow(willStart);

  dlg = ShowMissedWarning(kMissedDays);
  ::SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(104, BN_CLICKED), 0);
  const unsigned generation = MissedSnoozeGeneration;
  ShowWillStartWarning();
  ::DestroyWindow(CurrentDialog);
  EXPECT_FALSE(MissedWarningOutstanding());
  EXPECT_NE(MissedSnoozeGeneration.load(), generation) << "its snooze thread ends silently";
  ShowMissedWarningAgain();  // a return posted just before: dropped
  EXPECT_EQ(CurrentDialog, nullptr);
  InstallWinSeams();
}

// Hides Icmp.dll from the program, as on a system without it: the server then counts as
// reachable, and the rule's own conditions decide.
HMODULE WINAPI LoadLibraryWithoutIcmp(LPCSTR name) {
  if (name && ::lstrcmpiA(name, "Icmp.dll") == 0) return nullptr;
  return ::LoadLibraryExA(name, nullptr, 0);
}

// The will-start warning snoozed for an hour while the days rule comes due: no reminder
// opens during the snooze, the warning is back at its end, and the reminder waits for it.
TEST_F(MissedWarningTest, ASnoozedWillStartWarningHoldsTheReminderUntilItIsBack) {
  wt::THookedImport noIcmp("kernel32.dll", "LoadLibraryA", &LoadLibraryWithoutIcmp);
  ASSERT_TRUE(noIcmp);
  ASSERT_TRUE(wt::WaitUntil([] { return !SnoozeRunning(); }, 5000)) << "an earlier snooze";
  wf::TLogWindow main;
  const HWND savedMain = MainWindow;
  MainWindow = main.hwnd;
  WorkerPassMs = 20;
  dir.Write("lastbackup.idx", "");
  wf::TAtomicClock clock;
  clock.now = LastBackupTime() + 1 - 300 / 86400.0;  // a day without backup in 5 minutes
  seams::SetClock(&clock);
  WarnMissedBackups = true;
  WarnAfterDays = 1;
  LastMissedWarningTime = kNoDateTime;
  ServerAddress = "192.0.2.1";
  CurrentDialog = nullptr;

  ShowWillStartWarning();
  HWND willStart = CurrentDialog;
  ASSERT_TRUE(willStart);
  ::SendDlgItemMessageA(willStart, 106, CB_SETCURSEL, 3, 0);  // 1 hour
  ::SendMessageA(willStart, WM_COMMAND, MAKEWPARAM(104, BN_CLICKED), 0);
  EXPECT_FALSE(::IsWindow(willStart));
  clock.Advance(6 * 60);
  ASSERT_TRUE(wt::WaitUntil([] { return GetTrayTip().find("(54m0s)") != std::string::npos; },
                            5000))
      << GetTrayTip();
  CheckMissedBackup();
  EXPECT_EQ(CurrentDialog, nullptr) << "a reminder beside the snooze";
  EXPECT_EQ(main.Count(WMAPP_RUNNER_SNOOZE_START), 0);

  clock.Advance(54 * 60 + 1);
  ASSERT_TRUE(wt::WaitUntil([&] { return main.Count(WMAPP_RUNNER_SNOOZE_START) == 1; }, 5000));
  ShowWillStartWarning();  // what the snooze's end message does
  willStart = CurrentDialog;
  ASSERT_TRUE(willStart);
  CheckMissedBackup();
  EXPECT_EQ(CurrentDialog, willStart) << "a reminder beside the will-start warning";
  ::SendMessageA(willStart, WM_COMMAND, MAKEWPARAM(103, BN_CLICKED), 0);  // Cancel
  CheckMissedBackup();
  dlg = CurrentDialog;
  ASSERT_TRUE(dlg) << "the reminder after the will-start warning was cancelled";
  EXPECT_EQ(Text(::GetDlgItem(dlg, 100)).rfind("Not backed up for 1 days.", 0), 0u);
  // Closed before the seams go back: its countdown must not read another clock.
  ::DestroyWindow(dlg);
  ServerAddress.clear();
  WorkerPassMs = kWorkerPassMs;
  MainWindow = savedMain;
  InstallWinSeams();
}

}  // namespace

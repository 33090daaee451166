// The worker threads with a movable clock: each runs as an owned thread (Start(false)) so
// the test can wait for its end; their windows belong to the test thread, which pumps.
#include <gtest/gtest.h>

#include "Globals.h"
#include "MainWindow.h"
#include "Messages.h"
#include "Snooze.h"
#include "WinTestUtil.h"
#include "WindowFakes.h"
#include "Workers.h"
#include "uRunnerResource.h"

namespace {

class TWorkersTest : public ::testing::Test {
 protected:
  TMemFileSystem fs;
  TScriptedUi ui;
  wf::TAtomicClock clock;

  void SetUp() override {
    seams::SetFs(&fs);
    seams::SetUi(&ui);
    seams::SetClock(&clock);
    fs.Put("C:\\Inst\\resource.properties",
           "RUNNER_Snoozing=Backup snoozed\nRUNNER_Do_you_want_to_backup_now=Back up %s now?\n");
    InitTextTable("C:\\Inst\\resource.properties", 0x0409);
    clock.now = EncodeDateTime({2026, 12, 7, 19, 0, 3, 0});
    SnoozeActive = false;
    StopSnoozeRequested = false;
    wf::InstallRecorder();
    wf::DrainQueue();
  }
  void TearDown() override {
    WindowCalls = DefaultWindowCalls();
    FreeTextTable();
    seams::SetFs(nullptr);
    seams::SetUi(nullptr);
    seams::SetClock(nullptr);
  }
  // Counts posted to `w`, in order.
  static std::vector<int> Counts(const wf::TLogWindow& w) {
    std::vector<int> counts;
    for (const auto& m : w.log)
      if (m.msg == WMAPP_RUNNER_COUNTDOWN) counts.push_back(static_cast<int>(static_cast<INT_PTR>(m.w)));
    return counts;
  }
};

}  // namespace

TEST_F(TWorkersTest, CountDownPostsItsCountsAndSendsTheCommandOnce) {
  wf::TLogWindow dialog;
  TCountDownThread thread(dialog.hwnd, 60, 105);
  ASSERT_TRUE(thread.Start(false));
  ASSERT_TRUE(wt::WaitUntil([&] { return !Counts(dialog).empty(); }, 5000));
  EXPECT_EQ(Counts(dialog).front(), 60);
  clock.Advance(30.5);
  ASSERT_TRUE(wt::WaitUntil([&] { return Counts(dialog).back() == 30; }, 5000));
  clock.Advance(29.5);  // 19:01:03
  ASSERT_TRUE(wt::WaitUntil([&] { return thread.Finished(); }, 5000));
  wt::WaitUntil([] { return false; }, 100);  // deliver what is still posted
  // The sent command overtakes the posted 0 in the dialog's queue (sent messages first).
  EXPECT_EQ(dialog.Count(WM_COMMAND), 1);
  for (const auto& m : dialog.log)
    if (m.msg == WM_COMMAND) {
      EXPECT_EQ(m.w, 105u);
    }
  const std::vector<int> counts = Counts(dialog);
  EXPECT_EQ(counts.back(), 0);
  for (size_t i = 1; i < counts.size(); ++i) EXPECT_LE(counts[i], counts[i - 1]);
}

TEST_F(TWorkersTest, CountDownLateStillEndsOnceWithANonPositiveCount) {
  wf::TLogWindow dialog;
  TCountDownThread thread(dialog.hwnd, 10, 222);
  clock.Advance(12);  // the thread was delayed past its end
  ASSERT_TRUE(thread.Start(false));
  ASSERT_TRUE(wt::WaitUntil([&] { return thread.Finished(); }, 5000));
  wt::WaitUntil([] { return false; }, 100);
  EXPECT_EQ(Counts(dialog), std::vector<int>{-2});
  EXPECT_EQ(dialog.Count(WM_COMMAND), 1);
}

TEST_F(TWorkersTest, CountDownEndsSilentlyWhenTheDialogGoes) {
  {
    wf::TLogWindow dialog;
    TCountDownThread thread(dialog.hwnd, 60, 105);
    ASSERT_TRUE(thread.Start(false));
    ASSERT_TRUE(wt::WaitUntil([&] { return !Counts(dialog).empty(); }, 5000));
    ::DestroyWindow(dialog.hwnd);
    clock.Advance(120);
    ASSERT_TRUE(wt::WaitUntil([&] { return thread.Finished(); }, 5000));
    EXPECT_EQ(dialog.Count(WM_COMMAND), 0);
  }
  // A dialog that could not be created (null handle) is never visible.
  TCountDownThread none(nullptr, 60, 105);
  ASSERT_TRUE(none.Start(false));
  EXPECT_TRUE(none.Join(5000));
}

TEST_F(TWorkersTest, SnoozeCountsDownInTheTipAndPostsItsMessage) {
  wf::TLogWindow main;
  clock.now = EncodeDateTime({2026, 12, 7, 19, 0, 20, 0});
  TSnoozeThread thread(5, WMAPP_RUNNER_SNOOZE_START, main.hwnd);
  EXPECT_TRUE(SnoozeRunning());
  ASSERT_TRUE(thread.Start(false));
  const auto tipIs = [](const char* text) {
    return [text] { return GetTrayTip() == text && wf::Rec().LastIconTip() == text; };
  };
  ASSERT_TRUE(wt::WaitUntil(tipIs("Backup snoozed (5m0s)"), 5000));
  clock.Advance(1);
  ASSERT_TRUE(wt::WaitUntil(tipIs("Backup snoozed (4m59s)"), 5000));
  clock.Advance(299);  // 19:05:20
  ASSERT_TRUE(wt::WaitUntil(tipIs("Backup snoozed (0s)"), 5000));
  EXPECT_EQ(main.Count(WMAPP_RUNNER_SNOOZE_START), 0);
  clock.Advance(1);  // 19:05:21
  ASSERT_TRUE(wt::WaitUntil([&] { return thread.Finished(); }, 5000));
  wt::WaitUntil([] { return false; }, 100);
  EXPECT_EQ(main.Count(WMAPP_RUNNER_SNOOZE_START), 1);
  EXPECT_FALSE(SnoozeRunning());
}

TEST_F(TWorkersTest, ClientRunEndsTheSnoozeSilently) {
  wf::TLogWindow main;
  TSnoozeThread thread(120, WMAPP_RUNNER_SNOOZE_WARNING, main.hwnd);
  ASSERT_TRUE(thread.Start(false));
  ASSERT_TRUE(wt::WaitUntil([] { return GetTrayTip() == "Backup snoozed (2h0m0s)"; }, 5000));
  ResetSnoozeForClientRun();
  clock.Advance(3 * 3600);
  ASSERT_TRUE(wt::WaitUntil([&] { return thread.Finished(); }, 5000));
  wt::WaitUntil([] { return false; }, 100);
  EXPECT_EQ(main.Count(WMAPP_RUNNER_SNOOZE_WARNING), 0);
  EXPECT_FALSE(SnoozeRunning());
}

TEST_F(TWorkersTest, MessageThreadAsksAndPostsTheAnswer) {
  const struct {
    int answer;
    UINT expected;
  } cases[] = {{6, WMAPP_RUNNER_SHUTDOWN_BACKUP}, {7, WMAPP_RUNNER_SHUTDOWN_NOBACKUP}, {1, WMAPP_RUNNER_SHUTDOWN_NOBACKUP}};
  for (const auto& c : cases) {
    wf::TLogWindow main;
    ui.shown.clear();
    ui.answers = {c.answer};
    TMessageThread thread(main.hwnd);
    thread.SetQuestion("Back up Stash9 now?");
    ASSERT_TRUE(thread.Start(false));
    ASSERT_TRUE(wt::WaitUntil([&] { return main.log.size() == 1; }, 5000));
    EXPECT_EQ(main.log[0].msg, c.expected) << c.answer;
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "Back up Stash9 now?");
    EXPECT_TRUE(thread.Join(5000));
  }
}

// Each pass of the timer thread begins with its wait in kernel32!WaitForSingleObject; this
// executable's import of it counts the timer thread's waits.
static std::atomic<DWORD> gTimerThreadId{0};
static std::atomic<int> gTimerWaits{0};
static DWORD WINAPI CountTimerWaits(HANDLE h, DWORD ms) {
  if (::GetCurrentThreadId() == gTimerThreadId) ++gTimerWaits;
  return ::WaitForSingleObjectEx(h, ms, FALSE);
}

TEST_F(TWorkersTest, TimerPostsTicksUntilCancelledAndNotWhilePaused) {
  wt::THookedImport waits("kernel32.dll", "WaitForSingleObject", &CountTimerWaits);
  ASSERT_TRUE(waits);
  wf::TLogWindow main;
  TTimerThread thread(main.hwnd, 10);
  ASSERT_TRUE(thread.Start(false));
  gTimerThreadId = thread.ThreadId();
  ASSERT_TRUE(wt::WaitUntil([&] { return main.Count(WMAPP_RUNNER_TICK) >= 3; }, 5000));
  thread.SetPaused(true);
  // A pass whose wait began after the pause reads the flag after it; a tick the pass then
  // under way decided on before may still come. What a pass posted is queued once the
  // thread waits again.
  const auto waitsReach = [&](int n) {
    return wt::WaitUntil([&] { return gTimerWaits >= n; }, 5000) &&
           wt::WaitUntil([] { return true; }, 0);  // delivers what is queued
  };
  ASSERT_TRUE(waitsReach(gTimerWaits + 1));
  const int paused = main.Count(WMAPP_RUNNER_TICK);
  ASSERT_TRUE(waitsReach(gTimerWaits + 2));  // a whole pass after that reading
  EXPECT_EQ(main.Count(WMAPP_RUNNER_TICK), paused);
  thread.SetPaused(false);
  ASSERT_TRUE(wt::WaitUntil([&] { return main.Count(WMAPP_RUNNER_TICK) > paused; }, 5000));
  thread.RequestCancel();
  EXPECT_TRUE(thread.Join(5000));
  for (const auto& m : main.log) EXPECT_EQ(m.w, 0u);
}

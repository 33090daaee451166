#include "Thread.h"

#include <gtest/gtest.h>

namespace {

class TCounter : public TThread {
 public:
  std::atomic<int> ticks{0};
  std::atomic<int>* destroyed = nullptr;
  ~TCounter() override {
    if (destroyed) ++*destroyed;
  }

 protected:
  void Execute() override {
    while (!SleepOrCancel(5)) ++ticks;
  }
};

class TThrower : public TThread {
 protected:
  void Execute() override { throw 42; }
};

}  // namespace

TEST(TThreadTest, RunsUntilCancelledAndJoins) {
  TCounter t;
  EXPECT_TRUE(t.Finished());
  ASSERT_TRUE(t.Start());
  EXPECT_FALSE(t.Finished());
  while (t.ticks < 3) ::Sleep(5);
  t.RequestCancel();
  EXPECT_TRUE(t.Join(5000));
  EXPECT_TRUE(t.Finished());
  EXPECT_TRUE(t.CancelRequested());
}

TEST(TThreadTest, SelfFreeingThreadDeletesItself) {
  std::atomic<int> destroyed{0};
  auto* t = new TCounter;
  t->destroyed = &destroyed;
  t->RequestCancel();  // Execute returns at once
  ASSERT_TRUE(t->Start(true));
  for (int i = 0; i < 500 && destroyed == 0; ++i) ::Sleep(5);
  EXPECT_EQ(destroyed, 1);
}

TEST(TThreadTest, ExceptionEndsOnlyTheWorker) {
  TThrower t;
  ASSERT_TRUE(t.Start());
  EXPECT_TRUE(t.Join(5000));
  EXPECT_TRUE(t.Finished());
}

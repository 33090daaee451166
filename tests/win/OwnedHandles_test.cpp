// The per-kind counts of TOwned (OwnedHandles), which the soak test reads where Wine keeps
// no count of its own: a handle is counted while an owner holds it, through moves, and
// uncounted when closed or handed out.
#include <gtest/gtest.h>

#include "WinUtil.h"

namespace {

HANDLE NewEvent() { return ::CreateEventA(nullptr, TRUE, FALSE, nullptr); }

}  // namespace

TEST(OwnedHandlesTest, CountsWhatTheOwnersHold) {
  const long before = OwnedHandles[kHandleKernel];
  const auto held = [before] { return OwnedHandles[kHandleKernel] - before; };
  {
    TKernelHandle a(NewEvent());
    EXPECT_EQ(held(), 1);
    TKernelHandle b(std::move(a));
    EXPECT_EQ(held(), 1) << "a move hands the one handle on";
    TKernelHandle c;
    c = std::move(b);
    EXPECT_EQ(held(), 1);
    c.reset(NewEvent());
    EXPECT_EQ(held(), 1) << "reset closes the old handle and holds the new one";
    HANDLE raw = c.release();
    EXPECT_EQ(held(), 0) << "a released handle is the caller's";
    ::CloseHandle(raw);
    TKernelHandle empty(nullptr);
    EXPECT_EQ(held(), 0);
    TKernelHandle d(NewEvent()), e(NewEvent());
    EXPECT_EQ(held(), 2);
    d = std::move(e);
    EXPECT_EQ(held(), 1) << "the assigned-to owner closed its own first";
    TKernelHandle f(NewEvent());
    EXPECT_EQ(held(), 2);
  }
  EXPECT_EQ(held(), 0) << "every owner closed what it held";

  const long gdi = OwnedHandles[kHandleGdi];
  {
    TGdiObject brush(::CreateSolidBrush(RGB(1, 2, 3)));
    EXPECT_EQ(OwnedHandles[kHandleGdi], gdi + 1);
    EXPECT_EQ(OwnedHandles[kHandleKernel], before) << "each kind counts apart";
  }
  EXPECT_EQ(OwnedHandles[kHandleGdi], gdi);
}

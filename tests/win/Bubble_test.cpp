// The bubble window, created in this process: class, title, placement in the work area,
// growth to its text, repaints by its thread, one window for two requests, closing.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "Bubble.h"
#include "DialogFit.h"
#include "WinTestUtil.h"

namespace {

// Counts WM_PAINT by subclassing the bubble (the original procedure still paints).
WNDPROC OriginalProc = nullptr;
int Paints = 0;
LRESULT CALLBACK CountingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_PAINT) ++Paints;
  return ::CallWindowProcA(OriginalProc, w, m, wp, lp);
}

RECT WorkArea() {
  RECT r;
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
  return r;
}

class BubbleTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (HWND b = FindBubble()) ::DestroyWindow(b);
  }
};

TEST_F(BubbleTest, PlacedInWorkAreaCornerAndRepainted) {
  ShowBubbleFor(nullptr, "Backup status");
  HWND b = FindBubble();
  ASSERT_TRUE(b);
  char name[64];
  ::GetClassNameA(b, name, sizeof name);
  EXPECT_STREQ(name, "S9BubbleClass");
  ::GetWindowTextA(b, name, sizeof name);
  EXPECT_STREQ(name, "S9BubbleWindow");
  EXPECT_TRUE(::GetWindowLongA(b, GWL_EXSTYLE) & WS_EX_TOPMOST);
  // Windows adds WS_CLIPSIBLINGS to every top-level window; the rest is ours.
  EXPECT_EQ(static_cast<DWORD>(::GetWindowLongA(b, GWL_STYLE)) & ~DWORD{WS_CLIPSIBLINGS},
            DWORD{WS_POPUP | WS_VISIBLE | WS_BORDER});

  OriginalProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(b, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));
  Paints = 0;
  // The thread invalidates every 300 ms; painting happens here as messages are pumped.
  EXPECT_TRUE(wt::WaitUntil([] { return Paints >= 4; }, 10000)) << Paints;

  const RECT work = WorkArea();
  RECT r;
  ::GetWindowRect(b, &r);
  EXPECT_EQ(r.right, work.right);
  EXPECT_EQ(r.bottom, work.bottom);
  EXPECT_EQ(r.right - r.left, kBubbleWidth);
  EXPECT_GT(r.bottom - r.top, 4) << "the first paint gives it the height of its text";
  const int oneLine = r.bottom - r.top;

  // A second request only changes the text; a longer one grows the bubble upwards.
  ShowBubbleFor(nullptr, "A much longer status text that needs several lines at this width");
  EXPECT_EQ(FindBubble(), b);
  EXPECT_EQ(BubbleText(), "A much longer status text that needs several lines at this width");
  EXPECT_TRUE(wt::WaitUntil([&] {
    ::GetWindowRect(b, &r);
    return r.bottom - r.top > oneLine;
  }, 5000));
  EXPECT_EQ(r.bottom, work.bottom);

  ::PostMessageA(b, WM_CLOSE, 0, 0);
  EXPECT_TRUE(wt::WaitUntil([&] { return !::IsWindow(b); }, 5000));
  EXPECT_FALSE(FindBubble());
}

// At 144 and 192 DPI the bubble is wider in proportion and its font (hence one line of
// text) taller than at 96 DPI.
TEST_F(BubbleTest, ScalesWithTheScreenDpi) {
  int line96 = 0;
  for (const int dpi : {96, 144, 192}) {
    SetDpiOverride(dpi);
    ShowBubbleFor(nullptr, "Backup");
    HWND b = FindBubble();
    ASSERT_TRUE(b);
    RECT r = {};
    EXPECT_TRUE(wt::WaitUntil([&] {
      ::GetWindowRect(b, &r);
      return r.bottom - r.top > 4;
    }, 5000));
    EXPECT_EQ(r.right - r.left, ::MulDiv(kBubbleWidth, dpi, 96)) << dpi;
    if (dpi == 96) line96 = r.bottom - r.top;
    else EXPECT_GT(r.bottom - r.top, line96) << dpi;
    ::DestroyWindow(b);
  }
  SetDpiOverride(0);
}

// Whether each paint of the bubble drew its text: any pixel of the client area that is not
// the background, read back right after the paint.
std::vector<bool> TextDrawn;
LRESULT CALLBACK SamplingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  const LRESULT result = ::CallWindowProcA(OriginalProc, w, m, wp, lp);
  if (m == WM_PAINT) {
    RECT r;
    ::GetClientRect(w, &r);
    HDC dc = ::GetDC(w);
    const COLORREF background = ::GetSysColor(COLOR_INFOBK);
    bool text = false;
    for (int y = 0; y < r.bottom && !text; ++y)
      for (int x = 0; x < r.right && !text; ++x) text = ::GetPixel(dc, x, y) != background;
    ::ReleaseDC(w, dc);
    TextDrawn.push_back(text);
  }
  return result;
}

// The text blinks (drawn on every other paint), and stays steady with the system's
// animations switched off. The setting is changed for this session only (no
// SPIF_UPDATEINIFILE) and put back.
TEST_F(BubbleTest, TextBlinksUnlessAnimationsAreOff) {
  BOOL before = TRUE;
  ASSERT_TRUE(::SystemParametersInfoA(0x1042, 0, &before, 0));  // SPI_GETCLIENTAREAANIMATION
  for (const bool animate : {true, false}) {
    ::SystemParametersInfoA(0x1043, 0, reinterpret_cast<void*>(static_cast<INT_PTR>(animate)), 0);
    BOOL now = !animate;
    ::SystemParametersInfoA(0x1042, 0, &now, 0);
    if ((now != FALSE) != animate) {
      ::SystemParametersInfoA(0x1043, 0, reinterpret_cast<void*>(static_cast<INT_PTR>(before)), 0);
      GTEST_SKIP() << "SPI_SETCLIENTAREAANIMATION is not kept here";
    }
    ShowBubbleFor(nullptr, "Backup status");
    HWND b = FindBubble();
    ASSERT_TRUE(b);
    TextDrawn.clear();
    OriginalProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(b, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SamplingProc)));
    EXPECT_TRUE(wt::WaitUntil([] { return TextDrawn.size() >= 5; }, 10000));
    // Blinking: some paint left the text out; steady: every paint drew it.
    EXPECT_EQ(std::count(TextDrawn.begin(), TextDrawn.end(), false) > 0, animate) << animate;
    ::DestroyWindow(b);
  }
  ::SystemParametersInfoA(0x1043, 0, reinterpret_cast<void*>(static_cast<INT_PTR>(before)), 0);
}

TEST_F(BubbleTest, DefaultTextAndClickCloses) {
  ShowBubbleFor(nullptr, "");
  HWND b = FindBubble();
  ASSERT_TRUE(b);
  EXPECT_NE(BubbleText(), "") << "the click-to-view text takes the place of an empty one";
  // No Java client runs: a right click only closes the bubble.
  ::SendMessageA(b, WM_RBUTTONUP, 0, 0);
  EXPECT_FALSE(::IsWindow(b));

  ShowBubbleFor(nullptr, "again");
  b = FindBubble();
  ASSERT_TRUE(b);
  CloseBubble();
  EXPECT_TRUE(wt::WaitUntil([&] { return !::IsWindow(b); }, 5000));
}

}  // namespace

#include "Bubble.h"

#include <atomic>

#include "ClientWindow.h"
#include "DialogFit.h"
#include "Globals.h"
#include "Thread.h"
#include "WinUtil.h"
#include "uRunnerResource.h"

namespace {

// Written on the GUI thread only; the bubble thread reads just the window handle.
std::string Text;
std::atomic<HWND> Window{nullptr};
TGdiObject Font;
bool BlinkOn = false;

// Repaints its bubble every 300 ms while it is visible; painting itself stays on the GUI
// thread (InvalidateRect only queues WM_PAINT there). Frees itself when the window is gone.
// It keeps the handle it was started for, so a thread of a closed bubble never repaints
// the next one.
class TBubbleThread : public TThread {
 public:
  explicit TBubbleThread(HWND bubble) : bubble_(bubble) {}

 protected:
  void Execute() override {
    while (!CancelRequested() && Window.load() == bubble_ && ::IsWindowVisible(bubble_)) {
      RECT r;
      ::GetClientRect(bubble_, &r);
      ::InvalidateRect(bubble_, &r, TRUE);
      if (SleepOrCancel(kBubbleRepaintMs)) return;
    }
  }

 private:
  HWND bubble_;
};

int CALLBACK TakeSansSerif(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM found) {
  if (std::string(font->lfFaceName) != "MS Sans Serif") return 1;
  *reinterpret_cast<LOGFONTA*>(found) = *font;
  return 0;  // stop: the first face of that name is taken
}

// "MS Sans Serif" when the screen has it; else the all-zero font, the system default. At
// another DPI than 96 the face's first size is scaled to it (the system font too).
HFONT CreateBubbleFont(int dpi) {
  LOGFONTA font = {};
  HDC screen = ::GetDC(nullptr);
  ::EnumFontsA(screen, nullptr, TakeSansSerif, reinterpret_cast<LPARAM>(&font));
  if (dpi != kBaseDpi) {
    if (font.lfHeight == 0) {
      TEXTMETRICA metrics = {};
      ::SelectObject(screen, ::GetStockObject(SYSTEM_FONT));
      ::GetTextMetricsA(screen, &metrics);
      font.lfHeight = metrics.tmHeight;
    }
    font.lfHeight = ::MulDiv(font.lfHeight, dpi, kBaseDpi);
    font.lfWidth = ::MulDiv(font.lfWidth, dpi, kBaseDpi);
  }
  ::ReleaseDC(nullptr, screen);
  return ::CreateFontIndirectA(&font);
}

// SPI_GETCLIENTAREAANIMATION (Vista and later; older systems answer false and always animate).
bool ClientAreaAnimation() {
  BOOL on = TRUE;
  if (!::SystemParametersInfoA(0x1042, 0, &on, 0)) return true;
  return on != FALSE;
}

void OnPaint(HWND w) {
  RECT r;
  ::GetClientRect(w, &r);
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(w, &ps);
  HGDIOBJ oldFont = ::SelectObject(dc, Font.get());
  ::SetBkMode(dc, TRANSPARENT);
  ::FillRect(dc, &r, reinterpret_cast<HBRUSH>(COLOR_INFOBK + 1));
  r.left += 1;
  // With the system's animations switched off (an accessibility setting for people affected
  // by flashing) the text stays steady.
  BlinkOn = !BlinkOn || !ClientAreaAnimation();
  if (BlinkOn) ::DrawTextA(dc, Text.c_str(), -1, &r, DT_WORDBREAK);
  const int h = ::DrawTextA(dc, Text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK);
  // Grow or shrink upwards to fit the text: the bottom edge stays where it is.
  RECT wr;
  ::GetWindowRect(w, &wr);
  ::MoveWindow(w, wr.left, wr.bottom - (h + 3), wr.right - wr.left, h + 3, TRUE);
  ::SelectObject(dc, oldFont);
  ::EndPaint(w, &ps);
}

LRESULT CALLBACK BubbleProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT:
      OnPaint(w);
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      ActivateClientWindow();
      ::DestroyWindow(w);
      return 0;
    case WM_CLOSE:
      ::DestroyWindow(w);
      return 0;
    case kWmDpiChanged: {
      // On a monitor of another DPI: its font and width for that DPI, the right edge kept
      // (the next paint fits the height).
      const int dpi = LOWORD(wp);
      Font.reset(CreateBubbleFont(dpi));
      RECT r;
      ::GetWindowRect(w, &r);
      const int width = ScaleForDpi(kBubbleWidth, dpi);
      ::MoveWindow(w, r.right - width, r.top, width, r.bottom - r.top, TRUE);
      return 0;
    }
    case WM_NCDESTROY:
      // The thread sees the handle gone at its next look. The font belongs to this
      // bubble; the next one makes its own.
      Window.store(nullptr);
      ::DefWindowProcA(w, msg, wp, lp);
      Font.reset();
      return 0;
    default:
      return ::DefWindowProcA(w, msg, wp, lp);
  }
}

}  // namespace

HWND FindBubble() { return ::FindWindowA(kBubbleClass, kBubbleTitle); }

std::string BubbleText() { return Text; }

void ShowBubble(HWND owner, const std::string& text) {
  Text = text.empty() ? FormatText("RUNNER_click_to_view_status", {ProductName}) : text;
  if (FindBubble()) return;

  RECT work = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);

  const HINSTANCE instance = ::GetModuleHandleA(nullptr);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = BubbleProc;
  wc.hInstance = instance;
  wc.lpszClassName = kBubbleClass;
  ::RegisterClassA(&wc);  // fails harmlessly once the class exists

  // At the screen's DPI: 105 pixels wide at 96 DPI.
  const int dpi = WindowDpi(nullptr);
  const int width = ScaleForDpi(kBubbleWidth, dpi);
  Font.reset(CreateBubbleFont(dpi));
  BlinkOn = false;
  // One pixel of client area at first: the first paint gives it the height of its text.
  // (A window only one pixel high in all would have no client area inside its border, so
  // it would never be painted and never grow.)
  const int height = 1 + 2 * ::GetSystemMetrics(SM_CYBORDER);
  HWND w = ::CreateWindowExA(WS_EX_TOPMOST, kBubbleClass, kBubbleTitle,
                             WS_POPUP | WS_VISIBLE | WS_BORDER, work.right - width,
                             work.bottom - height, width, height, owner, nullptr, instance,
                             nullptr);
  if (!w) {
    Font.reset();
    return;
  }
  Window.store(w);
  (new TBubbleThread(w))->Start(true);  // frees itself, also when it cannot start
}

void ShowBubbleFor(void* window, const std::string& text) {
  ShowBubble(static_cast<HWND>(window), text);
}

void CloseBubble() {
  if (HWND w = FindBubble()) ::PostMessageA(w, WM_CLOSE, 0, 0);
}

// Reading a dialog's layout back: a control's rectangle compared with the rectangle in
// dialog units that its template gave, converted with the dialog's own units
// (MapDialogRect), as the dialog manager converted it when it created the control.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace wt {

struct TDialogUnits {
  int x, y, cx, cy;
};

inline std::string Describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
         std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

// Wine, where a few measures differ from Windows (see the callers).
inline bool RunningOnWine() {
  return ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// `units` in pixels of `dialog`, converted as the dialog manager converts a template
// item: position and size each on their own (so a size does not depend on the position's
// rounding).
inline RECT DialogPixels(HWND dialog, const TDialogUnits& units) {
  RECT r = {units.x, units.y, units.cx, units.cy};
  ::MapDialogRect(dialog, &r);
  return RECT{r.left, r.top, r.left + r.right, r.top + r.bottom};
}

// The dialog has the template's size: the dialog manager sizes the window so that a window
// of the template's `style` would have a client area of cx by cy dialog units. (A dialog
// without WS_POPUP is an overlapped window, which always gets a caption, so its actual
// client area is smaller by the caption's height.)
inline ::testing::AssertionResult DialogSizeIs(HWND dialog, int cx, int cy, DWORD style) {
  RECT window;
  ::GetWindowRect(dialog, &window);
  RECT expected = DialogPixels(dialog, {0, 0, cx, cy});
  ::AdjustWindowRectEx(&expected, style, FALSE,
                       static_cast<DWORD>(::GetWindowLongA(dialog, GWL_EXSTYLE)));
  if (window.right - window.left == expected.right - expected.left &&
      window.bottom - window.top == expected.bottom - expected.top)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "window " << Describe(window) << ", template " << cx
                                       << "x" << cy << " = " << Describe(expected);
}

// The control sits where the template put it. A combo box's template height is its height
// with the list open: CB_GETDROPPEDCONTROLRECT gives that on Windows. Wine 8 gives the
// list's part alone, below the closed box, and keeps the list's height from before the
// dialog's font made the closed box a few pixels lower: there the closed box and the list
// together are compared, within 4 pixels.
inline ::testing::AssertionResult ControlAt(HWND dialog, HWND control, const TDialogUnits& units) {
  if (!control) return ::testing::AssertionFailure() << "no such control";
  char cls[32] = {};
  ::GetClassNameA(control, cls, sizeof cls);
  RECT actual;
  ::GetWindowRect(control, &actual);
  const RECT expected = DialogPixels(dialog, units);
  LONG slack = 0;
  if (lstrcmpiA(cls, "ComboBox") == 0) {
    RECT dropped;
    ::SendMessageA(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    const LONG closed = actual.bottom - actual.top;
    actual.bottom = actual.top + (dropped.bottom - dropped.top) + (RunningOnWine() ? closed : 0);
    if (RunningOnWine()) slack = 4;
  }
  ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
  if (actual.left == expected.left && actual.top == expected.top &&
      actual.right == expected.right && actual.bottom <= expected.bottom &&
      actual.bottom >= expected.bottom - slack)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << cls << " at " << Describe(actual) << ", template " << units.x << "," << units.y << " "
         << units.cx << "x" << units.cy << " = " << Describe(expected);
}

}  // namespace wt

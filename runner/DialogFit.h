// The program's windows at the screen's DPI, and dialog labels that fit their texts. The
// manifest declares per-monitor DPI awareness, so Windows scales nothing for us: dialogs
// from templates come out at the system DPI (their font decides), windows sized in pixels
// at 96 DPI. GUI thread (the splash thread for its own window).
#pragma once
#include <windows.h>

constexpr int kBaseDpi = 96;
constexpr UINT kWmDpiChanged = 0x02E0;  // WM_DPICHANGED (Windows 8.1 and later)

// `value` (pixels at 96 DPI) at `dpi`.
inline int ScaleForDpi(int value, int dpi) { return ::MulDiv(value, dpi, kBaseDpi); }

// The DPI at which the dialog manager and the system fonts work (LOGPIXELSY of the screen).
int SystemDpi();
// The DPI of the monitor that `window` is on (GetDpiForWindow, Windows 10, bound at run
// time), else the system DPI. Null: the primary screen's.
int WindowDpi(HWND window);
// Tests: every window counts as being on a monitor of `dpi` (0 ends it).
void SetDpiOverride(int dpi);

// Lays out a dialog created from a template (by the dialog manager, at the system DPI) for
// `dpi`: controls, sizes and font scaled from the DPI it has now; then every text label
// (and check box) whose text does not fit grows, wider or taller, moving the controls
// beside or below it and growing the dialog, as far as the work area allows; a title that
// does not fit the caption ends in "...". At the system DPI with texts that fit nothing
// changes. FitDialog(dialog) uses the window's DPI. A dialog that changes is centred on the
// work area, or on `around` (screen coordinates) when given.
void FitDialog(HWND dialog, int dpi, const RECT* around = nullptr);
inline void FitDialog(HWND dialog) { FitDialog(dialog, WindowDpi(dialog)); }
// WM_DPICHANGED of a dialog laid out by FitDialog: laid out anew for the new DPI, where
// Windows suggests (on the monitor it moved to).
void OnDialogDpiChanged(HWND dialog, WPARAM wParam, LPARAM lParam);

// Helpers of the dialogs created from in-memory templates: the program's icon, the
// keyboard, showing a warning without activating it. Win32 layer.
#pragma once
#include <windows.h>

// Sets the large icon of the dialog's class (the standard dialog class, shared by all the
// program's dialogs) to the "MAINICON" resource, loaded shared at the default size; a
// shared icon is never destroyed, so setting it again is harmless.
inline void SetDialogClassIcon(HWND dialog) {
  HANDLE icon = ::LoadImageA(::GetModuleHandleA(nullptr), "MAINICON", IMAGE_ICON, 0, 0,
                             LR_SHARED | LR_DEFAULTSIZE);
  if (dialog && icon) ::SetClassLongPtrA(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
}

// --- the keyboard and the activation of the program's warnings ---

// Template styles of controls the keyboard reaches: WS_TABSTOP on every control that can be
// worked, WS_GROUP on the first of each run of them (reading order = template order).
constexpr DWORD kTabStop = WS_TABSTOP;
constexpr DWORD kFirstTabStop = WS_TABSTOP | WS_GROUP;

// The dialog's Cancel button (`cancelId`) is there and enabled: only then do Esc (IDCANCEL)
// and the close message (Alt+F4, or another program posting WM_CLOSE) end the dialog.
inline bool CancelEnabled(HWND dialog, int cancelId) {
  HWND cancel = ::GetDlgItem(dialog, cancelId);
  return cancel && ::IsWindowEnabled(cancel);
}

// WM_ACTIVATE of a dialog: when the user turns to it and the focus is not on one of its
// controls yet, it goes to the default push button, or else to the first tab stop.
inline void FocusFirstControlOnActivation(HWND dialog, WPARAM wParam) {
  if (LOWORD(wParam) == WA_INACTIVE || ::IsIconic(dialog)) return;
  HWND focus = ::GetFocus();
  if (focus && ::IsChild(dialog, focus)) return;
  HWND first = ::GetNextDlgTabItem(dialog, nullptr, FALSE);
  HWND chosen = first;
  for (HWND item = first; item;) {
    char cls[16] = {};
    ::GetClassNameA(item, cls, sizeof cls);
    if (lstrcmpiA(cls, "Button") == 0 &&
        (::GetWindowLongA(item, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON) {
      chosen = item;
      break;
    }
    item = ::GetNextDlgTabItem(dialog, item, FALSE);
    if (item == first) break;
  }
  if (chosen) ::SetFocus(chosen);
}

// Shows a warning that was created hidden: on top of other windows but not activated (the
// user may be typing in another program, whose keys must not land in the warning), with a
// taskbar button that flashes until the user turns to it with a click or Alt+Tab.
inline void ShowWithoutActivation(HWND dialog) {
  if (!dialog) return;
  const LONG ex = ::GetWindowLongA(dialog, GWL_EXSTYLE);
  ::SetWindowLongA(dialog, GWL_EXSTYLE, ex | WS_EX_APPWINDOW);  // a taskbar button, though owned
  ::SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  // FlashWindowEx (Windows 98 and 2000 on) bound at run time: Windows 95 has FlashWindow
  // alone, which flashes once.
  using TFlashWindowEx = BOOL(WINAPI*)(PFLASHWINFO);
  const auto flashEx = reinterpret_cast<TFlashWindowEx>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("user32.dll"), "FlashWindowEx")));
  FLASHWINFO flash = {sizeof flash, dialog, FLASHW_TRAY | FLASHW_TIMERNOFG, 0, 0};
  if (flashEx)
    flashEx(&flash);
  else
    ::FlashWindow(dialog, TRUE);
}

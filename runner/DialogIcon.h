// Gives a dialog created from an in-memory template the program's icon. Win32 layer.
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

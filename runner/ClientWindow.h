// The Java client's hidden window ("KorvelBackupWindowClass"/"KorvelBackupWindow"): its
// existence tells that the client runs; WM_CLIENT_ACTIVATE 123/515 makes it come forward.
#pragma once
#include <windows.h>

HWND FindClientWindow();
// Brings the client's window to the foreground and posts it the activation message.
// False when the client's window does not exist.
bool ActivateClientWindow();

#include "ClientWindow.h"

#include "Messages.h"

HWND FindClientWindow() { return ::FindWindowA(kClientWindowClass, kClientWindowTitle); }

bool ActivateClientWindow() {
  HWND client = FindClientWindow();
  if (!client) return false;
  ::SetForegroundWindow(client);
  ::PostMessageA(client, WMAPP_CLIENT_ACTIVATE, kActivateWParam, kActivateLParam);
  return true;
}

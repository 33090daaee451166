#include "ClientWindow.h"

#include "Messages.h"

HWND FindClientWindow() { return ::FindWindowA(kClientWindowClass, kClientWindowTitle); }

bool ActivateClientWindow() {
  HWND client = FindClientWindow();
  if (!client) return false;
  // The client's window is hidden; giving it the foreground first lets the client bring
  // its own frame forward when it handles the message (Windows lets only the foreground
  // process pass the foreground on).
  ::SetForegroundWindow(client);
  // Posted, not sent: a busy client must not block the tray.
  ::PostMessageA(client, WMAPP_CLIENT_ACTIVATE, kActivateWParam, kActivateLParam);
  return true;
}

#include <windows.h>

#include "IsConnected.h"
#include "IcmpAPI.h"
#include "WinUtil.h"

namespace {

using TGetConnectedState = BOOL(WINAPI*)(LPDWORD flags, DWORD reserved);

TModule WinInetModule;
TGetConnectedState GetConnectedState = nullptr;
bool WinInetTried = false;  // bound, or found missing: not tried again until FreeWinInet

}  // namespace

void LoadWinInet(const char* name) {
  GetConnectedState = nullptr;
  WinInetTried = true;
  WinInetModule.reset(::LoadLibraryA(name));
  if (WinInetModule)
    GetConnectedState = reinterpret_cast<TGetConnectedState>(
        reinterpret_cast<void*>(::GetProcAddress(WinInetModule.get(), "InternetGetConnectedState")));
}

void FreeWinInet() {
  GetConnectedState = nullptr;
  WinInetModule.reset();
  WinInetTried = false;
}

TConnectionState QueryConnectionState() {
  // Bound at the first question, not at start-up: under Wine WinInet brings a dozen more
  // libraries, and the question comes only when a missed-backup warning could be due.
  if (!WinInetTried) LoadWinInet();
  TConnectionState s;
  s.bound = GetConnectedState != nullptr;
  if (!s.bound) return s;
  DWORD flags = 0;
  s.callOk = GetConnectedState(&flags, 0) != FALSE;
  s.flags = flags;
  return s;
}

bool InternetConnected() { return ConnectedFrom(QueryConnectionState()); }

bool ProxyConnected() { return ProxyFrom(QueryConnectionState()); }

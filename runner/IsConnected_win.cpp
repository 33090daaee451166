#include <windows.h>

#include "IsConnected.h"
#include "IcmpAPI.h"
#include "WinUtil.h"

namespace {

using TGetConnectedState = BOOL(WINAPI*)(LPDWORD flags, DWORD reserved);

TModule WinInetModule;
TGetConnectedState GetConnectedState = nullptr;

}  // namespace

void LoadWinInet() {
  GetConnectedState = nullptr;
  WinInetModule.reset(::LoadLibraryA("WinInet.dll"));
  if (WinInetModule)
    GetConnectedState = reinterpret_cast<TGetConnectedState>(
        reinterpret_cast<void*>(::GetProcAddress(WinInetModule.get(), "InternetGetConnectedState")));
}

void FreeWinInet() {
  GetConnectedState = nullptr;
  WinInetModule.reset();
}

TConnectionState QueryConnectionState() {
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

// Module initialisation binds both optional libraries; start-up releases the ICMP one
// again early (ServerReachable loads it for the span of each call).
void LoadConnectionLibraries() {
  LoadWinInet();
  LoadIcmpLibrary();
}

void ReleaseIcmpLibrary() { FreeIcmpLibrary(); }

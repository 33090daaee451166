// Connection state as Windows reports it through WinInet. WinInet is bound at run time
// ("WinInet.dll", "InternetGetConnectedState"): systems without it are normal, and then
// InternetConnected is true and ProxyConnected false.
#pragma once

// Flags of InternetGetConnectedState.
constexpr unsigned kConnectionModem = 1;
constexpr unsigned kConnectionLan = 2;
constexpr unsigned kConnectionProxy = 4;

// What one InternetGetConnectedState call said, turned into the two answers. `bound` is
// false when the entry point is missing; `callOk` is the call's result; `flags` its flags.
struct TConnectionState {
  bool bound = false;
  bool callOk = false;
  unsigned flags = 0;
};
// Unbound: connected. Call failed: not connected. Else any of modem, LAN or proxy.
bool ConnectedFrom(const TConnectionState& s);
// Only a bound, successful call with the proxy flag.
bool ProxyFrom(const TConnectionState& s);

// Binds WinInet (module initialisation) and releases it (finalisation). Repeated calls
// are harmless. GUI thread.
void LoadWinInet();
void FreeWinInet();
// Asks WinInet afresh each time. Any thread; no lock (the binding does not change after
// start-up).
TConnectionState QueryConnectionState();
bool InternetConnected();
bool ProxyConnected();

// Module initialisation binds WinInet and Icmp.dll; start-up releases Icmp.dll again early
// (ServerReachable loads it for the span of each call).
void LoadConnectionLibraries();
void ReleaseIcmpLibrary();

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

// Binds WinInet (`name` for a test: a library that does not exist stands for a system
// without it), and releases it (finalisation). Repeated calls are harmless. GUI thread.
void LoadWinInet(const char* name = "WinInet.dll");
void FreeWinInet();
// Asks WinInet afresh each time, binding it at the first question (a missing library is
// not looked for again until FreeWinInet). GUI thread.
TConnectionState QueryConnectionState();
bool InternetConnected();
bool ProxyConnected();

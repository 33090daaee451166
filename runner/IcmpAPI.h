// Run-time binding of the ICMP helper library "Icmp.dll". Its absence is a normal state:
// PingHost then raises "ICMP.DLL could not be found!". GUI thread only: the binding is
// replaced by every ServerReachable call, so two callers must not overlap.
#pragma once
#include <windows.h>

// Entry points as Icmp.dll exports them (IcmpSendEcho fills ICMP_ECHO_REPLY records).
using TIcmpCreateFile = HANDLE(WINAPI*)();
using TIcmpCloseHandle = BOOL(WINAPI*)(HANDLE icmp);
using TIcmpSendEcho = DWORD(WINAPI*)(HANDLE icmp, ULONG destination, LPVOID requestData,
                                     WORD requestSize, LPVOID requestOptions,
                                     LPVOID replyBuffer, DWORD replySize, DWORD timeoutMs);

struct TIcmpEntryPoints {
  TIcmpCreateFile createFile = nullptr;
  TIcmpCloseHandle closeHandle = nullptr;
  TIcmpSendEcho sendEcho = nullptr;
};

// Clears the entry points, loads "Icmp.dll" and resolves the three of them (each stays
// null when missing).
void LoadIcmpLibrary();
// Releases the module. The entry points are cleared too, so nothing can call into an
// unloaded library.
void FreeIcmpLibrary();
// The current binding (all null while the library is not loaded).
const TIcmpEntryPoints& IcmpEntryPoints();

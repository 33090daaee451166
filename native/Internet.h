// Run-time WinINet binding for the proxy natives.
#pragma once
#include <windows.h>

namespace nativa {

using TQueryOptionFn = BOOL(WINAPI*)(void* internet, DWORD option, void* buffer, DWORD* bytes);

// Bound once, on the first query; a failure is permanent for the process.
struct TInetBinding {
  // 0: not tried; 1: one thread is binding; 2: bound or failed (the fields below are
  // written before the state becomes 2 and only read after it).
  volatile LONG state = 0;
  bool failed = false;
  HMODULE module = nullptr;
  TQueryOptionFn queryOption = nullptr;
};

TInetBinding& Inet();
// The library the binding loads ("wininet"); tests name a missing one.
extern const char* InetLibraryName;

}  // namespace nativa

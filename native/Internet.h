// Run-time WinINet binding for the proxy natives.
#pragma once
#include <windows.h>

namespace nativa {

using TQueryOptionFn = BOOL(WINAPI*)(void* internet, DWORD option, void* buffer, DWORD* bytes);

// Bound once, on the first query; a failure is permanent for the process.
struct TInetBinding {
  bool tried = false;
  bool failed = false;
  HMODULE module = nullptr;
  TQueryOptionFn queryOption = nullptr;
};

TInetBinding& Inet();
// The library the binding loads ("wininet"); tests name a missing one.
extern const char* InetLibraryName;

}  // namespace nativa

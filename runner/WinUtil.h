// Move-only owners for Win32 handles and a few one-line helpers. Win32 layer only.
#pragma once
#include <windows.h>

#include <string>
#include <utility>

template <typename Traits>
class TOwned {
 public:
  using Handle = typename Traits::Handle;
  TOwned() = default;
  explicit TOwned(Handle h) : h_(h) {}
  TOwned(const TOwned&) = delete;
  TOwned& operator=(const TOwned&) = delete;
  TOwned(TOwned&& o) noexcept : h_(o.release()) {}
  TOwned& operator=(TOwned&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~TOwned() { reset(); }

  Handle get() const { return h_; }
  Handle release() { return std::exchange(h_, Traits::Invalid()); }
  void reset(Handle h = Traits::Invalid()) {
    if (h_ != Traits::Invalid()) Traits::Close(h_);
    h_ = h;
  }
  explicit operator bool() const { return h_ != Traits::Invalid(); }

 private:
  Handle h_ = Traits::Invalid();
};

struct TFileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct TKernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct TFindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};
struct TRegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::RegCloseKey(h); }
};
struct TModuleTraits {
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::FreeLibrary(h); }
};
struct TWindowTraits {
  using Handle = HWND;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DestroyWindow(h); }
};
struct TMenuTraits {
  using Handle = HMENU;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DestroyMenu(h); }
};
struct TGdiTraits {
  using Handle = HGDIOBJ;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};

using TFileHandle = TOwned<TFileHandleTraits>;
using TKernelHandle = TOwned<TKernelHandleTraits>;
using TFindHandle = TOwned<TFindHandleTraits>;
using TRegKey = TOwned<TRegKeyTraits>;
using TModule = TOwned<TModuleTraits>;
using TWindow = TOwned<TWindowTraits>;
using TMenu = TOwned<TMenuTraits>;
using TGdiObject = TOwned<TGdiTraits>;

// Enters a CRITICAL_SECTION for the scope.
class TLock {
 public:
  TLock() { ::InitializeCriticalSection(&cs_); }
  ~TLock() { ::DeleteCriticalSection(&cs_); }
  TLock(const TLock&) = delete;
  TLock& operator=(const TLock&) = delete;
  void Enter() { ::EnterCriticalSection(&cs_); }
  void Leave() { ::LeaveCriticalSection(&cs_); }

 private:
  CRITICAL_SECTION cs_;
};

class TLockGuard {
 public:
  explicit TLockGuard(TLock& l) : l_(l) { l_.Enter(); }
  ~TLockGuard() { l_.Leave(); }
  TLockGuard(const TLockGuard&) = delete;
  TLockGuard& operator=(const TLockGuard&) = delete;

 private:
  TLock& l_;
};

// Throws TRunnerError built from GetLastError() and FormatMessage.
[[noreturn]] void ThrowLastError(const char* what);

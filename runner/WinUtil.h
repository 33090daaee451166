// Move-only owners for Win32 handles and a few one-line helpers. Win32 layer only.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>
#include <utility>

// The kinds of handle the owners below hold, one per traits type.
enum THandleKind : int {
  kHandleFile, kHandleKernel, kHandleFind, kHandleRegKey, kHandleModule, kHandleWindow,
  kHandleMenu, kHandleGdi, kHandleKinds
};
// How many handles of each kind TOwned owners hold at this moment: taken in (constructed
// with or reset to a valid handle) minus given back (closed, or handed out by release()).
// A long-run test reads them where the system keeps no count of its own (Wine reports no
// GDI or USER object counts); a count that keeps growing is a wrapper's handle left behind.
inline std::atomic<long> OwnedHandles[kHandleKinds];

template <typename Traits>
class TOwned {
 public:
  using Handle = typename Traits::Handle;
  TOwned() = default;
  explicit TOwned(Handle h) : h_(h) { Note(+1); }
  TOwned(const TOwned&) = delete;
  TOwned& operator=(const TOwned&) = delete;
  TOwned(TOwned&& o) noexcept : h_(std::exchange(o.h_, Traits::Invalid())) {}
  TOwned& operator=(TOwned&& o) noexcept {
    if (this != &o) {
      Drop();
      h_ = std::exchange(o.h_, Traits::Invalid());
    }
    return *this;
  }
  ~TOwned() { Drop(); }

  Handle get() const { return h_; }
  Handle release() {
    Note(-1);
    return std::exchange(h_, Traits::Invalid());
  }
  void reset(Handle h = Traits::Invalid()) {
    Drop();
    h_ = h;
    Note(+1);
  }
  explicit operator bool() const { return h_ != Traits::Invalid(); }

 private:
  void Drop() {
    if (h_ == Traits::Invalid()) return;
    Traits::Close(h_);
    Note(-1);
    h_ = Traits::Invalid();
  }
  // Counts the held handle in or out; nothing for an empty owner.
  void Note(long delta) const {
    if (h_ != Traits::Invalid())
      OwnedHandles[Traits::kKind].fetch_add(delta, std::memory_order_relaxed);
  }

  Handle h_ = Traits::Invalid();
};

struct TFileHandleTraits {
  static constexpr int kKind = kHandleFile;
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct TKernelHandleTraits {
  static constexpr int kKind = kHandleKernel;
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct TFindHandleTraits {
  static constexpr int kKind = kHandleFind;
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};
struct TRegKeyTraits {
  static constexpr int kKind = kHandleRegKey;
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::RegCloseKey(h); }
};
struct TModuleTraits {
  static constexpr int kKind = kHandleModule;
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::FreeLibrary(h); }
};
struct TWindowTraits {
  static constexpr int kKind = kHandleWindow;
  using Handle = HWND;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DestroyWindow(h); }
};
struct TMenuTraits {
  static constexpr int kKind = kHandleMenu;
  using Handle = HMENU;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DestroyMenu(h); }
};
struct TGdiTraits {
  static constexpr int kKind = kHandleGdi;
  using Handle = HGDIOBJ;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};

struct TChangeNotificationTraits {
  static constexpr int kKind = kHandleFind;
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindCloseChangeNotification(h); }
};

using TFileHandle = TOwned<TFileHandleTraits>;
using TKernelHandle = TOwned<TKernelHandleTraits>;
using TFindHandle = TOwned<TFindHandleTraits>;
using TChangeNotification = TOwned<TChangeNotificationTraits>;
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

// Natives of com.stowly.guinative.DesktopIndicator: the hidden "KorvelBackupWindow" owned by
// one native indicator thread, and the icon and window-restore helpers.
//
// Threads: nativeEnable/nativeDisable run on Java threads and reach the indicator thread only
// through thread messages. The indicator thread alone creates and destroys the windows, calls
// fireClicked and frees handlers. gLock guards the handler list and the thread record, so
// that the thread never ends while a create request is on its way to it: a disable quickly
// followed by an enable either reaches the running thread or starts a new one.
#include <windows.h>

#include <com_stowly_guinative_DesktopIndicator.h>
#include <shellapi.h>

#include <string.h>

#include "JniUtil.h"
#include "NativaState.h"

namespace nativa {
namespace {

constexpr UINT kRequestMessage = WM_USER;          // thread message: wParam code, lParam handler
constexpr UINT kActivateMessage = WM_USER + 1;     // posted by ZqRunner to the window
constexpr LPARAM kActivateLParam = WM_LBUTTONDBLCLK;  // 515
static_assert(WM_LBUTTONDBLCLK == 515, "double-click message number");
enum TRequest : WPARAM { kCreate = 1, kUpdate = 2, kDestroy = 3 };
constexpr const char* kClassName = "KorvelBackupWindowClass";
constexpr const char* kWindowTitle = "KorvelBackupWindow";

// One enabled indicator. The Java object's `handler` field holds `cookie` while it is enabled.
struct TIndicatorHandler {
  HWND window = nullptr;
  jint image = 0;
  jobject indicator = nullptr;  // global reference
  char* tooltip = nullptr;      // kept, not displayed
  jmethodID clicked = nullptr;
  jfieldID handlerField = nullptr;
  jint cookie = 0;
  bool destroyRequested = false;
  TIndicatorHandler* next = nullptr;
};

// The indicator thread finds its own JNI environment with GetEnv: when one indicator thread
// ends and the next starts, a shared environment field would be overwritten by the wrong one.
struct TIndicatorThread {
  DWORD threadId = 0;      // 0 when no thread runs (or the running one is ending)
  JavaVM* vm = nullptr;
  int count = 0;           // indicators created or queued for creation, not yet destroyed
};

// A critical section, not an SRW lock: the library must load on Windows XP. Set up when the
// library is loaded and never deleted: the indicator thread may outlive the detach.
struct TIndicatorLock {
  CRITICAL_SECTION section;
  TIndicatorLock() { ::InitializeCriticalSection(&section); }
};
TIndicatorLock gLock;
TIndicatorThread gThread;
TIndicatorHandler* gHandlers = nullptr;
#ifdef _WIN64
jint gLastCookie = 0;
#endif

struct TLockGuard {
  TLockGuard() { ::EnterCriticalSection(&gLock.section); }
  ~TLockGuard() { ::LeaveCriticalSection(&gLock.section); }
};

// The value stored in the Java int field: the handler's address on i686; on x86_64, where an
// address does not fit, a counter.
jint NewCookie(TIndicatorHandler* h) {
#ifdef _WIN64
  (void)h;
  if (++gLastCookie == 0) ++gLastCookie;
  return gLastCookie;
#else
  return static_cast<jint>(reinterpret_cast<INT_PTR>(h));
#endif
}

TIndicatorHandler* FindHandler(jint cookie) {
  for (TIndicatorHandler* h = gHandlers; h; h = h->next)
    if (cookie != 0 && h->cookie == cookie) return h;
  return nullptr;
}

bool IsLiveHandler(TIndicatorHandler* target) {
  for (TIndicatorHandler* h = gHandlers; h; h = h->next)
    if (h == target) return true;
  return false;
}

char* CopyText(const char* text) {
  if (!text) return nullptr;
  size_t n = strlen(text) + 1;
  char* copy = new char[n];
  memcpy(copy, text, n);
  return copy;
}

LRESULT CALLBACK IndicatorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kActivateMessage && lParam == kActivateLParam) {
    auto* h = reinterpret_cast<TIndicatorHandler*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    JNIEnv* env = nullptr;
    if (h && gThread.vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_2) == JNI_OK && env) {
      env->CallVoidMethod(h->indicator, h->clicked);
      // An exception thrown by the Java listener must not stay pending on this thread.
      if (env->ExceptionCheck()) env->ExceptionClear();
    }
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

void ShowFailure(const char* caption) { ::MessageBoxA(nullptr, " ", caption, MB_OK); }

void CreateIndicatorWindow(TIndicatorHandler* h) {
  WNDCLASSEXA wc;
  ZeroMemory(&wc, sizeof wc);
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = IndicatorWindowProc;
  wc.lpszClassName = kClassName;
  // The class outlives each indicator (and each indicator thread); finding it already
  // registered is the normal case for every window after the first.
  if (!::RegisterClassExA(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    char caption[9];
    DWORD error = ::GetLastError();
    int i = 8;
    caption[i] = '\0';
    do {
      caption[--i] = "0123456789abcdef"[error & 15];
      error >>= 4;
    } while (error && i > 0);
    ShowFailure(caption + i);
    return;
  }
  HWND window = ::CreateWindowExA(0, kClassName, kWindowTitle, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  nullptr, nullptr);
  if (!window) {
    ShowFailure(" ");
    return;
  }
  ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(h));
  TLockGuard lock;
  if (IsLiveHandler(h)) h->window = window;
}

// Frees `h` on the indicator thread. Returns true when it was the last indicator: the thread
// record is cleared and the thread must end.
// Unlinks and frees `h`, clearing the Java field when it still names `h`; gLock held.
HWND ReleaseHandlerLocked(JNIEnv* env, TIndicatorHandler* h) {
  if (env) {
    // A newer handler may already stand in the field (enable after disable): keep it.
    if (env->GetIntField(h->indicator, h->handlerField) == h->cookie)
      env->SetIntField(h->indicator, h->handlerField, 0);
    env->DeleteGlobalRef(h->indicator);
  }
  HWND window = h->window;
  delete[] h->tooltip;
  delete h;
  return window;
}

bool DestroyHandler(JNIEnv* env, TIndicatorHandler* h) {
  HWND window;
  {
    TLockGuard lock;
    TIndicatorHandler** link = &gHandlers;
    while (*link && *link != h) link = &(*link)->next;
    if (!*link) return false;  // not ours: ignore
    *link = h->next;
    window = ReleaseHandlerLocked(env, h);
  }
  if (window) {
    ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);  // the handler is gone
    ::DestroyWindow(window);
  }
  TLockGuard lock;
  if (--gThread.count > 0) return false;
  gThread.threadId = 0;
  return true;
}

struct TThreadStart {
  HANDLE ready;
};

DWORD WINAPI IndicatorThreadMain(LPVOID param) {
  JNIEnv* env = nullptr;
  if (gThread.vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK) env = nullptr;
  // Create the message queue before the starter posts its first request.
  MSG msg;
  ::PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  ::SetEvent(static_cast<TThreadStart*>(param)->ready);
  bool last = false;
  while (!last && ::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    // Requests are thread messages only: a window message 1024 from another program must not
    // be taken for a handler address.
    if (msg.message == kRequestMessage && !msg.hwnd) {
      auto* h = reinterpret_cast<TIndicatorHandler*>(msg.lParam);
      if (msg.wParam == kCreate) {
        CreateIndicatorWindow(h);
      } else if (msg.wParam == kDestroy && h) {
        last = DestroyHandler(env, h);
      }
      continue;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  if (!last) {
    // WM_QUIT from outside: the windows die with this thread, so release every indicator (its
    // Java field reads 0 again) and let the next enable start a new thread.
    TLockGuard lock;
    while (TIndicatorHandler* h = gHandlers) {
      gHandlers = h->next;
      ReleaseHandlerLocked(env, h);
    }
    gThread.threadId = 0;
    gThread.count = 0;
  }
  JavaVM* vm = gThread.vm;
  if (env) vm->DetachCurrentThread();
  return 0;
}

// Starts the indicator thread; called with gLock held. Returns false when it could not start.
bool StartIndicatorThread(JNIEnv* env) {
  if (env->GetJavaVM(&gThread.vm) != JNI_OK) return false;
  TThreadStart start = {::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  if (!start.ready) return false;
  DWORD id = 0;
  HANDLE thread = ::CreateThread(nullptr, 0, IndicatorThreadMain, &start, 0, &id);
  if (thread) {
    HANDLE waits[] = {start.ready, thread};
    ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    ::CloseHandle(thread);
    gThread.threadId = id;
  }
  ::CloseHandle(start.ready);
  return thread != nullptr;
}

jfieldID HandlerField(JNIEnv* env, jobject indicator, jni::TLocalRef<jclass>& cls) {
  if (!indicator) {
    jni::ThrowNullPointer(env);
    return nullptr;
  }
  return env->GetFieldID(cls.get(), "handler", "I");
}

void Enable(JNIEnv* env, jobject indicator, jint image, jstring tooltip) {
  jni::TJUtf8 tip(env, tooltip, true);
  if (!tip.ok()) return;
  jni::TLocalRef<jclass> cls(env, indicator ? env->GetObjectClass(indicator) : nullptr);
  jfieldID field = HandlerField(env, indicator, cls);
  if (!field) return;
  jmethodID clicked = env->GetMethodID(cls.get(), "fireClicked", "()V");
  if (!clicked) return;
  char* tipCopy = CopyText(tip.get());

  TLockGuard lock;
  TIndicatorHandler* h = FindHandler(env->GetIntField(indicator, field));
  if (h && !h->destroyRequested) {
    h->image = image;
    delete[] h->tooltip;
    h->tooltip = tipCopy;
    ::PostThreadMessageA(gThread.threadId, kRequestMessage, kUpdate, reinterpret_cast<LPARAM>(h));
    return;
  }
  jobject global = env->NewGlobalRef(indicator);
  if (!global) {
    delete[] tipCopy;
    return;
  }
  h = new (std::nothrow) TIndicatorHandler;
  if (!h) {
    env->DeleteGlobalRef(global);
    delete[] tipCopy;
    return;
  }
  h->image = image;
  h->indicator = global;
  h->tooltip = tipCopy;
  h->clicked = clicked;
  h->handlerField = field;
  h->cookie = NewCookie(h);
  h->next = gHandlers;
  gHandlers = h;
  env->SetIntField(indicator, field, h->cookie);
  // The thread's queue exists once it has started (it signals after creating it), and the
  // thread cannot end while this lock is held, so one post suffices.
  const bool started = gThread.threadId != 0 || StartIndicatorThread(env);
  if (started &&
      ::PostThreadMessageA(gThread.threadId, kRequestMessage, kCreate, reinterpret_cast<LPARAM>(h))) {
    ++gThread.count;
    return;
  }
  // No thread, or the request did not reach it: undo the link, so that the Java object is
  // not left pointing at a handler no thread will ever serve and a later enable starts afresh.
  gHandlers = h->next;
  ReleaseHandlerLocked(env, h);
}

void Disable(JNIEnv* env, jobject indicator) {
  jni::TLocalRef<jclass> cls(env, indicator ? env->GetObjectClass(indicator) : nullptr);
  jfieldID field = HandlerField(env, indicator, cls);
  if (!field) return;
  TLockGuard lock;
  TIndicatorHandler* h = FindHandler(env->GetIntField(indicator, field));
  // One destroy request per handler: a second one would free it twice.
  if (!h || h->destroyRequested) return;
  if (::PostThreadMessageA(gThread.threadId, kRequestMessage, kDestroy, reinterpret_cast<LPARAM>(h)))
    h->destroyRequested = true;
}

}  // namespace

HWND FindStoredTitleWindow() { return StoredTitle ? ::FindWindowA(nullptr, StoredTitle) : nullptr; }

}  // namespace nativa

using namespace nativa;

void JNICALL Java_com_stowly_guinative_DesktopIndicator_nativeEnable(JNIEnv* env, jobject self, jint image,
                                                                     jstring tooltip) {
  jni::Guarded(env, [&] {
    jni::CacheExceptionClasses(env);
    Enable(env, self, image, tooltip);
  });
}

void JNICALL Java_com_stowly_guinative_DesktopIndicator_nativeDisable(JNIEnv* env, jobject self) {
  jni::Guarded(env, [&] {
    jni::CacheExceptionClasses(env);
    Disable(env, self);
  });
}

jint JNICALL Java_com_stowly_guinative_DesktopIndicator_nativeLoadImage(JNIEnv* env, jclass, jstring path) {
  return jni::Guarded(env, jint(-1), [&] {
    jni::CacheExceptionClasses(env);
    jni::TJUtf8 file(env, path);
    if (!file.ok()) return jint(-1);
    HICON icon = ::ExtractIconA(LibraryInstance, file.get(), 0);
    return icon ? JavaIntOf(icon) : jint(-1);
  });
}

jint JNICALL Java_com_stowly_guinative_DesktopIndicator_nativeFreeImage(JNIEnv*, jclass, jint image) {
  return ::DestroyIcon(static_cast<HICON>(HandleFromInt(image)));
}

jint JNICALL Java_com_stowly_guinative_DesktopIndicator_nativeRestoreWindow(JNIEnv*, jclass) {
  if (!StoredTitle) return 0;
  HWND window = FindStoredTitleWindow();
  ::ShowWindow(window, SW_RESTORE);
  return ::SetForegroundWindow(window);
}

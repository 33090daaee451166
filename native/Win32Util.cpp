// Natives of com.stowly.guinative.Win32Util: window search, posting and showing.
#include <com_stowly_guinative_Win32Util.h>

#include "JniUtil.h"
#include "NativaState.h"

using namespace nativa;

jint JNICALL Java_com_stowly_guinative_Win32Util_findWindow(JNIEnv* env, jclass, jstring className, jstring title) {
  return jni::Guarded(env, jint(0), [&] {
    jni::CacheExceptionClasses(env);
    jni::TJUtf8 cls(env, className, true);  // null: any class
    if (!cls.ok()) return jint(0);
    jni::TJUtf8 text(env, title);
    if (!text.ok()) return jint(0);
    return JavaIntOf(::FindWindowA(cls.get(), text.get()));
  });
}

jint JNICALL Java_com_stowly_guinative_Win32Util_sendMessage(JNIEnv*, jclass, jint window, jint message, jint wParam,
                                                             jint lParam) {
  // Posted, not sent: the caller must not hang on a busy window.
  return ::PostMessageA(static_cast<HWND>(HandleFromInt(window)), static_cast<UINT>(message),
                        static_cast<WPARAM>(static_cast<DWORD>(wParam)), static_cast<LPARAM>(lParam));
}

jint JNICALL Java_com_stowly_guinative_Win32Util_showWindow(JNIEnv*, jclass, jint window, jint command) {
  return ::ShowWindow(static_cast<HWND>(HandleFromInt(window)), command);
}

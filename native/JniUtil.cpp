#include "JniUtil.h"

#include <string.h>

namespace jni {
namespace {

// Weak so the classes stay unloadable; a cleared reference is looked up again by name.
jweak gNullPointerClass = nullptr;
jweak gExceptionClass = nullptr;

void ThrowCached(JNIEnv* env, jweak cached, const char* name, const char* message) {
  TLocalRef<jclass> cls(env, static_cast<jclass>(cached ? env->NewLocalRef(cached) : nullptr));
  if (cls) {
    env->ThrowNew(cls.get(), message);
    return;
  }
  Throw(env, name, message);
}

}  // namespace

void CacheExceptionClasses(JNIEnv* env) {
  if (gNullPointerClass) return;
  const char* names[] = {"java/lang/NullPointerException", "java/lang/Exception"};
  jweak* slots[] = {&gNullPointerClass, &gExceptionClass};
  for (int i = 0; i < 2; ++i) {
    TLocalRef<jclass> cls(env, env->FindClass(names[i]));
    if (!cls) return;
    *slots[i] = env->NewWeakGlobalRef(cls.get());
  }
}

void Throw(JNIEnv* env, const char* className, const char* message) {
  TLocalRef<jclass> cls(env, env->FindClass(className));
  if (cls) env->ThrowNew(cls.get(), message);
}

void ThrowNullPointer(JNIEnv* env) {
  ThrowCached(env, gNullPointerClass, "java/lang/NullPointerException", "");
}

void ThrowException(JNIEnv* env, const char* message) {
  ThrowCached(env, gExceptionClass, "java/lang/Exception", message);
}

void ThrowLastError(JNIEnv* env, const char* className, DWORD error) {
  TLocalText text(SystemErrorText(error));
  if (className)
    Throw(env, className, text.get());
  else
    ThrowException(env, text.get());
}

char* SystemErrorText(DWORD error) {
  char* text = nullptr;
  DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, 0x0400, reinterpret_cast<char*>(&text), 0, nullptr);
  if (n == 0 || !text) {
    if (text) ::LocalFree(text);
    text = static_cast<char*>(::LocalAlloc(LMEM_FIXED, 255));
    if (!text) throw std::bad_alloc();
    strcpy(text, "no error message");
  }
  // System texts end in CR LF; cut there so the Java message is one clean line.
  size_t len = strlen(text);
  if (len >= 3 && text[len - 2] == '\r') text[len - 2] = '\0';
  return text;
}

TWideCopy CopyJavaStringWide(JNIEnv* env, jstring text) {
  if (!text) {
    ThrowNullPointer(env);
    return nullptr;
  }
  jsize len = env->GetStringLength(text);
  const jchar* chars = env->GetStringChars(text, nullptr);
  if (!chars) return nullptr;
  TWideCopy copy(new (std::nothrow) wchar_t[len + 1]);
  if (copy) {
    memcpy(copy.get(), chars, len * sizeof(jchar));
    copy[len] = L'\0';
  }
  env->ReleaseStringChars(text, chars);
  if (!copy) throw std::bad_alloc();
  return copy;
}

TJUtf8::TJUtf8(JNIEnv* env, jstring text, bool allowNull) : env_(env), text_(text) {
  if (!text) {
    if (allowNull)
      ok_ = true;
    else
      ThrowNullPointer(env);
    return;
  }
  chars_ = env->GetStringUTFChars(text, nullptr);
  ok_ = chars_ != nullptr;
}

TJUtf8::~TJUtf8() {
  if (chars_) env_->ReleaseStringUTFChars(text_, chars_);
}

bool CheckBounds(JNIEnv* env, jarray array, jint offset, jint length) {
  jsize size = env->GetArrayLength(array);
  if (offset < 0 || length < 0 || offset > size || length > size - offset) {
    Throw(env, kArrayBounds, "offset or length outside the array");
    return false;
  }
  return true;
}

}  // namespace jni

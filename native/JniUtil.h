// JNI helpers shared by every native of Nativa.dll: guarded string and array access,
// the only places that raise Java exceptions, and the export guard.
#pragma once
#include <windows.h>
#include <jni.h>
#include <memory>
#include <new>

static_assert(sizeof(jchar) == sizeof(WCHAR), "Java chars and Win32 wide chars are both UTF-16");

namespace jni {

constexpr const char* kIOException = "java/io/IOException";
constexpr const char* kArrayBounds = "java/lang/ArrayIndexOutOfBoundsException";

// Fills the process-wide weak references to java.lang.NullPointerException and
// java.lang.Exception when they are still empty. A failing lookup leaves its exception pending.
void CacheExceptionClasses(JNIEnv* env);

// Raise `className` (looked up by name at each call) with `message`. When the lookup fails
// the VM's own error stays pending and nothing else is raised.
void Throw(JNIEnv* env, const char* className, const char* message);
// Raise java.lang.NullPointerException (cached class) with an empty message.
void ThrowNullPointer(JNIEnv* env);
// Raise java.lang.Exception (cached class) with `message`.
void ThrowException(JNIEnv* env, const char* message);
// Raise `className` (java.io.IOException or, with cached = true, java.lang.Exception) with the
// system text of `error`.
void ThrowLastError(JNIEnv* env, const char* className, DWORD error);

// The system's text for a Win32 error code, allocated with LocalAlloc (free with LocalFree);
// "no error message" when the system has none; a trailing CR LF is cut off. Never null.
char* SystemErrorText(DWORD error);

// Owns LocalAlloc'ed text (SystemErrorText).
struct TLocalText {
  explicit TLocalText(char* text) : text_(text) {}
  ~TLocalText() { ::LocalFree(text_); }
  TLocalText(const TLocalText&) = delete;
  TLocalText& operator=(const TLocalText&) = delete;
  const char* get() const { return text_; }
 private:
  char* text_;
};

using TWideCopy = std::unique_ptr<wchar_t[]>;
// A zero-terminated heap copy of the string's UTF-16 units. A null string raises
// NullPointerException (empty message); null is returned then, or when the VM gave no
// characters (its exception stays pending).
TWideCopy CopyJavaStringWide(JNIEnv* env, jstring text);

// A Java string as a zero-terminated UTF-16 copy for the wide Win32 calls; false after the
// copy raised (null string) or found an exception.
class TJString {
 public:
  TJString(JNIEnv* env, jstring text) : copy_(CopyJavaStringWide(env, text)) {}
  explicit operator bool() const { return copy_ != nullptr; }
  const wchar_t* get() const { return copy_.get(); }
 private:
  TWideCopy copy_;
};

// The string's modified UTF-8 bytes, pinned for the object's lifetime and handed unchanged to
// the ANSI Win32 functions (no code-page conversion: only ASCII travels faithfully).
// A null string raises NullPointerException unless `allowNull`; ok() is false then, or when
// the VM gave no bytes.
class TJUtf8 {
 public:
  TJUtf8(JNIEnv* env, jstring text, bool allowNull = false);
  ~TJUtf8();
  TJUtf8(const TJUtf8&) = delete;
  TJUtf8& operator=(const TJUtf8&) = delete;
  bool ok() const { return ok_; }
  const char* get() const { return chars_; }  // null for an allowed null string
 private:
  JNIEnv* env_;
  jstring text_;
  const char* chars_ = nullptr;
  bool ok_ = false;
};

// Critical (pinned, no copy) access to a byte array for the span of one Win32 call.
// No JNI call may be made while it is held. Release copies back (mode 0).
class TJByteArray {
 public:
  TJByteArray(JNIEnv* env, jbyteArray array)
      : env_(env), array_(array),
        data_(static_cast<BYTE*>(env->GetPrimitiveArrayCritical(array, nullptr))) {}
  ~TJByteArray() {
    if (data_) env_->ReleasePrimitiveArrayCritical(array_, data_, 0);
  }
  TJByteArray(const TJByteArray&) = delete;
  TJByteArray& operator=(const TJByteArray&) = delete;
  BYTE* get() const { return data_; }
 private:
  JNIEnv* env_;
  jarray array_;
  BYTE* data_;
};

// Element access to an int[] (ordinary, not critical); released with copy-back.
class TJIntArray {
 public:
  TJIntArray(JNIEnv* env, jintArray array)
      : env_(env), array_(array), data_(env->GetIntArrayElements(array, nullptr)) {}
  ~TJIntArray() {
    if (data_) env_->ReleaseIntArrayElements(array_, data_, 0);
  }
  TJIntArray(const TJIntArray&) = delete;
  TJIntArray& operator=(const TJIntArray&) = delete;
  jint* get() const { return data_; }
 private:
  JNIEnv* env_;
  jintArray array_;
  jint* data_;
};

// Deletes a local reference when it goes out of scope.
template <class T = jobject>
class TLocalRef {
 public:
  TLocalRef(JNIEnv* env, T ref) : env_(env), ref_(ref) {}
  ~TLocalRef() {
    if (ref_) env_->DeleteLocalRef(ref_);
  }
  TLocalRef(const TLocalRef&) = delete;
  TLocalRef& operator=(const TLocalRef&) = delete;
  T get() const { return ref_; }
  T release() { T r = ref_; ref_ = nullptr; return r; }
  explicit operator bool() const { return ref_ != nullptr; }
 private:
  JNIEnv* env_;
  T ref_;
};

// True when `offset` and `length` describe bytes inside `array`; otherwise raises
// ArrayIndexOutOfBoundsException. The natives check before pinning: a pinned array gives the
// VM no chance to catch an overrun.
bool CheckBounds(JNIEnv* env, jarray array, jint offset, jint length);

// Runs `body` so that no C++ exception leaves an export: allocation failure becomes
// java.lang.OutOfMemoryError, anything else returns `fallback` with whatever Java exception
// is pending.
template <class R, class F>
R Guarded(JNIEnv* env, R fallback, F body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    if (!env->ExceptionCheck()) Throw(env, "java/lang/OutOfMemoryError", "Nativa");
  } catch (...) {
  }
  return fallback;
}
template <class F>
void Guarded(JNIEnv* env, F body) noexcept {
  Guarded(env, 0, [&] { body(); return 0; });
}

}  // namespace jni

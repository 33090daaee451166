// Natives of com.stowly.dialup.Nativa: dial-up networking through the run-time RAS binding,
// the stored window title and shell open. No native of this class reports a RAS failure as
// an exception; results carry it.
#include "Dialup.h"

#include <windows.h>

#include <com_stowly_dialup_Nativa.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

#include "JniUtil.h"
#include "NativaState.h"

namespace nativa {
namespace {

constexpr DWORD kMaxEntries = 20;
constexpr jlong kDialAbsent = -1;
constexpr jint kStatusFailed = 601;
constexpr jint kHangUpAbsent = -1;

// RAS handles cross as Java long, zero-extended (the low 32 bits on i686).
HRasConn RasHandleFromJava(jlong value) {
#ifdef _WIN64
  return reinterpret_cast<HRasConn>(value);
#else
  return reinterpret_cast<HRasConn>(static_cast<DWORD>(value));
#endif
}
jlong RasHandleToJava(HRasConn h) { return static_cast<jlong>(reinterpret_cast<ULONG_PTR>(h)); }

// Length of a name field, which the service is trusted to terminate but might not.
size_t FieldLength(const char* field) { return strnlen(field, kRasEntryNameLen + 1) > kRasEntryNameLen ? kRasEntryNameLen : strlen(field); }

jstring AnsiToJava(JNIEnv* env, const char* text, size_t length) {
  int units = ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
  std::unique_ptr<WCHAR[]> wide(new WCHAR[units + 1]);
  units = ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), wide.get(), units);
  return env->NewString(reinterpret_cast<const jchar*>(wide.get()), units);
}

// Modified UTF-8 text of a fixed field, ended at its terminator or at the field's end.
jstring FieldToJava(JNIEnv* env, const char* field) {
  char copy[kRasEntryNameLen + 1];
  size_t n = FieldLength(field);
  memcpy(copy, field, n);
  copy[n] = '\0';
  return env->NewStringUTF(copy);
}

jobjectArray EnumEntries(JNIEnv* env) {
  TRasBinding& ras = Ras();
  if (!ras.available || !ras.enumEntries) return nullptr;
  TRasEntryName entries[kMaxEntries];
  ZeroMemory(entries, sizeof entries);
  entries[0].size = sizeof(TRasEntryName);
  DWORD bytes = sizeof entries, count = 0;
  if (ras.enumEntries(nullptr, nullptr, entries, &bytes, &count) != 0) return nullptr;
  if (count > kMaxEntries) return nullptr;  // more than the buffer can hold: not believable
  jni::TLocalRef<jclass> stringClass(env, env->FindClass("java/lang/String"));
  if (!stringClass) return nullptr;
  jni::TLocalRef<jstring> first(env, count ? AnsiToJava(env, entries[0].entryName, FieldLength(entries[0].entryName)) : nullptr);
  if (env->ExceptionCheck()) return nullptr;
  jni::TLocalRef<jobjectArray> names(env, env->NewObjectArray(count, stringClass.get(), first.get()));
  if (!names) return nullptr;
  for (DWORD i = 1; i < count; ++i) {
    jni::TLocalRef<jstring> name(env, AnsiToJava(env, entries[i].entryName, FieldLength(entries[i].entryName)));
    if (!name) return nullptr;
    env->SetObjectArrayElement(names.get(), i, name.get());
    if (env->ExceptionCheck()) return nullptr;
  }
  return names.release();
}

struct TFreeBuffer {
  void operator()(void* p) const { free(p); }
};

jobjectArray EnumConnections(JNIEnv* env) {
  TRasBinding& ras = Ras();
  if (!ras.available || !ras.enumConnections) return nullptr;
  TRasConn probe;
  ZeroMemory(&probe, sizeof probe);
  probe.size = sizeof(TRasConn);
  DWORD bytes = 0, count = 0;
  ras.enumConnections(&probe, &bytes, &count);
  if (bytes == 0) return nullptr;
  const DWORD allocated = bytes < sizeof(TRasConn) ? sizeof(TRasConn) : bytes;
  std::unique_ptr<TRasConn, TFreeBuffer> conns(static_cast<TRasConn*>(calloc(1, allocated)));
  if (!conns) throw std::bad_alloc();
  conns->size = sizeof(TRasConn);
  count = 0;
  ras.enumConnections(conns.get(), &bytes, &count);
  // Never read beyond what was allocated, whatever count the service reports: a connection
  // that came up since the first call makes the second fail and report a larger size.
  const DWORD capacity = allocated / sizeof(TRasConn);
  if (count > capacity) count = capacity;
  if (count == 0) return nullptr;
  jni::TLocalRef<jclass> cls(env, env->FindClass("com/stowly/dialup/WinRasEntry"));
  if (!cls) return nullptr;
  jfieldID nameField = env->GetFieldID(cls.get(), "name", "Ljava/lang/String;");
  if (!nameField) return nullptr;
  jfieldID handleField = env->GetFieldID(cls.get(), "handle", "J");
  if (!handleField) return nullptr;
  jni::TLocalRef<jobjectArray> result(env, env->NewObjectArray(count, cls.get(), nullptr));
  if (!result) return nullptr;
  for (DWORD i = 0; i < count; ++i) {
    jni::TLocalRef<jobject> entry(env, env->AllocObject(cls.get()));
    if (!entry) return nullptr;
    jni::TLocalRef<jstring> name(env, FieldToJava(env, conns.get()[i].entryName));
    if (!name) return nullptr;
    env->SetObjectField(entry.get(), nameField, name.get());
    env->SetLongField(entry.get(), handleField, RasHandleToJava(conns.get()[i].conn));
    env->SetObjectArrayElement(result.get(), i, entry.get());
    if (env->ExceptionCheck()) return nullptr;
  }
  return result.release();
}

// Copies `text` into a dial parameter field of `capacity` bytes plus terminator; false when
// it does not fit.
bool CopyField(char* field, const char* text, size_t capacity) {
  size_t n = strlen(text);
  if (n > capacity) return false;
  memcpy(field, text, n + 1);
  return true;
}

jlong Dial(JNIEnv* env, jstring entry, jstring user, jstring password) {
  TRasBinding& ras = Ras();
  if (!ras.available || !ras.dial) return kDialAbsent;
  TRasDialParams params;
  ZeroMemory(&params, sizeof params);
  params.size = sizeof params;
  {
    jni::TJUtf8 entryText(env, entry);
    if (!entryText.ok()) return kDialAbsent;
    jni::TJUtf8 userText(env, user);
    if (!userText.ok()) return kDialAbsent;
    jni::TJUtf8 passwordText(env, password);
    if (!passwordText.ok()) return kDialAbsent;
    // A cut-off name or password would dial with the wrong credentials: refuse instead, with
    // the result of a RAS size error.
    if (!CopyField(params.entryName, entryText.get(), kRasEntryNameLen) ||
        !CopyField(params.userName, userText.get(), kRasEntryNameLen) ||
        !CopyField(params.password, passwordText.get(), kRasEntryNameLen)) {
      SecureZeroMemory(&params, sizeof params);
      return 600 - static_cast<jlong>(kRasErrorInvalidSize);
    }
  }
  HRasConn conn = nullptr;
  // Notifier type 0xFFFFFFFF declares a window handle; 1 names no window. With a notifier the
  // call returns as soon as dialing has started, and no progress messages go anywhere.
  DWORD error = ras.dial(nullptr, nullptr, &params, 0xFFFFFFFF, reinterpret_cast<void*>(1), &conn);
  SecureZeroMemory(&params, sizeof params);
  if (error != 0) return 600 - static_cast<jlong>(error);
  return RasHandleToJava(conn);
}

jint ConnectStatus(jlong handle) {
  TRasBinding& ras = Ras();
  if (!ras.available || !ras.getConnectStatus) return kStatusFailed;
  TRasConnStatus status;
  ZeroMemory(&status, sizeof status);
  status.size = sizeof status;
  if (ras.getConnectStatus(RasHandleFromJava(handle), &status) != 0) return kStatusFailed;
  return static_cast<jint>(status.state);
}

void SetTitle(JNIEnv* env, jstring title) {
  jni::TJUtf8 text(env, title);
  if (!text.ok()) return;
  size_t n = strlen(text.get()) + 1;
  char* copy = new char[n];
  memcpy(copy, text.get(), n);
  delete[] StoredTitle;
  StoredTitle = copy;
}

}  // namespace
}  // namespace nativa

using namespace nativa;

jobjectArray JNICALL Java_com_stowly_dialup_Nativa_RasEnumEntries(JNIEnv* env, jclass) {
  return jni::Guarded(env, jobjectArray(nullptr), [&] { return EnumEntries(env); });
}

jobjectArray JNICALL Java_com_stowly_dialup_Nativa_RasEnumConnections(JNIEnv* env, jclass) {
  return jni::Guarded(env, jobjectArray(nullptr), [&] { return EnumConnections(env); });
}

jlong JNICALL Java_com_stowly_dialup_Nativa_RasDial(JNIEnv* env, jclass, jstring entry, jstring user,
                                                    jstring password) {
  return jni::Guarded(env, kDialAbsent, [&] {
    jni::CacheExceptionClasses(env);
    return Dial(env, entry, user, password);
  });
}

jint JNICALL Java_com_stowly_dialup_Nativa_RasGetConnectStatus(JNIEnv*, jclass, jlong handle) {
  return ConnectStatus(handle);
}

jint JNICALL Java_com_stowly_dialup_Nativa_RasHangUp(JNIEnv*, jclass, jlong handle) {
  TRasBinding& ras = Ras();
  if (!ras.available) return kHangUpAbsent;
  return static_cast<jint>(ras.hangUp(RasHandleFromJava(handle)));
}

void JNICALL Java_com_stowly_dialup_Nativa_SetTitle(JNIEnv* env, jclass, jstring title) {
  jni::Guarded(env, [&] {
    jni::CacheExceptionClasses(env);
    SetTitle(env, title);
  });
}

jint JNICALL Java_com_stowly_dialup_Nativa_newInstance(JNIEnv*, jclass) {
  HWND window = FindStoredTitleWindow();
  if (!window) return 1;
  ::ShowWindow(window, SW_RESTORE);
  ::SetForegroundWindow(window);
  return 0;
}

void JNICALL Java_com_stowly_dialup_Nativa_ExecShell(JNIEnv* env, jclass, jstring file) {
  jni::Guarded(env, [&] {
    jni::CacheExceptionClasses(env);
    jni::TJUtf8 text(env, file);
    if (!text.ok()) return;
    // The shell's result is not reported to Java.
    ::ShellExecuteA(nullptr, "open", text.get(), nullptr, nullptr, SW_HIDE);
  });
}

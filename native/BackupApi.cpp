// Natives of com.korvel.stash9.os.win32.BackupApi: privileges, security descriptors and
// backup streams. Paths are always copied to UTF-16 and used with the wide Win32 calls.
#include "BackupApi.h"

#include <com_korvel_stash9_os_win32_BackupApi.h>
#include <string.h>

#include "JniUtil.h"
#include "NativaState.h"

namespace nativa {
namespace {

TBackupCalls gBackupCalls = {&::BackupRead, &::BackupWrite};

constexpr DWORD kSecurityInformation =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
constexpr DWORD kWriteSecurityAccess = WRITE_DAC | WRITE_OWNER | ACCESS_SYSTEM_SECURITY;
static_assert(kWriteSecurityAccess == 0x010C0000, "access for writing a descriptor");

// The Java side keeps the backup context in an int. On i686 that is the context pointer
// itself. On x86_64 a pointer does not fit, so the int holds a slot number (1-based) in this
// table; the slot is freed by the aborting call that ends the sequence, whatever the system
// writes back into the context then (it releases the context in any case). A caller that
// closes the file without the aborting call leaks the slot along with the system's context
// (as it leaks the context on i686): 64 such sequences at once are the limit, after which a
// new sequence gets -1.
#ifdef _WIN64
constexpr int kContextSlots = 64;
void* volatile gContextSlots[kContextSlots];

void* ContextFromJava(jint value) {
  return value > 0 && value <= kContextSlots ? gContextSlots[value - 1] : nullptr;
}
// Stores `context` for `previous` and returns the Java value; 0 when the context is gone.
// Returns -1 when no slot is free.
jint ContextToJava(jint previous, void* context) {
  if (previous > 0 && previous <= kContextSlots) {
    if (context) {
      gContextSlots[previous - 1] = context;
      return previous;
    }
    gContextSlots[previous - 1] = nullptr;
    return 0;
  }
  if (!context) return 0;
  for (int i = 0; i < kContextSlots; ++i)
    if (!InterlockedCompareExchangePointer(const_cast<void**>(&gContextSlots[i]), context, nullptr))
      return i + 1;
  return -1;
}
// The Java value after the aborting call: the slot is freed and 0 returned.
jint ContextAfterAbort(jint previous, void*) { return ContextToJava(previous, nullptr); }
#else
void* ContextFromJava(jint value) { return reinterpret_cast<void*>(static_cast<ULONG_PTR>(static_cast<DWORD>(value))); }
jint ContextToJava(jint, void* context) { return static_cast<jint>(reinterpret_cast<ULONG_PTR>(context)); }
// The Java value after the aborting call: the pointer as the system left it.
jint ContextAfterAbort(jint previous, void* context) { return ContextToJava(previous, context); }
#endif

void SetPrivilege(JNIEnv* env, jstring name, jboolean enable) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), MAXIMUM_ALLOWED, &token)) {
    jni::ThrowLastError(env, nullptr, ::GetLastError());
    return;
  }
  DWORD error = ERROR_SUCCESS;
  {
    jni::TJString wideName(env, name);
    if (!wideName) {
      ::CloseHandle(token);
      return;
    }
    TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = (enable & 0xFF) ? SE_PRIVILEGE_ENABLED : 0;
    static_assert(sizeof privileges == 16, "one privilege");
    if (!::LookupPrivilegeValueW(nullptr, wideName.get(), &privileges.Privileges[0].Luid) ||
        !::AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr))
      error = ::GetLastError();
  }
  ::CloseHandle(token);
  // AdjustTokenPrivileges succeeds without assigning a privilege the account lacks
  // (ERROR_NOT_ALL_ASSIGNED): that is not reported.
  if (error != ERROR_SUCCESS) jni::ThrowLastError(env, nullptr, error);
}

jint ReadSecurityDescriptor(JNIEnv* env, jstring path, jbyteArray buffer, jint length) {
  if (length - 4 < 0) {
    jni::Throw(env, jni::kIOException, "buffer length < 4");
    return 0;
  }
  if (!buffer) {
    jni::ThrowNullPointer(env);
    return 0;
  }
  if (!jni::CheckBounds(env, buffer, 0, length)) return 0;
  jni::TJString widePath(env, path);
  if (!widePath) return 0;
  DWORD error = ERROR_SUCCESS;
  DWORD needed = 0;
  DWORD attributes = ::GetFileAttributesW(widePath.get());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    error = ::GetLastError();
  } else {
    jni::TJByteArray bytes(env, buffer);
    if (!bytes.get()) return 0;
    memcpy(bytes.get(), &attributes, 4);
    if (!::GetFileSecurityW(widePath.get(), kSecurityInformation,
                            reinterpret_cast<PSECURITY_DESCRIPTOR>(bytes.get() + 4), length - 4, &needed))
      error = ::GetLastError();
  }
  if (error != ERROR_SUCCESS) {
    jni::ThrowLastError(env, jni::kIOException, error);
    return 0;
  }
  return static_cast<jint>(needed) + 4;
}

// The head of a backup stream record carrying a security descriptor (WIN32_STREAM_ID without
// its name).
struct TSecurityStreamHeader {
  DWORD streamId;
  DWORD streamAttributes;
  DWORD sizeLow;
  DWORD sizeHigh;
  DWORD nameSize;
};
static_assert(sizeof(TSecurityStreamHeader) == 20, "stream header");

void WriteSecurityDescriptor(JNIEnv* env, jstring path, jbyteArray buffer, jint offset, jint length) {
  if (!buffer) {
    jni::ThrowNullPointer(env);
    return;
  }
  jint size = length - offset - 4;
  if (size < 0) {
    jni::Throw(env, jni::kIOException, "buffer length < offset");
    return;
  }
  if (!jni::CheckBounds(env, buffer, offset, length - offset)) return;
  jni::TJString widePath(env, path);
  if (!widePath) return;
  DWORD error = ERROR_SUCCESS;
  {
    jni::TJByteArray bytes(env, buffer);
    if (!bytes.get()) return;
    DWORD attributes;
    memcpy(&attributes, bytes.get() + offset, 4);
    HANDLE file = ::CreateFileW(widePath.get(), kWriteSecurityAccess, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      error = ::GetLastError();
    } else {
      TSecurityStreamHeader header = {BACKUP_SECURITY_DATA, STREAM_CONTAINS_SECURITY,
                                      static_cast<DWORD>(size), 0, 0};
      void* context = nullptr;
      DWORD done = 0;
      if (!gBackupCalls.write(file, reinterpret_cast<LPBYTE>(&header), sizeof header, &done, FALSE,
                              TRUE, &context) ||
          !gBackupCalls.write(file, bytes.get() + offset + 4, size, &done, FALSE, TRUE, &context))
        error = ::GetLastError();
      // The abort call ends the sequence and frees the context, also after a failure.
      if (!gBackupCalls.write(file, nullptr, 0, &done, TRUE, TRUE, &context) && error == ERROR_SUCCESS)
        error = ::GetLastError();
      ::CloseHandle(file);
      // Writing the descriptor may change the attributes; put the saved ones back. A failure
      // here is not reported.
      ::SetFileAttributesW(widePath.get(), attributes);
    }
  }
  if (error != ERROR_SUCCESS) jni::ThrowLastError(env, jni::kIOException, error);
}

jint BackupStream(JNIEnv* env, TBackupStreamFn call, jintArray contextArray, jint handle,
                  jbyteArray buffer, jint offset, jint length, jboolean abort, jboolean processSecurity) {
  bool aborting = (abort & 0xFF) != 0;
  if (!contextArray || (!aborting && !buffer)) {
    jni::ThrowNullPointer(env);
    return 0;
  }
  if (env->GetArrayLength(contextArray) < 1) {
    jni::Throw(env, jni::kArrayBounds, "context array is empty");
    return 0;
  }
  if (!aborting && !jni::CheckBounds(env, buffer, offset, length)) return 0;
  jni::TJIntArray context(env, contextArray);
  if (!context.get()) return 0;
  HANDLE file = HandleFromInt(handle);
  void* systemContext = ContextFromJava(context.get()[0]);
  DWORD done = 0;
  BOOL ok;
  if (aborting) {
    // Ending the sequence touches no buffer; it only releases the context.
    ok = call(file, nullptr, 0, &done, TRUE, (processSecurity & 0xFF) != 0, &systemContext);
    ::CloseHandle(file);
  } else {
    jni::TJByteArray bytes(env, buffer);
    if (!bytes.get()) return 0;
    ok = call(file, bytes.get() + offset, static_cast<DWORD>(length), &done, FALSE,
              (processSecurity & 0xFF) != 0, &systemContext);
  }
  jint stored = aborting ? ContextAfterAbort(context.get()[0], systemContext)
                         : ContextToJava(context.get()[0], systemContext);
  if (stored == -1) {
    // No slot for the context (x86_64 only): end the sequence rather than lose the context.
    call(file, nullptr, 0, &done, TRUE, FALSE, &systemContext);
    stored = 0;
    ok = FALSE;
  }
  context.get()[0] = stored;
  return ok ? static_cast<jint>(done) : -1;
}

jint CreateFileNative(JNIEnv* env, jstring path, jint access, jint share, jint security,
                      jint disposition, jint flags, jint templateFile) {
  jni::TJString widePath(env, path);
  if (!widePath) return 0;
  HANDLE file = INVALID_HANDLE_VALUE;
  // A Java int cannot carry a valid SECURITY_ATTRIBUTES address; passing one on would let the
  // system read arbitrary memory. Only 0 (none) is accepted.
  if (security == 0)
    file = ::CreateFileW(widePath.get(), static_cast<DWORD>(access), static_cast<DWORD>(share), nullptr,
                         static_cast<DWORD>(disposition), static_cast<DWORD>(flags),
                         HandleFromInt(templateFile));
  if (file == INVALID_HANDLE_VALUE) {
    jni::Throw(env, jni::kIOException, "CreateFile returned invalid handle");
    return 0;
  }
  return JavaIntOf(file);
}

}  // namespace

TBackupCalls& BackupCalls() { return gBackupCalls; }

}  // namespace nativa

using namespace nativa;

void JNICALL Java_com_korvel_stash9_os_win32_BackupApi_setPrivilege(JNIEnv* env, jclass, jstring name,
                                                                    jboolean enable) {
  jni::Guarded(env, [&] {
    jni::CacheExceptionClasses(env);
    SetPrivilege(env, name, enable);
  });
}

jint JNICALL Java_com_korvel_stash9_os_win32_BackupApi_readSecurityDescriptor(JNIEnv* env, jclass, jstring path,
                                                                              jbyteArray buffer, jint length) {
  return jni::Guarded(env, jint(0), [&] {
    jni::CacheExceptionClasses(env);
    return ReadSecurityDescriptor(env, path, buffer, length);
  });
}

void JNICALL Java_com_korvel_stash9_os_win32_BackupApi_writeSecurityDescriptor(JNIEnv* env, jclass, jstring path,
                                                                               jbyteArray buffer, jint offset,
                                                                               jint length) {
  jni::Guarded(env, [&] {
    jni::CacheExceptionClasses(env);
    WriteSecurityDescriptor(env, path, buffer, offset, length);
  });
}

jint JNICALL Java_com_korvel_stash9_os_win32_BackupApi_BackupRead(JNIEnv* env, jclass, jintArray context,
                                                                  jint handle, jbyteArray buffer, jint offset,
                                                                  jint length, jboolean abort,
                                                                  jboolean processSecurity) {
  return jni::Guarded(env, jint(0), [&] {
    return BackupStream(env, gBackupCalls.read, context, handle, buffer, offset, length, abort, processSecurity);
  });
}

jint JNICALL Java_com_korvel_stash9_os_win32_BackupApi_BackupWrite(JNIEnv* env, jclass, jintArray context,
                                                                   jint handle, jbyteArray buffer, jint offset,
                                                                   jint length, jboolean abort,
                                                                   jboolean processSecurity) {
  return jni::Guarded(env, jint(0), [&] {
    return BackupStream(env, gBackupCalls.write, context, handle, buffer, offset, length, abort, processSecurity);
  });
}

jint JNICALL Java_com_korvel_stash9_os_win32_BackupApi_CreateFile(JNIEnv* env, jclass, jstring path, jint access,
                                                                  jint share, jint security, jint disposition,
                                                                  jint flags, jint templateFile) {
  return jni::Guarded(env, jint(0), [&] {
    jni::CacheExceptionClasses(env);
    return CreateFileNative(env, path, access, share, security, disposition, flags, templateFile);
  });
}

jint JNICALL Java_com_korvel_stash9_os_win32_BackupApi_CloseHandle(JNIEnv* env, jclass, jint handle) {
  return jni::Guarded(env, jint(0), [&] {
    BOOL ok = ::CloseHandle(HandleFromInt(handle));
    if (!ok) jni::Throw(env, jni::kIOException, "CreateFile returned invalid handle");
    return static_cast<jint>(ok);
  });
}

// Natives of com.stowly.fileutils.Win32FileNatives: directory search, drive type and change
// notification. Search results go into a caller-supplied information object.
#include <com_stowly_fileutils_Win32FileNatives.h>

#include "JniUtil.h"
#include "NativaState.h"

namespace nativa {
namespace {

// Field IDs of the information object's class. nativeFindFirstFile and nativeFindNextFile
// each fill their own on their first call; every later object must be of the same class.
struct TFileInfoFields {
  jclass cls = nullptr;  // global reference: keeps the class, and so the IDs, alive
  jfieldID filename = nullptr;
  jfieldID fileattrib = nullptr;
  jfieldID filesize = nullptr;
  jfieldID directory = nullptr;
};
TFileInfoFields gFirstFileFields;
TFileInfoFields gNextFileFields;

// Java threads may search at once: the field IDs are written first and the class, which
// says "filled", is published last with a barrier; a thread that loses the race drops its
// own global reference. Field IDs are the same for every thread, so writing them twice
// is harmless.
bool FillFields(JNIEnv* env, TFileInfoFields& fields, jobject info) {
  if (::InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile*>(&fields.cls), nullptr,
                                          nullptr))
    return true;
  jni::TLocalRef<jclass> cls(env, env->GetObjectClass(info));
  TFileInfoFields found;
  if (!(found.filename = env->GetFieldID(cls.get(), "filename", "Ljava/lang/String;"))) return false;
  if (!(found.fileattrib = env->GetFieldID(cls.get(), "fileattrib", "J"))) return false;
  if (!(found.filesize = env->GetFieldID(cls.get(), "filesize", "J"))) return false;
  if (!(found.directory = env->GetFieldID(cls.get(), "directory", "Z"))) return false;
  const jclass global = static_cast<jclass>(env->NewGlobalRef(cls.get()));
  if (!global) return false;
  fields.filename = found.filename;
  fields.fileattrib = found.fileattrib;
  fields.filesize = found.filesize;
  fields.directory = found.directory;
  if (::InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile*>(&fields.cls), global,
                                          nullptr) != nullptr)
    env->DeleteGlobalRef(global);
  return true;
}

// Writes one search entry into the information object. `name` is the new Java string.
bool StoreEntry(JNIEnv* env, const TFileInfoFields& fields, jobject info, jstring name, DWORD attributes,
                DWORD sizeHigh, DWORD sizeLow) {
  if (!name) return false;
  jni::TLocalRef<jstring> nameRef(env, name);
  env->SetObjectField(info, fields.filename, name);
  env->SetLongField(info, fields.fileattrib, static_cast<jlong>(attributes));
  env->SetLongField(info, fields.filesize,
                    static_cast<jlong>((static_cast<unsigned long long>(sizeHigh) << 32) | sizeLow));
  env->SetBooleanField(info, fields.directory, (attributes & FILE_ATTRIBUTE_DIRECTORY) ? JNI_TRUE : JNI_FALSE);
  return !env->ExceptionCheck();
}

bool StoreWide(JNIEnv* env, const TFileInfoFields& fields, jobject info, const WIN32_FIND_DATAW& data) {
  jstring name = env->NewString(reinterpret_cast<const jchar*>(data.cFileName),
                                static_cast<jsize>(wcslen(data.cFileName)));
  return StoreEntry(env, fields, info, name, data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow);
}

bool StoreAnsi(JNIEnv* env, const TFileInfoFields& fields, jobject info, const WIN32_FIND_DATAA& data) {
  return StoreEntry(env, fields, info, env->NewStringUTF(data.cFileName), data.dwFileAttributes,
                    data.nFileSizeHigh, data.nFileSizeLow);
}

jint DriveType(JNIEnv* env, jstring root) {
  UINT type;
  if (WideApiMode) {
    jni::TJString path(env, root);
    if (!path) return 0;
    type = ::GetDriveTypeW(path.get());
  } else {
    jni::TJUtf8 path(env, root);
    if (!path.ok()) return 0;
    type = ::GetDriveTypeA(path.get());
  }
  return type >= 1 && type <= 6 ? static_cast<jint>(type) : 0;
}

jlong FindFirst(JNIEnv* env, jstring pattern, jobject info) {
  if (!info) {
    jni::ThrowNullPointer(env);
    return 0;
  }
  if (!FillFields(env, gFirstFileFields, info)) return 0;
  HANDLE search;
  if (WideApiMode) {
    jni::TJString widePattern(env, pattern);
    if (!widePattern) return 0;
    WIN32_FIND_DATAW data;
    search = ::FindFirstFileW(widePattern.get(), &data);
    if (search == INVALID_HANDLE_VALUE) return 0;
    if (!StoreWide(env, gFirstFileFields, info, data)) {
      ::FindClose(search);
      return 0;
    }
  } else {
    WIN32_FIND_DATAA data;
    {
      jni::TJUtf8 ansiPattern(env, pattern);
      if (!ansiPattern.ok()) return 0;
      search = ::FindFirstFileA(ansiPattern.get(), &data);
    }
    if (search == INVALID_HANDLE_VALUE) return 0;
    if (!StoreAnsi(env, gFirstFileFields, info, data)) {
      ::FindClose(search);
      return 0;
    }
  }
  return JavaLongOf(search);
}

jobject FindNext(JNIEnv* env, jlong handle, jobject info) {
  if (!info) {
    jni::ThrowNullPointer(env);
    return nullptr;
  }
  if (!FillFields(env, gNextFileFields, info)) return nullptr;
  bool stored;
  if (WideApiMode) {
    WIN32_FIND_DATAW data;
    if (!::FindNextFileW(HandleFromLong(handle), &data)) return nullptr;
    stored = StoreWide(env, gNextFileFields, info, data);
  } else {
    WIN32_FIND_DATAA data;
    if (!::FindNextFileA(HandleFromLong(handle), &data)) return nullptr;
    stored = StoreAnsi(env, gNextFileFields, info, data);
  }
  return stored ? info : nullptr;
}

jlong FirstChangeNotification(JNIEnv* env, jstring path, jboolean subtree, jlong filter) {
  jni::TJUtf8 ansiPath(env, path);
  if (!ansiPath.ok()) return JavaLongOf(INVALID_HANDLE_VALUE);
  HANDLE h = ::FindFirstChangeNotificationA(ansiPath.get(), (subtree & 0xFF) != 0, static_cast<DWORD>(filter));
  return JavaLongOf(h);
}

}  // namespace
}  // namespace nativa

using namespace nativa;

jint JNICALL Java_com_stowly_fileutils_Win32FileNatives_nativeDriveType(JNIEnv* env, jclass, jstring root) {
  return jni::Guarded(env, jint(0), [&] {
    jni::CacheExceptionClasses(env);
    return DriveType(env, root);
  });
}

jlong JNICALL Java_com_stowly_fileutils_Win32FileNatives_nativeFindFirstFile(JNIEnv* env, jclass, jstring pattern,
                                                                             jobject info) {
  return jni::Guarded(env, jlong(0), [&] {
    jni::CacheExceptionClasses(env);
    return FindFirst(env, pattern, info);
  });
}

jobject JNICALL Java_com_stowly_fileutils_Win32FileNatives_nativeFindNextFile(JNIEnv* env, jclass, jlong handle,
                                                                              jobject info) {
  return jni::Guarded(env, jobject(nullptr), [&] {
    jni::CacheExceptionClasses(env);
    return FindNext(env, handle, info);
  });
}

jint JNICALL Java_com_stowly_fileutils_Win32FileNatives_nativeFindClose(JNIEnv*, jclass, jlong handle) {
  return ::FindClose(HandleFromLong(handle));
}

jlong JNICALL Java_com_stowly_fileutils_Win32FileNatives_nativeFindFirstChangeNotification(JNIEnv* env, jclass,
                                                                                           jstring path,
                                                                                           jboolean subtree,
                                                                                           jlong filter) {
  return jni::Guarded(env, jlong(-1), [&] {
    jni::CacheExceptionClasses(env);
    return FirstChangeNotification(env, path, subtree, filter);
  });
}

jint JNICALL Java_com_stowly_fileutils_Win32FileNatives_nativeFindNextChangeNotification(JNIEnv*, jclass,
                                                                                         jlong handle) {
  return ::FindNextChangeNotification(HandleFromLong(handle));
}

jint JNICALL Java_com_stowly_fileutils_Win32FileNatives_nativeFindCloseChangeNotification(JNIEnv*, jclass,
                                                                                          jlong handle) {
  return ::FindCloseChangeNotification(HandleFromLong(handle));
}

jlong JNICALL Java_com_stowly_fileutils_Win32FileNatives_nativeWaitForSingleObject(JNIEnv*, jclass, jlong handle,
                                                                                   jlong timeout) {
  return static_cast<jlong>(::WaitForSingleObject(HandleFromLong(handle), static_cast<DWORD>(timeout)));
}

// Natives of com.korvel.system.Internet: the process-wide WinINet proxy options.
#include "Internet.h"

#include <com_korvel_system_Internet.h>
#include <stdlib.h>

#include "JniUtil.h"

namespace nativa {

const char* InetLibraryName = "wininet";

namespace {

TInetBinding gInet;
constexpr DWORD kProxyOption = 38;  // INTERNET_OPTION_PROXY
constexpr DWORD kDirectAccess = 1;  // INTERNET_OPEN_TYPE_DIRECT

struct TProxyInfo {
  DWORD accessType;
  const char* proxy;
  const char* bypass;
};

// Java threads may ask for the first time at once: exactly one binds, the others wait for
// it, so nobody calls through a pointer that is not set yet.
bool Bind() {
  if (::InterlockedCompareExchange(&gInet.state, 1, 0) != 0) {
    while (gInet.state != 2) ::Sleep(0);
    return !gInet.failed && gInet.queryOption;
  }
  {
    gInet.module = ::LoadLibraryA(InetLibraryName);
    if (!gInet.module) {
      // Written to the process's standard error handle directly: no C stdio in this library.
      static const char kLine[] = "inet lib load failed\n";
      DWORD written = 0;
      ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), kLine, sizeof kLine - 1, &written, nullptr);
      gInet.failed = true;
    } else {
      gInet.queryOption = reinterpret_cast<TQueryOptionFn>(
          reinterpret_cast<void*>(::GetProcAddress(gInet.module, "InternetQueryOptionA")));
      gInet.failed = gInet.queryOption == nullptr;
    }
  }
  ::InterlockedExchange(&gInet.state, 2);
  return !gInet.failed && gInet.queryOption;
}

struct TFreeBuffer {
  void operator()(void* p) const { free(p); }
};
using TBuffer = std::unique_ptr<char, TFreeBuffer>;

// Queries `option` into a new buffer: first the size, then the value. The buffer carries one
// zero byte beyond what the system wrote, so a value without its own terminator still ends.
// Null when the query fails.
TBuffer QueryOption(DWORD option, DWORD* size) {
  *size = 0;
  gInet.queryOption(nullptr, option, nullptr, size);
  if (*size == 0) return nullptr;
  TBuffer buffer(static_cast<char*>(calloc(*size + 1, 1)));
  if (!buffer) throw std::bad_alloc();
  if (!gInet.queryOption(nullptr, option, buffer.get(), size)) return nullptr;
  return buffer;
}

jstring QueryProxy(JNIEnv* env, bool servers) {
  if (!Bind()) return nullptr;
  DWORD size = 0;
  TBuffer buffer = QueryOption(kProxyOption, &size);
  if (!buffer || size < sizeof(TProxyInfo)) return nullptr;
  const auto* info = reinterpret_cast<const TProxyInfo*>(buffer.get());
  if (info->accessType == kDirectAccess) return nullptr;
  const char* list = servers ? info->proxy : info->bypass;
  return list ? env->NewStringUTF(list) : nullptr;
}

jstring QueryString(JNIEnv* env, jint option) {
  if (!Bind()) return nullptr;
  DWORD size = 0;
  TBuffer buffer = QueryOption(static_cast<DWORD>(option), &size);
  return buffer ? env->NewStringUTF(buffer.get()) : nullptr;
}

}  // namespace

TInetBinding& Inet() { return gInet; }

}  // namespace nativa

using namespace nativa;

jstring JNICALL Java_com_korvel_system_Internet_queryProxyServers(JNIEnv* env, jclass) {
  return jni::Guarded(env, jstring(nullptr), [&] { return QueryProxy(env, true); });
}

jstring JNICALL Java_com_korvel_system_Internet_queryProxyBypass(JNIEnv* env, jclass) {
  return jni::Guarded(env, jstring(nullptr), [&] { return QueryProxy(env, false); });
}

jstring JNICALL Java_com_korvel_system_Internet_queryStringValue(JNIEnv* env, jclass, jint option) {
  return jni::Guarded(env, jstring(nullptr), [&] { return QueryString(env, option); });
}

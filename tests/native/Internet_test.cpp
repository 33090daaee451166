// Proxy queries: against Wine's WinINet (direct access) through the loaded DLL, and through
// the binding seam of the natives linked into this test.
#include <cstring>

#include "Internet.h"
#include "NativaTest.h"

namespace nativa_test {
namespace {

using nativa::Inet;

TEST_F(TNativaTest, ProxyQueriesReturnNullOnDirectAccess) {
  EXPECT_EQ(NATIVE(Java_com_korvel_system_Internet_queryProxyServers)(env(), nullptr), nullptr);
  EXPECT_EQ(NATIVE(Java_com_korvel_system_Internet_queryProxyBypass)(env(), nullptr), nullptr);
  EXPECT_EQ(NATIVE(Java_com_korvel_system_Internet_queryStringValue)(env(), nullptr, 99999), nullptr);
  NATIVE(Java_com_korvel_sump_SUMPInterface_init)(env(), nullptr);
  NATIVE(Java_com_korvel_sump_SUMPInterface_ScValidate)(env(), nullptr, 5);
}

TEST_F(TNativaTest, MissingLibraryReportsOnceOnStandardError) {
  nativa::TInetBinding saved = Inet();
  Inet() = nativa::TInetBinding();
  nativa::InetLibraryName = "no_such_wininet";
  TTempDir dir("inet");
  HANDLE log = ::CreateFileA(dir.File("stderr.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  HANDLE oldErr = ::GetStdHandle(STD_ERROR_HANDLE);
  ::SetStdHandle(STD_ERROR_HANDLE, log);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Java_com_korvel_system_Internet_queryProxyServers(env(), nullptr), nullptr);
    EXPECT_EQ(Java_com_korvel_system_Internet_queryStringValue(env(), nullptr, 38), nullptr);
  }
  ::SetStdHandle(STD_ERROR_HANDLE, oldErr);
  ::CloseHandle(log);
  HANDLE in = ::CreateFileA(dir.File("stderr.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  char text[100] = {};
  DWORD got = 0;
  ::ReadFile(in, text, sizeof text - 1, &got, nullptr);
  ::CloseHandle(in);
  EXPECT_STREQ(text, "inet lib load failed\n");
  nativa::InetLibraryName = "wininet";
  Inet() = saved;
}

// Scripted InternetQueryOptionA answers.
struct TProxyRecord {
  DWORD access;
  const char* proxy;
  const char* bypass;
  char strings[64];
};
TProxyRecord gRecord;
std::string gValue;
BOOL WINAPI FakeQuery(void* internet, DWORD option, void* buffer, DWORD* bytes) {
  if (internet) return FALSE;
  DWORD size = option == 38 ? sizeof(TProxyRecord) : static_cast<DWORD>(gValue.size());
  if (option != 38 && gValue.empty()) return FALSE;
  if (!buffer || *bytes < size) {
    *bytes = size;
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (option == 38) {
    // The strings live inside the caller's buffer, as WinINet returns them.
    auto* out = static_cast<TProxyRecord*>(buffer);
    *out = gRecord;
    if (gRecord.proxy) out->proxy = out->strings + (gRecord.proxy - gRecord.strings);
    if (gRecord.bypass) out->bypass = out->strings + (gRecord.bypass - gRecord.strings);
  } else {
    std::memcpy(buffer, gValue.data(), size);
  }
  *bytes = size;
  return TRUE;
}

TEST_F(TNativaTest, ProxyListsAndStringValues) {
  nativa::TInetBinding saved = Inet();
  Inet().state = 2;
  Inet().failed = false;
  Inet().queryOption = &FakeQuery;
  std::memset(&gRecord, 0, sizeof gRecord);
  std::strcpy(gRecord.strings, "proxy:8080");
  std::strcpy(gRecord.strings + 20, "<local>");
  struct {
    DWORD access;
    int proxyAt, bypassAt;  // -1: no list
    const char* servers;
    const char* bypass;
  } cases[] = {
      {3, 0, 20, "proxy:8080", "<local>"},
      {3, 0, -1, "proxy:8080", nullptr},
      {3, 0, 30, "proxy:8080", ""},
      {1, 0, 20, nullptr, nullptr},  // direct access
  };
  for (auto& c : cases) {
    gRecord.access = c.access;
    gRecord.proxy = c.proxyAt < 0 ? nullptr : gRecord.strings + c.proxyAt;
    gRecord.bypass = c.bypassAt < 0 ? nullptr : gRecord.strings + c.bypassAt;
    jstring servers = Java_com_korvel_system_Internet_queryProxyServers(env(), nullptr);
    jstring bypass = Java_com_korvel_system_Internet_queryProxyBypass(env(), nullptr);
    EXPECT_EQ(servers != nullptr, c.servers != nullptr);
    EXPECT_EQ(bypass != nullptr, c.bypass != nullptr);
    if (c.servers && servers) {
      EXPECT_EQ(Jvm().Utf8(servers), c.servers);
    }
    if (c.bypass && bypass) {
      EXPECT_EQ(Jvm().Utf8(bypass), c.bypass);
    }
  }
  gValue = std::string("agent\0rest", 10);
  EXPECT_EQ(Jvm().Utf8(Java_com_korvel_system_Internet_queryStringValue(env(), nullptr, 41)), "agent");
  gValue = "ABCD";  // a value without a terminating zero still ends at the buffer's end
  EXPECT_EQ(Jvm().Utf8(Java_com_korvel_system_Internet_queryStringValue(env(), nullptr, 41)), "ABCD");
  gValue.clear();
  EXPECT_EQ(Java_com_korvel_system_Internet_queryStringValue(env(), nullptr, 41), nullptr);
  Inet() = saved;
}

}  // namespace
}  // namespace nativa_test

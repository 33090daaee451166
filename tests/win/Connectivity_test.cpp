// Connection probes under Wine. Only loopback is ever looked up or pinged.
#include <gtest/gtest.h>

#include "Globals.h"
#include "IcmpAPI.h"
#include "IsConnected.h"
#include "PingUnit.h"
#include "RunnerError.h"
#include "RunnerModule.h"
#include "WinTestUtil.h"

namespace {

TEST(PingUnitWinTest, ResolveHostAddress) {
  std::string address = "unchanged";
  EXPECT_FALSE(ResolveHostAddress(std::string(256, 'a'), address)) << "longer than the buffer";
  EXPECT_FALSE(ResolveHostAddress(std::string(70000, 'x') + ".localhost", address));
  EXPECT_EQ(address, "unchanged");
  ASSERT_TRUE(ResolveHostAddress("127.0.0.1", address));
  EXPECT_EQ(address, "127.0.0.1") << "a dotted address resolves to itself";
  ASSERT_TRUE(ResolveHostAddress("localhost", address));
  EXPECT_EQ(address.rfind("127.", 0), 0u) << address;
}

TEST(PingUnitWinTest, PingNeedsTheIcmpLibrary) {
  FreeIcmpLibrary();
  try {
    PingHost("127.0.0.1", 100);
    FAIL() << "no exception without Icmp.dll";
  } catch (const TRunnerError& e) {
    EXPECT_STREQ(e.what(), "ICMP.DLL could not be found!");
  }
}

TEST(PingUnitWinTest, PingLoopback) {
  if (!wt::LoopbackEchoes()) GTEST_SKIP() << "this host lets Wine send no ICMP echo";
  LoadIcmpLibrary();
  ASSERT_TRUE(IcmpEntryPoints().sendEcho) << "Wine ships icmp.dll";
  // Loopback answers the raw echo, so it must answer PingHost too: a reply buffer too small
  // for one reply record, its payload and an ICMP error (IP_BUF_TOO_SMALL) gives -1 here.
  const int rtt = PingHost("127.0.0.1", 1000);
  EXPECT_GE(rtt, 0);
  EXPECT_LT(rtt, 1000);
  EXPECT_EQ(PingHost("not a dotted address", 100), -1) << "unparsable text is not echoed";
  FreeIcmpLibrary();
  EXPECT_FALSE(IcmpEntryPoints().sendEcho) << "no pointer outlives its module";
}

TEST(PingUnitWinTest, ServerReachable) {
  ServerAddress.clear();
  EXPECT_FALSE(ServerReachable()) << "empty server address";
  EXPECT_FALSE(IcmpEntryPoints().createFile) << "released after the call";
  ServerAddress = "127.0.0.1";
  EXPECT_EQ(ServerReachable(), wt::LoopbackEchoes());
  ServerAddress.clear();
}

TEST(IsConnectedWinTest, AnswersFollowWinInet) {
  // WinInet's own answer, asked without the program's binding. Wine 8 answers TRUE with
  // the host's flags (0x12, LAN and "RAS installed", here; 0 elsewhere: no connection).
  TModule wininet(::LoadLibraryA("wininet.dll"));
  const auto state = reinterpret_cast<BOOL(WINAPI*)(DWORD*, DWORD)>(
      reinterpret_cast<void*>(::GetProcAddress(wininet.get(), "InternetGetConnectedState")));
  ASSERT_TRUE(state) << "Wine ships wininet.dll";
  DWORD flags = 0;
  const bool answered = state(&flags, 0) != FALSE;
  EXPECT_EQ(InternetConnected(), answered && (flags & 7) != 0) << flags;  // modem, LAN, proxy
  EXPECT_EQ(ProxyConnected(), answered && (flags & 4) != 0) << flags;
  LoadWinInet("no-wininet-here.dll");
  EXPECT_TRUE(InternetConnected()) << "unbound WinInet counts as connected";
  EXPECT_FALSE(ProxyConnected());
  FreeWinInet();
}

// WinInet and the ICMP library are loaded by the first question that needs them, not at
// start-up, and released again: by the program's finalisation, and after each ping.
TEST(RunnerModuleTest, ConnectionLibrariesLoadedOnFirstUseAndReleased) {
  auto loaded = [](const char* dll) { return ::GetModuleHandleA(dll) != nullptr; };
  InitializeRunnerModule();
  EXPECT_FALSE(loaded("wininet.dll"));
  EXPECT_FALSE(loaded("icmp.dll"));
  ASSERT_TRUE(QueryConnectionState().bound) << "Wine ships wininet.dll";
  EXPECT_TRUE(loaded("wininet.dll"));
  ServerAddress = "127.0.0.1";
  ServerReachable();
  EXPECT_FALSE(loaded("icmp.dll"));
  ServerAddress.clear();
  FinalizeRunnerModule();
  EXPECT_FALSE(loaded("wininet.dll"));
}

}  // namespace

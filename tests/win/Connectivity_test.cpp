// Connection probes under Wine. Only loopback is ever looked up or pinged.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <vector>

#include "Globals.h"
#include "IcmpAPI.h"
#include "IsConnected.h"
#include "PingUnit.h"
#include "RunnerError.h"
#include "RunnerModule.h"

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

// Whether this host lets Wine send ICMP echoes at all: an echo to loopback with a reply
// buffer far larger than any reply.
bool LoopbackEchoes() {
  const TIcmpEntryPoints& api = IcmpEntryPoints();
  HANDLE icmp = api.createFile();
  if (icmp == INVALID_HANDLE_VALUE) return false;
  char payload[32] = {};
  std::vector<unsigned char> reply(4096);
  const DWORD count = api.sendEcho(icmp, htonl(INADDR_LOOPBACK), payload, sizeof payload, nullptr,
                                   reply.data(), static_cast<DWORD>(reply.size()), 1000);
  api.closeHandle(icmp);
  return count > 0;
}

TEST(PingUnitWinTest, PingLoopback) {
  LoadIcmpLibrary();
  ASSERT_TRUE(IcmpEntryPoints().sendEcho) << "Wine ships icmp.dll";
  // Wine sends the echo through an ICMP socket: unprivileged where the host allows those
  // (net.ipv4.ping_group_range), else raw, which needs root. Without either no echo ever
  // answers and there is nothing to measure.
  if (!LoopbackEchoes()) GTEST_SKIP() << "this host lets Wine send no ICMP echo";
  // Loopback answers the probe, so it must answer PingHost too: a reply buffer too small
  // for one reply record, its payload and an ICMP error (IP_BUF_TOO_SMALL) gives -1 here.
  const int rtt = PingHost("127.0.0.1", 1000);
  EXPECT_GE(rtt, 0);
  EXPECT_LT(rtt, 1000);
  RecordProperty("loopback_rtt", rtt);
  EXPECT_EQ(PingHost("not a dotted address", 100), -1) << "unparsable text is not echoed";
  FreeIcmpLibrary();
  EXPECT_FALSE(IcmpEntryPoints().sendEcho) << "no pointer outlives its module";
}

TEST(PingUnitWinTest, ServerReachable) {
  ServerAddress.clear();
  EXPECT_FALSE(ServerReachable()) << "empty server address";
  EXPECT_FALSE(IcmpEntryPoints().createFile) << "released after the call";
  ServerAddress = "127.0.0.1";
  LoadIcmpLibrary();
  const bool pingAnswers = PingHost("127.0.0.1", 1000) != -1;
  EXPECT_EQ(ServerReachable(), pingAnswers);
  ServerAddress.clear();
}

TEST(IsConnectedWinTest, AnswersFollowWinInet) {
  LoadConnectionLibraries();
  const TConnectionState s = QueryConnectionState();
  ASSERT_TRUE(s.bound) << "Wine ships wininet.dll";
  // Wine 8 answers TRUE; the flags depend on the host's interfaces (0x12, LAN and "RAS
  // installed", on the build machines; 0 elsewhere, which reads as no connection).
  EXPECT_EQ(InternetConnected(), ConnectedFrom(s));
  EXPECT_EQ(ProxyConnected(), ProxyFrom(s));
  RecordProperty("flags", static_cast<int>(s.flags));
  RecordProperty("callOk", s.callOk ? 1 : 0);
  FreeWinInet();
  EXPECT_TRUE(InternetConnected()) << "unbound WinInet counts as connected";
  EXPECT_FALSE(ProxyConnected());
  LoadWinInet();
  ReleaseIcmpLibrary();
}

// The program's finalisation releases WinInet, which its initialisation bound.
TEST(RunnerModuleTest, FinalisationReleasesWinInet) {
  InitializeRunnerModule();
  ASSERT_TRUE(QueryConnectionState().bound) << "Wine ships wininet.dll";
  FinalizeRunnerModule();
  EXPECT_FALSE(QueryConnectionState().bound);
  EXPECT_TRUE(InternetConnected()) << "as without WinInet";
  ReleaseIcmpLibrary();
}

}  // namespace

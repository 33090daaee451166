// Connection probes under Wine. Only loopback is ever looked up or pinged.
#include <gtest/gtest.h>

#include "Globals.h"
#include "IcmpAPI.h"
#include "IsConnected.h"
#include "PingUnit.h"
#include "RunnerError.h"

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
  LoadIcmpLibrary();
  ASSERT_TRUE(IcmpEntryPoints().sendEcho) << "Wine ships icmp.dll";
  // Wine sends the echo through an unprivileged ICMP socket; where the host does not
  // allow those (net.ipv4.ping_group_range), it gets no reply and PingHost gives -1.
  const int rtt = PingHost("127.0.0.1", 1000);
  EXPECT_GE(rtt, -1);
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

}  // namespace

// Connection-state answers from WinInet's flags, and the host checks of the lookup.
#include <gtest/gtest.h>

#include "IsConnected.h"
#include "PingUnit.h"

namespace {

TEST(IsConnectedTest, AnswersFromConnectionState) {
  const struct {
    const char* what;
    TConnectionState state;
    bool connected, proxy;
  } cases[] = {
      {"WinInet missing", {false, false, 0}, true, false},
      {"call failed", {true, false, kConnectionLan}, false, false},
      {"dial-up only", {true, true, kConnectionModem}, true, false},
      {"LAN", {true, true, kConnectionLan}, true, false},
      {"through a proxy", {true, true, kConnectionLan | kConnectionProxy}, true, true},
      {"proxy alone", {true, true, kConnectionProxy}, true, true},
      // Wine 8 answers TRUE with no flag at all: not connected by this rule.
      {"call ok, no flag", {true, true, 0}, false, false},
      {"only unrelated flags (offline, configured)", {true, true, 0x20 | 0x40}, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ConnectedFrom(c.state), c.connected) << c.what;
    EXPECT_EQ(ProxyFrom(c.state), c.proxy) << c.what;
  }
}

TEST(PingUnitTest, LookupBufferLimit) {
  EXPECT_TRUE(HostFitsLookupBuffer("localhost"));
  EXPECT_TRUE(HostFitsLookupBuffer(std::string(255, 'a')));
  EXPECT_FALSE(HostFitsLookupBuffer(std::string(256, 'a')));
  EXPECT_FALSE(HostFitsLookupBuffer(std::string(100000, 'a')));
  EXPECT_FALSE(HostFitsLookupBuffer(std::string("local\0host", 10)));
}

TEST(PingUnitTest, DottedAddress) {
  const uint8_t loop[4] = {127, 0, 0, 1};
  const uint8_t high[4] = {255, 254, 10, 0};
  EXPECT_EQ(FormatDottedAddress(loop), "127.0.0.1");
  EXPECT_EQ(FormatDottedAddress(high), "255.254.10.0");
}

}  // namespace

#include <winsock2.h>
#include <windows.h>
#include <ipexport.h>

#include <cstring>
#include <exception>
#include <vector>

#include "Globals.h"
#include "IcmpAPI.h"
#include "PingUnit.h"
#include "RunnerError.h"

namespace {

// Winsock started for the scope and cleaned up however the scope is left.
class TWinsockSession {
 public:
  TWinsockSession() {
    WSADATA data;
    ::WSAStartup(0x0101, &data);  // result not needed: a failed start makes the lookup fail
  }
  ~TWinsockSession() { ::WSACleanup(); }
  TWinsockSession(const TWinsockSession&) = delete;
  TWinsockSession& operator=(const TWinsockSession&) = delete;
};

class TIcmpHandle {
 public:
  TIcmpHandle(const TIcmpEntryPoints& api) : api_(api) {
    if (api_.createFile) h_ = api_.createFile();
  }
  ~TIcmpHandle() {
    if (*this && api_.closeHandle) api_.closeHandle(h_);
  }
  TIcmpHandle(const TIcmpHandle&) = delete;
  TIcmpHandle& operator=(const TIcmpHandle&) = delete;
  explicit operator bool() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }

 private:
  const TIcmpEntryPoints& api_;
  HANDLE h_ = nullptr;
};

constexpr WORD kPayloadSize = 32;
// IcmpSendEcho needs room for one reply record, the echoed payload and 8 bytes of an ICMP
// error message; a smaller buffer makes it fail with IP_BUF_TOO_SMALL on every call.
constexpr DWORD kReplySize = sizeof(ICMP_ECHO_REPLY) + kPayloadSize + 8;

}  // namespace

bool ResolveHostAddress(const std::string& host, std::string& address) {
  if (!HostFitsLookupBuffer(host)) return false;
  TWinsockSession winsock;
  char name[kMaxHostLength + 1];
  std::memcpy(name, host.c_str(), host.size() + 1);
  const hostent* entry = ::gethostbyname(name);
  if (!entry || entry->h_addrtype != AF_INET || entry->h_length != 4 || !entry->h_addr_list ||
      !entry->h_addr_list[0])
    return false;
  uint8_t bytes[4];
  std::memcpy(bytes, entry->h_addr_list[0], 4);
  address = FormatDottedAddress(bytes);
  return true;
}

int PingHost(const std::string& host, unsigned timeoutMs) {
  const TIcmpEntryPoints& api = IcmpEntryPoints();
  if (!api.sendEcho) throw TRunnerError("ICMP.DLL could not be found!");
  std::string dotted = host;
  ResolveHostAddress(host, dotted);
  // A text that neither resolves nor parses gives INADDR_NONE, the broadcast address;
  // echoing to it means nothing, so such a host simply gets no answer.
  const unsigned long address = ::inet_addr(dotted.c_str());
  if (address == INADDR_NONE) return -1;
  TIcmpHandle icmp(api);
  if (!icmp) return -1;
  char payload[kPayloadSize] = "ZqRunner echo";
  std::vector<unsigned char> reply(kReplySize + 1, 0);
  const DWORD count = api.sendEcho(icmp.get(), address, payload, kPayloadSize, nullptr,
                                   reply.data(), kReplySize, timeoutMs);
  if (count == 0) return -1;
  ICMP_ECHO_REPLY first;
  std::memcpy(&first, reply.data(), sizeof first);
  return static_cast<int>(first.RoundTripTime);
}

bool ServerReachable() {
  bool reachable;
  try {
    LoadIcmpLibrary();
    reachable = !ServerAddress.empty() && PingHost(ServerAddress, 1500) != -1;
  } catch (const std::exception&) {
    // Above all a missing Icmp.dll: the server then counts as reachable.
    reachable = true;
  }
  FreeIcmpLibrary();
  return reachable;
}

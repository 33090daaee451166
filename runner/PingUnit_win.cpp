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
#include "WinUtil.h"

namespace {

template <typename T>
T Entry(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// Winsock 1.1, loaded and started for the scope and cleaned up however the scope is left:
// the program asks it only around a ping, and need not carry it for weeks in the tray.
// Without it (or an entry point) every lookup fails and every address is INADDR_NONE.
class TWinsockSession {
 public:
  TWinsockSession() : module_(::LoadLibraryA("ws2_32.dll")) {
    if (!module_) return;
    auto startup = Entry<int(WSAAPI*)(WORD, LPWSADATA)>(module_.get(), "WSAStartup");
    cleanup_ = Entry<int(WSAAPI*)()>(module_.get(), "WSACleanup");
    lookup_ = Entry<hostent*(WSAAPI*)(const char*)>(module_.get(), "gethostbyname");
    parse_ = Entry<unsigned long(WSAAPI*)(const char*)>(module_.get(), "inet_addr");
    WSADATA data;
    started_ = startup && cleanup_ && lookup_ && parse_ && startup(0x0101, &data) == 0;
  }
  ~TWinsockSession() {
    if (started_) cleanup_();
  }
  TWinsockSession(const TWinsockSession&) = delete;
  TWinsockSession& operator=(const TWinsockSession&) = delete;
  const hostent* Lookup(const char* name) const { return started_ ? lookup_(name) : nullptr; }
  unsigned long Parse(const std::string& dotted) const {
    return started_ ? parse_(dotted.c_str()) : INADDR_NONE;
  }

 private:
  TModule module_;
  bool started_ = false;
  int(WSAAPI* cleanup_)() = nullptr;
  hostent*(WSAAPI* lookup_)(const char*) = nullptr;
  unsigned long(WSAAPI* parse_)(const char*) = nullptr;
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

namespace {
bool Resolve(const TWinsockSession& winsock, const std::string& host, std::string& address) {
  if (!HostFitsLookupBuffer(host)) return false;
  char name[kMaxHostLength + 1];
  std::memcpy(name, host.c_str(), host.size() + 1);
  const hostent* entry = winsock.Lookup(name);
  if (!entry || entry->h_addrtype != AF_INET || entry->h_length != 4 || !entry->h_addr_list ||
      !entry->h_addr_list[0])
    return false;
  uint8_t bytes[4];
  std::memcpy(bytes, entry->h_addr_list[0], 4);
  address = FormatDottedAddress(bytes);
  return true;
}
}  // namespace

bool ResolveHostAddress(const std::string& host, std::string& address) {
  const TWinsockSession winsock;
  return Resolve(winsock, host, address);
}

int PingHost(const std::string& host, unsigned timeoutMs) {
  const TIcmpEntryPoints& api = IcmpEntryPoints();
  if (!api.sendEcho) throw TRunnerError("ICMP.DLL could not be found!");
  std::string dotted = host;
  const TWinsockSession winsock;
  Resolve(winsock, host, dotted);
  // A text that neither resolves nor parses gives INADDR_NONE, the broadcast address;
  // echoing to it means nothing, so such a host simply gets no answer.
  const unsigned long address = winsock.Parse(dotted);
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

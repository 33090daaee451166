// Host lookup and ICMP echo to the backup server.
#pragma once
#include <cstdint>
#include <string>

// The lookup copies the host into a 256-byte buffer: longer names are refused.
constexpr size_t kMaxHostLength = 255;

// True when `host` fits the lookup buffer with its terminating zero and holds no zero byte.
bool HostFitsLookupBuffer(const std::string& host);
// "a.b.c.d" from four address bytes in network order.
std::string FormatDottedAddress(const uint8_t bytes[4]);

// Looks `host` up through Winsock 1.1. On success `address` holds the first address in
// dotted form and the result is true; a host that does not fit the lookup buffer or has
// no address gives false and leaves `address` alone. Never throws.
bool ResolveHostAddress(const std::string& host, std::string& address);

// One ICMP echo of 32 bytes to `host` (a name or a dotted address). Returns the round
// trip in ms, or -1 when no reply came within `timeoutMs`, no ICMP handle could be opened
// or the host has no IPv4 address. Throws TRunnerError("ICMP.DLL could not be found!")
// when Icmp.dll or IcmpSendEcho is not bound (LoadIcmpLibrary first). GUI thread.
int PingHost(const std::string& host, unsigned timeoutMs);

// Pings ServerAddress with a 1500 ms time-out, loading Icmp.dll for the span of the
// call. Empty address: false. No ICMP library (or any other failure): true, the server
// then counts as reachable. Blocks up to 1.5 s plus a name lookup. GUI thread.
bool ServerReachable();

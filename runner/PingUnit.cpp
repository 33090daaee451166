#include "PingUnit.h"

bool HostFitsLookupBuffer(const std::string& host) {
  return host.size() <= kMaxHostLength && host.find('\0') == std::string::npos;
}

std::string FormatDottedAddress(const uint8_t bytes[4]) {
  std::string out;
  for (int i = 0; i < 4; ++i) {
    if (i) out += '.';
    out += std::to_string(static_cast<unsigned>(bytes[i]));
  }
  return out;
}

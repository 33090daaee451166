#include "IsConnected.h"

bool ConnectedFrom(const TConnectionState& s) {
  if (!s.bound) return true;
  if (!s.callOk) return false;
  return (s.flags & (kConnectionModem | kConnectionLan | kConnectionProxy)) != 0;
}

bool ProxyFrom(const TConnectionState& s) {
  return s.bound && s.callOk && (s.flags & kConnectionProxy) != 0;
}

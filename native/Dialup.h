// Remote Access Service records (ANSI, Windows NT 4.0 layout) and the run-time RAS binding.
#pragma once
#include <windows.h>

namespace nativa {

constexpr size_t kRasEntryNameLen = 256;  // fields hold 256 bytes plus the terminating zero
constexpr size_t kRasPhoneLen = 128;
constexpr size_t kRasDeviceTypeLen = 16;
constexpr size_t kRasDeviceNameLen = 128;
constexpr size_t kRasDomainLen = 15;
constexpr DWORD kRasErrorInvalidSize = 632;  // ERROR_INVALID_SIZE of the RAS error range

using HRasConn = HANDLE;

struct TRasEntryName {
  DWORD size;
  char entryName[kRasEntryNameLen + 1];
};
struct TRasConn {
  DWORD size;
  HRasConn conn;
  char entryName[kRasEntryNameLen + 1];
  char deviceType[kRasDeviceTypeLen + 1];
  char deviceName[kRasDeviceNameLen + 1];
};
struct TRasDialParams {
  DWORD size;
  char entryName[kRasEntryNameLen + 1];
  char phoneNumber[kRasPhoneLen + 1];
  char callbackNumber[kRasPhoneLen + 1];
  char userName[kRasEntryNameLen + 1];
  char password[kRasEntryNameLen + 1];
  char domain[kRasDomainLen + 1];
};
struct TRasConnStatus {
  DWORD size;
  DWORD state;
  DWORD error;
  char deviceType[kRasDeviceTypeLen + 1];
  char deviceName[kRasDeviceNameLen + 1];
};
static_assert(sizeof(TRasEntryName) == 264, "RASENTRYNAMEA, NT 4.0");
static_assert(sizeof(TRasDialParams) == 1052, "RASDIALPARAMSA, NT 4.0");
static_assert(sizeof(TRasConnStatus) == 160, "RASCONNSTATUSA, NT 4.0");
#ifndef _WIN64
static_assert(sizeof(TRasConn) == 412, "RASCONNA, NT 4.0");
#endif

// "RASAPI32.DLL", bound by name at process attach. `available` follows RasHangUpA alone.
struct TRasBinding {
  HMODULE module = nullptr;
  DWORD(WINAPI* hangUp)(HRasConn) = nullptr;
  DWORD(WINAPI* enumEntries)(LPCSTR reserved, LPCSTR phoneBook, TRasEntryName*, DWORD* bytes,
                             DWORD* count) = nullptr;
  DWORD(WINAPI* enumConnections)(TRasConn*, DWORD* bytes, DWORD* count) = nullptr;
  DWORD(WINAPI* dial)(void* extensions, LPCSTR phoneBook, TRasDialParams*, DWORD notifierType,
                      void* notifier, HRasConn* conn) = nullptr;
  DWORD(WINAPI* getConnectStatus)(HRasConn, TRasConnStatus*) = nullptr;
  bool available = false;
};

// The process-wide binding (tests substitute its entry points).
TRasBinding& Ras();
void BindRas(const char* libraryName);
void UnbindRas();

}  // namespace nativa

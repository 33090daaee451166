// Process-wide state and the load-time set-up of Nativa.dll.
#include "NativaState.h"
#include "Dialup.h"

namespace nativa {

bool WideApiMode = false;
HINSTANCE LibraryInstance = nullptr;
char* StoredTitle = nullptr;

namespace {
TRasBinding gRas;

template <class F>
void Resolve(HMODULE module, const char* name, F& slot) {
  slot = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}
}  // namespace

TRasBinding& Ras() { return gRas; }

void BindRas(const char* libraryName) {
  gRas = TRasBinding();
  gRas.module = ::LoadLibraryA(libraryName);
  if (!gRas.module) return;
  Resolve(gRas.module, "RasHangUpA", gRas.hangUp);
  Resolve(gRas.module, "RasEnumEntriesA", gRas.enumEntries);
  Resolve(gRas.module, "RasEnumConnectionsA", gRas.enumConnections);
  Resolve(gRas.module, "RasDialA", gRas.dial);
  Resolve(gRas.module, "RasGetConnectStatusA", gRas.getConnectStatus);
  // Only the hang-up entry decides availability; the others are checked where they are called.
  gRas.available = gRas.hangUp != nullptr;
}

void UnbindRas() {
  if (gRas.module) ::FreeLibrary(gRas.module);
  gRas = TRasBinding();
}

void AttachProcess(HINSTANCE instance) {
  gRas.available = false;
  OSVERSIONINFOA version;
  ZeroMemory(&version, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  WideApiMode = ::GetVersionExA(&version) && version.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS;
#pragma GCC diagnostic pop
  LibraryInstance = instance;
  BindRas("RASAPI32.DLL");
}

void DetachProcess() { UnbindRas(); }

}  // namespace nativa

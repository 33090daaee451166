#include "IcmpAPI.h"

#include "WinUtil.h"

namespace {

TModule IcmpModule;
TIcmpEntryPoints Entries;

template <typename F>
F Resolve(HMODULE m, const char* name) {
  // GetProcAddress returns FARPROC; go through void* to silence the cast warning.
  return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(m, name)));
}

}  // namespace

void LoadIcmpLibrary() {
  Entries = TIcmpEntryPoints{};
  IcmpModule.reset(::LoadLibraryA("Icmp.dll"));
  if (!IcmpModule) return;
  Entries.createFile = Resolve<TIcmpCreateFile>(IcmpModule.get(), "IcmpCreateFile");
  Entries.closeHandle = Resolve<TIcmpCloseHandle>(IcmpModule.get(), "IcmpCloseHandle");
  Entries.sendEcho = Resolve<TIcmpSendEcho>(IcmpModule.get(), "IcmpSendEcho");
}

void FreeIcmpLibrary() {
  // Pointers into a freed module must not survive it.
  Entries = TIcmpEntryPoints{};
  IcmpModule.reset();
}

const TIcmpEntryPoints& IcmpEntryPoints() { return Entries; }

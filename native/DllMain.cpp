#include "NativaState.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    // The natives keep no per-thread state; thread notifications would only cost time.
    ::DisableThreadLibraryCalls(instance);
    nativa::AttachProcess(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    nativa::DetachProcess();
  }
  return TRUE;
}

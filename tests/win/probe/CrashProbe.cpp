// Fails as ZqRunner could fail, with ZqRunner's crash report installed, so that a test can
// look at what is left behind.
// Usage: crash_probe FOLDER HOW
//   HOW: "thread" an access violation in a second thread; "throw" a C++ exception that
//   escapes every catch (the program's own terminate handler is linked in).
// The log and the dump go to FOLDER. Exit code 2: bad use; otherwise the crash decides.
#include <windows.h>

#include <cstring>
#include <stdexcept>

#include "Diagnostics.h"

namespace {

DWORD WINAPI WriteThroughNull(void*) {
  *static_cast<volatile int*>(nullptr) = 1;
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc != 3) return 2;
  StartActivityLog(__argv[1], "start-up");
  InstallCrashReport(__argv[1]);
  if (std::strcmp(__argv[2], "thread") == 0) {
    HANDLE t = ::CreateThread(nullptr, 0, WriteThroughNull, nullptr, 0, nullptr);
    ::WaitForSingleObject(t, INFINITE);
  } else if (std::strcmp(__argv[2], "throw") == 0) {
    throw std::runtime_error("escapes every catch");
  }
  return 2;
}

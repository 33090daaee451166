#include "Just1.h"

#include <windows.h>

bool IsAlreadyRunning(const std::string& name) {
  // One call that creates the mutex or opens the existing one: a test first and a creation
  // afterwards would let two instances started at the same moment both pass the test.
  HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name.c_str());
  const DWORD error = ::GetLastError();
  // None at all (for example another user's mutex of that name, which this one may not
  // open): some other instance holds the name.
  if (!mutex) return true;
  if (error == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(mutex);
    return true;
  }
  // Kept on purpose: the mutex lives as long as this process.
  return false;
}

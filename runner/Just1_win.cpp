#include "Just1.h"

#include <windows.h>

bool IsAlreadyRunning(const std::string& name) {
  // Opening succeeds when another instance created the mutex. The handles are kept on
  // purpose: the mutex must live as long as this process.
  if (::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str())) return true;
  return ::CreateMutexA(nullptr, FALSE, name.c_str()) == nullptr;
}

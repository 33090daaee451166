// The Win32 IJavaSetupHost: the installer runs on a TRunThread and the wait for its
// clean-up program on a TLockThread, while the calling (GUI) thread keeps dispatching its
// messages (PumpMessages and a 1 ms sleep between polls). Win32 layer only.
#pragma once
#include "JavaSetup.h"

class TWinJavaSetupHost : public IJavaSetupHost {
 public:
  std::string FindJavaw() override;
  void RunAndWait(const std::string& commandLine, const std::string& workDir) override;
  void WaitUntilReleased(const std::string& path) override;
  int StartClient() override;
};

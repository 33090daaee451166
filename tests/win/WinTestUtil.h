// Helpers for tests that drive real processes and windows under Wine.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "TestPaths.h"
#include "WinUtil.h"

namespace wt {


// A fresh directory below %TEMP%, removed (with RemoveDirectoryTree) on destruction.
class TTempDir {
 public:
  explicit TTempDir(const std::string& tag);
  ~TTempDir();
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }
  void Write(const std::string& name, const std::string& data) const;
  std::string Read(const std::string& name) const;

 private:
  std::string path_;
};

struct TProcess {
  TKernelHandle process;
  DWORD pid = 0;
  // Waits up to `ms`; returns the exit code, or -1 when it did not end in time.
  long Wait(DWORD ms) const;
};

// Starts `exe` with `args` (a raw command-line tail) in `workDir`.
TProcess Start(const std::string& exe, const std::string& args, const std::string& workDir = "");

// Polls (pumping this thread's messages) until `pred` holds or `ms` elapse.
bool WaitUntil(const std::function<bool()>& pred, DWORD ms);

// Deletes a registry key with all its subkeys (RegDeleteTreeA, looked up at run time: the
// headers are Windows XP's, which do not declare it).
void DeleteRegistryTree(HKEY root, const char* path);

// Creates a directory symbolic link (CreateSymbolicLinkA, looked up at run time, as above);
// false when the system cannot, with the last error set.
bool CreateDirectoryLink(const std::string& link, const std::string& target);

// The control of `dialog` with this id and window class ("Button", "Static", "ComboBox"):
// the will-start warning has a label and a button that share id 102.
HWND Child(HWND dialog, int id, const char* cls);
// A window's text (up to 511 bytes).
std::string TextOf(HWND window);

// A top-level window of process `pid` whose caption is `caption`, or null.
HWND FindProcessWindow(DWORD pid, const std::string& caption);
// The message text of a message box (its static control, id 0xFFFF).
std::string MessageBoxText(HWND box);

// Whether this host lets Wine send an ICMP echo at all (an ICMP socket needs
// net.ipv4.ping_group_range, a raw one root): asked of icmp.dll directly, without the
// program's own ping code, so that a fault there shows as a failure, not as this answer.
bool LoopbackEchoes();

}  // namespace wt

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
  // Read with write sharing: a program under test may be appending at the same moment.
  std::string Read(const std::string& name) const;

 private:
  std::string path_;
};

struct TProcess {
  TKernelHandle process, thread;  // the thread: its first, to resume one started suspended
  DWORD pid = 0;
  // Waits up to `ms`; returns the exit code, or -1 when it did not end in time.
  long Wait(DWORD ms) const;
};

// Starts `exe` with `args` (a raw command-line tail) in `workDir`, with CreateProcess `flags`.
TProcess Start(const std::string& exe, const std::string& args, const std::string& workDir = "",
               DWORD flags = 0);

// The lines of a text, without their CR LF or LF.
std::vector<std::string> Lines(const std::string& text);

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
// True when a file or directory of that name exists.
inline bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
// A window's text (up to 511 bytes).
std::string TextOf(HWND window);

// The top-level windows of process `pid` in EnumWindows' order (the Z order).
std::vector<HWND> WindowsOf(DWORD pid);
// A visible top-level window of process `pid` whose caption is `caption`, or null.
HWND FindProcessWindow(DWORD pid, const std::string& caption);
// The message text of a message box (its static control, id 0xFFFF).
std::string MessageBoxText(HWND box);

// Points this executable's import of `dll`!`function` at `replacement` while the object
// lives, so the program's own calls reach the test instead (DLLs keep their own imports).
// False when the executable imports no such function: nothing was replaced.
class THookedImport {
 public:
  template <class F>
  THookedImport(const char* dll, const char* fn, F* f) { Install(dll, fn, reinterpret_cast<const void*>(f)); }
  ~THookedImport() { if (slot_) Swap(original_); }
  THookedImport(const THookedImport&) = delete;
  explicit operator bool() const { return slot_ != nullptr; }

 private:
  void Install(const char* dll, const char* function, const void* replacement);
  const void* Swap(const void* value);  // returns the entry it replaced
  const void** slot_ = nullptr;
  const void* original_ = nullptr;
};

// Whether this host lets Wine send an ICMP echo at all (an ICMP socket needs
// net.ipv4.ping_group_range, a raw one root): asked of icmp.dll directly, without the
// program's own ping code, so that a fault there shows as a failure, not as this answer.
bool LoopbackEchoes();

}  // namespace wt

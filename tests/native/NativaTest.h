// Shared fixture of the Nativa.dll tests: the process-wide JNI host, the loaded DLL and the
// natives looked up by their exported names.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "JniHost.h"
#include "../win/TestPaths.h"

#include <com_korvel_stash9_os_win32_BackupApi.h>
#include <com_korvel_sump_SUMPInterface.h>
#include <com_korvel_system_Internet.h>
#include <com_stowly_dialup_Nativa.h>
#include <com_stowly_fileutils_Win32FileNatives.h>
#include <com_stowly_guinative_DesktopIndicator.h>
#include <com_stowly_guinative_Win32Util.h>

namespace nativa_test {

// Linux build paths become Z:\... under Wine.
using wt::WindowsPath;

// One host for the whole process: the DLL caches classes and field IDs for the process.
host::TJvm& Jvm();
// Classes the natives look up, defined once.
host::TClass* FileInfoClass();
host::TClass* IndicatorClass();

// Nativa.dll, loaded once with LoadLibrary.
HMODULE NativaDll();
// Exported names of the loaded DLL, from its export directory.
std::vector<std::string> ExportNames(HMODULE module);
// The export whose undecorated JNI name is `shortName` ("Java_..."); aborts the test if absent.
void* FindNative(const char* shortName);

#define NATIVE(fn) reinterpret_cast<decltype(&fn)>(::nativa_test::FindNative(#fn))

// A temporary directory removed with its contents at the end of the test.
class TTempDir {
 public:
  explicit TTempDir(const std::string& tag);
  ~TTempDir();
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }
  void Write(const std::string& name, const std::string& data) const;
 private:
  std::string path_;
};

class TNativaTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  JNIEnv* env() { return Jvm().Env(); }
  jstring J(const std::string& ascii);
  jstring J16(const std::u16string& text) { return Jvm().NewString(text); }
  // Takes the pending exception; "" when none.
  std::string ExceptionClass() { return Jvm().TakeException().className; }
  host::TPendingException Exception() { return Jvm().TakeException(); }
};

}  // namespace nativa_test

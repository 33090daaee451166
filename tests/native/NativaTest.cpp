#include "NativaTest.h"

#include <cstring>

namespace nativa_test {

host::TJvm& Jvm() {
  static host::TJvm* jvm = new host::TJvm;  // lives as long as the DLL's caches
  return *jvm;
}

host::TClass* FileInfoClass() {
  static host::TClass* cls = Jvm().DefineClass(
      "test/FileInfo", {{"filename", "Ljava/lang/String;"}, {"fileattrib", "J"}, {"filesize", "J"}, {"directory", "Z"}});
  return cls;
}

host::TClass* IndicatorClass() {
  static host::TClass* cls = Jvm().DefineClass("com/stowly/guinative/DesktopIndicator", {{"handler", "I"}});
  return cls;
}

HMODULE NativaDll() {
  static HMODULE dll = [] {
    Jvm().DefineClass("com/stowly/dialup/WinRasEntry", {{"name", "Ljava/lang/String;"}, {"handle", "J"}});
    HMODULE m = ::LoadLibraryA(WindowsPath(ZQ_NATIVA_DLL).c_str());
    if (!m) {
      std::fprintf(stderr, "cannot load %s: %lu\n", ZQ_NATIVA_DLL, ::GetLastError());
      std::abort();
    }
    return m;
  }();
  return dll;
}

std::vector<std::string> ExportNames(HMODULE module) {
  auto* base = reinterpret_cast<const BYTE*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  std::vector<std::string> names;
  if (!dir.VirtualAddress) return names;
  auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  auto* nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    names.push_back(reinterpret_cast<const char*>(base + nameRvas[i]));
  // Exports by ordinal only would be invisible above: count them as unnamed entries.
  for (DWORD i = exports->NumberOfNames; i < exports->NumberOfFunctions; ++i) names.push_back("");
  return names;
}

void* FindNative(const char* shortName) {
  static std::vector<std::string> names = ExportNames(NativaDll());
  std::string want = shortName;
  for (const std::string& n : names) {
    std::string plain = n;
#ifndef _WIN64
    if (!plain.empty() && plain[0] == '_') plain.erase(0, 1);
    size_t at = plain.rfind('@');
    if (at != std::string::npos) plain.erase(at);
#endif
    if (plain == want) return reinterpret_cast<void*>(::GetProcAddress(NativaDll(), n.c_str()));
  }
  std::fprintf(stderr, "native %s not exported\n", shortName);
  std::abort();
}

TTempDir::TTempDir(const std::string& tag) {
  static int counter = 0;
  char temp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, temp);
  path_ = std::string(temp) + "nativa_" + tag + "_" + std::to_string(::GetCurrentProcessId()) + "_" +
          std::to_string(++counter);
  ::CreateDirectoryA(path_.c_str(), nullptr);
}

TTempDir::~TTempDir() {
  WIN32_FIND_DATAA data;
  HANDLE h = ::FindFirstFileA((path_ + "\\*").c_str(), &data);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string full = File(name);
      ::SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        ::RemoveDirectoryA(full.c_str());
      else
        ::DeleteFileA(full.c_str());
    } while (::FindNextFileA(h, &data));
    ::FindClose(h);
  }
  ::RemoveDirectoryA(path_.c_str());
}

void TTempDir::Write(const std::string& name, const std::string& data) const {
  HANDLE f = ::CreateFileA(File(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD wrote = 0;
  ::WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &wrote, nullptr);
  ::CloseHandle(f);
}

void TNativaTest::SetUp() {
  NativaDll();
  FileInfoClass();
  IndicatorClass();
}

void TNativaTest::TearDown() {
  EXPECT_EQ(Jvm().Violations(), 0) << "JNI rules broken (see stderr)";
  EXPECT_EQ(Jvm().OpenPins(), 0) << "strings or arrays not released";
  host::TPendingException left = Jvm().TakeException();
  EXPECT_EQ(left.className, "") << "exception left pending: " << left.message;
}

jstring TNativaTest::J(const std::string& ascii) {
  return Jvm().NewString(std::u16string(ascii.begin(), ascii.end()));
}

}  // namespace nativa_test

// Directory search, drive type, waits and change notification through the loaded DLL, and
// the string conventions every native shares.
#include <windows.h>
#include <winioctl.h>

#include <functional>

#include "NativaState.h"
#include "NativaTest.h"

namespace nativa_test {
namespace {

struct TEntry {
  std::u16string name;
  jlong attrib;
  jlong size;
  bool directory;
};

class FileNativesTest : public TNativaTest {
 protected:
  jobject NewInfo() { return Jvm().NewInstance(FileInfoClass()); }
  TEntry Read(jobject info) {
    return {Jvm().Text(Jvm().Field(info, "filename").l), Jvm().Field(info, "fileattrib").j,
            Jvm().Field(info, "filesize").j, Jvm().Field(info, "directory").z != 0};
  }
  // All entries of `pattern`, in the order the search gives them.
  std::vector<TEntry> List(const std::string& pattern) {
    auto first = NATIVE(Java_com_stowly_fileutils_Win32FileNatives_nativeFindFirstFile);
    auto next = NATIVE(Java_com_stowly_fileutils_Win32FileNatives_nativeFindNextFile);
    auto close = NATIVE(Java_com_stowly_fileutils_Win32FileNatives_nativeFindClose);
    std::vector<TEntry> entries;
    jobject info = NewInfo();
    jlong h = first(env(), nullptr, J(pattern), info);
    if (h == 0) return entries;
    entries.push_back(Read(info));
    while (jobject same = next(env(), nullptr, h, info)) {
      EXPECT_EQ(same, info);
      entries.push_back(Read(info));
    }
    EXPECT_NE(close(env(), nullptr, h), 0) << "handle stays open after the last entry";
    return entries;
  }
};

DWORD WINAPI TakeAndLeave(LPVOID mutex) { return ::WaitForSingleObject(*static_cast<HANDLE*>(mutex), 0); }

const TEntry* Find(const std::vector<TEntry>& entries, const std::u16string& name) {
  for (const TEntry& e : entries)
    if (e.name == name) return &e;
  return nullptr;
}

// A file of 5 GiB without writing 5 GiB: sparse where the file system allows it (on Wine's
// Z: drive the Linux file system makes a file extended by SetEndOfFile sparse anyway).
bool MakeBigFile(const std::string& path) {
  HANDLE f = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD ret = 0;
  ::DeviceIoControl(f, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ret, nullptr);
  LARGE_INTEGER size;
  size.QuadPart = 5368709120LL;  // high half 1, low half 0x40000000
  bool ok = ::SetFilePointerEx(f, size, nullptr, FILE_BEGIN) && ::SetEndOfFile(f);
  ::CloseHandle(f);
  return ok;
}

TEST_F(FileNativesTest, ListsEntriesWithAttributesAndSizes) {
  TTempDir dir("list");
  dir.Write("a.txt", "abc");
  ASSERT_TRUE(::SetFileAttributesA(dir.File("a.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  ::CreateDirectoryA(dir.File("sub").c_str(), nullptr);
  bool big = MakeBigFile(dir.File("big.bin"));

  std::vector<TEntry> entries = List(dir.Path() + "\\*");
  struct {
    std::u16string name;
    bool directory;
  } expected[] = {{u".", true}, {u"..", true}, {u"sub", true}, {u"a.txt", false}};
  for (auto& e : expected) {
    const TEntry* found = Find(entries, e.name);
    ASSERT_NE(found, nullptr) << std::string(e.name.begin(), e.name.end());
    EXPECT_EQ(found->directory, e.directory);
    EXPECT_EQ((found->attrib & FILE_ATTRIBUTE_DIRECTORY) != 0, e.directory);
  }
  EXPECT_EQ(Find(entries, u"a.txt")->attrib, 33);
  EXPECT_EQ(Find(entries, u"a.txt")->size, 3);
  if (big) {
    ASSERT_NE(Find(entries, u"big.bin"), nullptr);
    EXPECT_EQ(Find(entries, u"big.bin")->size, 5368709120LL);
    // The first entry of a search is filled the same way.
    std::vector<TEntry> one = List(dir.File("big.bin"));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].size, 5368709120LL);
  } else {
    ADD_FAILURE() << "could not create a 5 GiB file here";
  }
  ::SetFileAttributesA(dir.File("a.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileNativesTest, NoMatchReturnsZeroAndLeavesObject) {
  TTempDir dir("nomatch");
  auto first = NATIVE(Java_com_stowly_fileutils_Win32FileNatives_nativeFindFirstFile);
  jobject info = NewInfo();
  Jvm().Field(info, "fileattrib").j = 77;
  EXPECT_EQ(first(env(), nullptr, J(dir.File("*.none")), info), 0);
  EXPECT_EQ(Jvm().Field(info, "fileattrib").j, 77);
  EXPECT_EQ(Jvm().Field(info, "filename").l, nullptr);
  EXPECT_EQ(ExceptionClass(), "");
}

TEST_F(FileNativesTest, NonAsciiNamesTravelAsUtf16InWideMode) {
  TTempDir dir("wide");
  const std::u16string name = u"\u00e4\u20ac\U0001D11E.txt";  // a-umlaut, euro, a surrogate pair
  std::wstring full(dir.Path().begin(), dir.Path().end());
  full += L"\\" + std::wstring(name.begin(), name.end());
  HANDLE f = ::CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  ::CloseHandle(f);
  std::u16string pattern(dir.Path().begin(), dir.Path().end());
  pattern += u"\\\u00e4*";
  auto first = NATIVE(Java_com_stowly_fileutils_Win32FileNatives_nativeFindFirstFile);
  auto close = NATIVE(Java_com_stowly_fileutils_Win32FileNatives_nativeFindClose);
  jobject info = NewInfo();
  jlong h = first(env(), nullptr, J16(pattern), info);
  ASSERT_NE(h, 0);
  EXPECT_EQ(Jvm().Text(Jvm().Field(info, "filename").l), name);
  close(env(), nullptr, h);
  // The same wide copy opens the file through BackupApi.CreateFile.
  auto create = NATIVE(Java_com_korvel_stash9_os_win32_BackupApi_CreateFile);
  auto closeHandle = NATIVE(Java_com_korvel_stash9_os_win32_BackupApi_CloseHandle);
  std::u16string path(full.begin(), full.end());
  jint file = create(env(), nullptr, J16(path), GENERIC_READ, 0, 0, OPEN_EXISTING, 0, 0);
  EXPECT_EQ(ExceptionClass(), "");
  ASSERT_NE(file, 0);
  EXPECT_NE(closeHandle(env(), nullptr, file), 0);
}

TEST_F(FileNativesTest, NullStringsRaiseNullPointerExceptionWithEmptyMessage) {
  jobject info = NewInfo();
  jbyteArray buffer = Jvm().NewByteArray(64);
  struct {
    const char* what;
    std::function<jlong()> call;
    jlong neutral;
  } cases[] = {
      {"nativeDriveType", [&] { return (jlong)NATIVE(Java_com_stowly_fileutils_Win32FileNatives_nativeDriveType)(env(), nullptr, nullptr); }, 0},
      {"nativeFindFirstFile", [&] { return NATIVE(Java_com_stowly_fileutils_Win32FileNatives_nativeFindFirstFile)(env(), nullptr, nullptr, info); }, 0},
      {"nativeFindFirstChangeNotification", [&] { return NATIVE(Java_com_stowly_fileutils_Win32FileNatives_nativeFindFirstChangeNotification)(env(), nullptr, nullptr, 0, 1); }, -1},
      {"CreateFile", [&] { return (jlong)NATIVE(Java_com_korvel_stash9_os_win32_BackupApi_CreateFile)(env(), nullptr, nullptr, 0, 0, 0, 3, 0, 0); }, 0},
      {"readSecurityDescriptor", [&] { return (jlong)NATIVE(Java_com_korvel_stash9_os_win32_BackupApi_readSecurityDescriptor)(env(), nullptr, nullptr, buffer, 64); }, 0},
      {"setPrivilege", [&] { NATIVE(Java_com_korvel_stash9_os_win32_BackupApi_setPrivilege)(env(), nullptr, nullptr, 1); return jlong(0); }, 0},
      {"nativeLoadImage", [&] { return (jlong)NATIVE(Java_com_stowly_guinative_DesktopIndicator_nativeLoadImage)(env(), nullptr, nullptr); }, -1},
      {"findWindow", [&] { return (jlong)NATIVE(Java_com_stowly_guinative_Win32Util_findWindow)(env(), nullptr, J("cls"), nullptr); }, 0},
      {"SetTitle", [&] { NATIVE(Java_com_stowly_dialup_Nativa_SetTitle)(env(), nullptr, nullptr); return jlong(0); }, 0},
      {"nativeFindNextFile, null object", [&] { return (jlong)(NATIVE(Java_com_stowly_fileutils_Win32FileNatives_nativeFindNextFile)(env(), nullptr, 1, nullptr) != nullptr); }, 0},
      {"nativeFindFirstFile, null object", [&] { return NATIVE(Java_com_stowly_fileutils_Win32FileNatives_nativeFindFirstFile)(env(), nullptr, J("C:\\*"), nullptr); }, 0},
      {"ExecShell", [&] { NATIVE(Java_com_stowly_dialup_Nativa_ExecShell)(env(), nullptr, nullptr); return jlong(0); }, 0},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.neutral);
    host::TPendingException e = Exception();
    EXPECT_EQ(e.className, "java/lang/NullPointerException");
    EXPECT_EQ(e.message, "");
  }
}

TEST_F(FileNativesTest, EmptyStringIsAnEmptyPathNotAnError) {
  auto create = NATIVE(Java_com_korvel_stash9_os_win32_BackupApi_CreateFile);
  EXPECT_EQ(create(env(), nullptr, J(""), GENERIC_READ, 0, 0, OPEN_EXISTING, 0, 0), 0);
  host::TPendingException e = Exception();
  EXPECT_EQ(e.className, "java/io/IOException");
  EXPECT_EQ(e.message, "CreateFile returned invalid handle");
  auto first = NATIVE(Java_com_stowly_fileutils_Win32FileNatives_nativeFindFirstFile);
  EXPECT_EQ(first(env(), nullptr, J(""), NewInfo()), 0);
  EXPECT_EQ(ExceptionClass(), "");
}

TEST_F(FileNativesTest, DriveTypes) {
  auto drive = NATIVE(Java_com_stowly_fileutils_Win32FileNatives_nativeDriveType);
  EXPECT_EQ(drive(env(), nullptr, J("C:\\")), 3);
  EXPECT_EQ(drive(env(), nullptr, J("Q:\\")), 1) << "a drive letter that does not exist";
}

TEST_F(FileNativesTest, WaitResultsAreZeroExtended) {
  auto wait = NATIVE(Java_com_stowly_fileutils_Win32FileNatives_nativeWaitForSingleObject);
  HANDLE set = ::CreateEventA(nullptr, TRUE, TRUE, nullptr);
  HANDLE unset = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE closed = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // A mutex whose owning thread ended without releasing it.
  static HANDLE abandoned;
  abandoned = ::CreateMutexA(nullptr, FALSE, nullptr);
  HANDLE owner = ::CreateThread(nullptr, 0, TakeAndLeave, &abandoned, 0, nullptr);
  ::WaitForSingleObject(owner, INFINITE);
  ::CloseHandle(owner);
  auto asLong = [](HANDLE h) { return static_cast<jlong>(reinterpret_cast<LONG_PTR>(h)); };
  EXPECT_EQ(wait(env(), nullptr, asLong(set), 0), 0);
  EXPECT_EQ(wait(env(), nullptr, asLong(unset), 0), 258);
  // Only the low 32 bits of the time-out count: 2^32 waits 0 ms.
  EXPECT_EQ(wait(env(), nullptr, asLong(unset), 0x100000000LL), 258);
  EXPECT_EQ(wait(env(), nullptr, asLong(abandoned), 0), 128);
  ::CloseHandle(closed);  // closed last, so that no later handle reuses its value
  EXPECT_EQ(wait(env(), nullptr, asLong(closed), 0), 4294967295LL);
  ::CloseHandle(set);
  ::CloseHandle(unset);
  ::ReleaseMutex(abandoned);
  ::CloseHandle(abandoned);
}

TEST_F(FileNativesTest, ChangeNotificationSignalsWhenAFileIsCreated) {
  TTempDir dir("watch");
  auto firstChange = NATIVE(Java_com_stowly_fileutils_Win32FileNatives_nativeFindFirstChangeNotification);
  auto nextChange = NATIVE(Java_com_stowly_fileutils_Win32FileNatives_nativeFindNextChangeNotification);
  auto closeChange = NATIVE(Java_com_stowly_fileutils_Win32FileNatives_nativeFindCloseChangeNotification);
  auto wait = NATIVE(Java_com_stowly_fileutils_Win32FileNatives_nativeWaitForSingleObject);
  jlong h = firstChange(env(), nullptr, J(dir.Path()), JNI_FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
  ASSERT_NE(h, -1);
  EXPECT_EQ(wait(env(), nullptr, h, 0), 258);
  dir.Write("new.txt", "x");
  EXPECT_EQ(wait(env(), nullptr, h, 10000), 0);
  EXPECT_NE(nextChange(env(), nullptr, h), 0);
  EXPECT_NE(closeChange(env(), nullptr, h), 0);
  EXPECT_EQ(firstChange(env(), nullptr, J(dir.File("missing")), JNI_FALSE, 1), -1);
  EXPECT_EQ(ExceptionClass(), "");
}

// ANSI mode (the 95/98/Me family) through the natives linked into this test, with the mode
// switched off: names travel as modified UTF-8 and a null pattern is refused.
TEST_F(FileNativesTest, AnsiModeListsAndRefusesNullPattern) {
  TTempDir dir("ansi");
  dir.Write("plain.txt", "12345");
  nativa::WideApiMode = false;
  jobject info = NewInfo();
  jlong h = Java_com_stowly_fileutils_Win32FileNatives_nativeFindFirstFile(env(), nullptr, J(dir.File("plain.txt")), info);
  ASSERT_NE(h, 0);
  EXPECT_EQ(Jvm().Text(Jvm().Field(info, "filename").l), u"plain.txt");
  EXPECT_EQ(Jvm().Field(info, "filesize").j, 5);
  EXPECT_EQ(Java_com_stowly_fileutils_Win32FileNatives_nativeFindNextFile(env(), nullptr, h, info), nullptr);
  Java_com_stowly_fileutils_Win32FileNatives_nativeFindClose(env(), nullptr, h);
  EXPECT_EQ(Java_com_stowly_fileutils_Win32FileNatives_nativeFindFirstFile(env(), nullptr, nullptr, info), 0);
  EXPECT_EQ(ExceptionClass(), "java/lang/NullPointerException");
  EXPECT_EQ(Java_com_stowly_fileutils_Win32FileNatives_nativeDriveType(env(), nullptr, nullptr), 0);
  EXPECT_EQ(ExceptionClass(), "java/lang/NullPointerException");
  EXPECT_EQ(Java_com_stowly_fileutils_Win32FileNatives_nativeDriveType(env(), nullptr, J("C:\\")), 3);
  nativa::WideApiMode = true;
}

}  // namespace
}  // namespace nativa_test

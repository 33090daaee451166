// Security descriptors, privileges and backup streams. Wine answers BackupRead/BackupWrite with
// ERROR_NOT_SUPPORTED, so the stream marshalling is also tested through the BackupCalls seam
// on the natives linked into this test.
#include <cstring>
#include <functional>

#include "BackupApi.h"
#include "JniUtil.h"
#include "NativaTest.h"

namespace nativa_test {
namespace {

std::string SystemText(DWORD code) {
  jni::TLocalText text(jni::SystemErrorText(code));
  return text.get();
}

class BackupApiTest : public TNativaTest {
 protected:
  void ExpectException(const char* cls, const std::string& message) {
    host::TPendingException e = Exception();
    EXPECT_EQ(e.className, cls);
    EXPECT_EQ(e.message, message);
  }
};

TEST_F(BackupApiTest, SystemErrorTextTrimsLineEndAndHasAFallback) {
  std::string text = SystemText(ERROR_FILE_NOT_FOUND);
  ASSERT_GE(text.size(), 3u);
  EXPECT_NE(text.back(), '\n');
  EXPECT_NE(text.back(), '\r');
  EXPECT_EQ(SystemText(0x2FFFFFF0), "no error message");
}

TEST_F(BackupApiTest, ReadsARealSecurityDescriptor) {
  TTempDir dir("sd");
  dir.Write("f.txt", "data");
  auto read = NATIVE(Java_com_korvel_stash9_os_win32_BackupApi_readSecurityDescriptor);
  jbyteArray buffer = Jvm().NewByteArray(4096);
  jint n = read(env(), nullptr, J(dir.File("f.txt")), buffer, 4096);
  ASSERT_EQ(ExceptionClass(), "");
  ASSERT_GT(n, 4 + static_cast<jint>(sizeof(SECURITY_DESCRIPTOR_RELATIVE)));
  std::vector<char>& bytes = Jvm().Bytes(buffer);
  DWORD attributes;
  std::memcpy(&attributes, bytes.data(), 4);
  EXPECT_EQ(attributes, ::GetFileAttributesA(dir.File("f.txt").c_str()));
  auto* sd = reinterpret_cast<PSECURITY_DESCRIPTOR>(bytes.data() + 4);
  EXPECT_TRUE(::IsValidSecurityDescriptor(sd));
  EXPECT_EQ(::GetSecurityDescriptorLength(sd), static_cast<DWORD>(n - 4));
  PSID owner = nullptr;
  BOOL defaulted;
  EXPECT_TRUE(::GetSecurityDescriptorOwner(sd, &owner, &defaulted));
  EXPECT_NE(owner, nullptr);
}

TEST_F(BackupApiTest, ReadSecurityDescriptorRefusals) {
  TTempDir dir("sdr");
  dir.Write("f.txt", "data");
  auto read = NATIVE(Java_com_korvel_stash9_os_win32_BackupApi_readSecurityDescriptor);
  jbyteArray small = Jvm().NewByteArray(16);
  Jvm().Bytes(small)[0] = 0x5A;
  struct {
    const char* what;
    std::string path;
    jbyteArray buffer;
    jint length;
    const char* cls;
    std::string message;
  } cases[] = {
      {"length 3, null buffer", dir.File("f.txt"), nullptr, 3, "java/io/IOException", "buffer length < 4"},
      {"null buffer", dir.File("f.txt"), nullptr, 8, "java/lang/NullPointerException", ""},
      {"length beyond the array", dir.File("f.txt"), small, 17, "java/lang/ArrayIndexOutOfBoundsException",
       "offset or length outside the array"},
      {"missing file", dir.File("missing.txt"), small, 16, "java/io/IOException", SystemText(ERROR_FILE_NOT_FOUND)},
      {"no room for the descriptor", dir.File("f.txt"), small, 4, "java/io/IOException", SystemText(ERROR_INSUFFICIENT_BUFFER)},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(read(env(), nullptr, J(c.path), c.buffer, c.length), 0);
    ExpectException(c.cls, c.message);
    // Only a failing security call comes after the attributes were stored.
    if (c.length != 4) {
      EXPECT_EQ(Jvm().Bytes(small)[0], 0x5A) << "buffer left alone";
    }
  }
}

TEST_F(BackupApiTest, WriteSecurityDescriptorRefusals) {
  TTempDir dir("sdw");
  dir.Write("f.txt", "data");
  auto write = NATIVE(Java_com_korvel_stash9_os_win32_BackupApi_writeSecurityDescriptor);
  jbyteArray buffer = Jvm().NewByteArray(16);
  struct {
    const char* what;
    jbyteArray buffer;
    jint offset, length;
    const char* cls;
    const char* message;
  } cases[] = {
      {"null buffer", nullptr, 0, 16, "java/lang/NullPointerException", ""},
      {"length - offset = 3", buffer, 2, 5, "java/io/IOException", "buffer length < offset"},
      {"length beyond the array", buffer, 0, 17, "java/lang/ArrayIndexOutOfBoundsException", "offset or length outside the array"},
      {"negative offset", buffer, -4, 8, "java/lang/ArrayIndexOutOfBoundsException", "offset or length outside the array"},
      {"offset beyond the array", buffer, 20, 40, "java/lang/ArrayIndexOutOfBoundsException", "offset or length outside the array"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    write(env(), nullptr, J(dir.File("f.txt")), c.buffer, c.offset, c.length);
    ExpectException(c.cls, c.message);
  }
  // length - offset = 4 passes the check: the file is then the problem.
  write(env(), nullptr, J(dir.File("missing.txt")), buffer, 4, 8);
  ExpectException("java/io/IOException", SystemText(ERROR_FILE_NOT_FOUND));
}

TEST_F(BackupApiTest, WritingBackUnderWineFailsWithBackupWritesError) {
  TTempDir dir("sdwine");
  dir.Write("f.txt", "data");
  auto read = NATIVE(Java_com_korvel_stash9_os_win32_BackupApi_readSecurityDescriptor);
  auto write = NATIVE(Java_com_korvel_stash9_os_win32_BackupApi_writeSecurityDescriptor);
  jbyteArray buffer = Jvm().NewByteArray(4096);
  jint n = read(env(), nullptr, J(dir.File("f.txt")), buffer, 4096);
  ASSERT_GT(n, 4);
  write(env(), nullptr, J(dir.File("f.txt")), buffer, 0, n);
  host::TPendingException e = Exception();
  // Windows writes the descriptor (given the privileges); Wine's BackupWrite is not
  // implemented, which reaches Java as the IOException with that error's text.
  bool wine = ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  if (wine || !e.className.empty()) {
    EXPECT_EQ(e.className, "java/io/IOException");
    EXPECT_EQ(e.message, SystemText(ERROR_NOT_SUPPORTED));
  }
}

// Substitutes the system's backup functions in the natives linked into this test.
struct TFakeBackup {
  static TFakeBackup* current;
  struct TCall {
    LPBYTE buffer;
    DWORD bytes;
    BOOL abort, processSecurity;
    void* contextIn;
    std::string data;
    bool write;  // which slot: BackupWrite's, or BackupRead's
  };
  std::vector<TCall> calls;
  BOOL result = TRUE;
  bool leaveContextOnAbort = false;  // a system that does not write NULL back on abort
  nativa::TBackupCalls saved;
  TFakeBackup() {
    current = this;
    saved = nativa::BackupCalls();
    nativa::BackupCalls() = {&Stream<false>, &Stream<true>};
  }
  ~TFakeBackup() {
    nativa::BackupCalls() = saved;
    current = nullptr;
  }
  template <bool kWrite>
  static BOOL WINAPI Stream(HANDLE, LPBYTE buffer, DWORD bytes, LPDWORD done, BOOL abort, BOOL security, LPVOID* context) {
    TFakeBackup& f = *current;
    f.calls.push_back({buffer, bytes, abort, security, *context,
                       buffer ? std::string(reinterpret_cast<char*>(buffer), bytes) : std::string(), kWrite});
    if (abort) {
      if (!f.leaveContextOnAbort) *context = nullptr;
    } else {
      *context = reinterpret_cast<void*>(static_cast<ULONG_PTR>(0x5000 + 0x10 * f.calls.size()));
      if (buffer && bytes) buffer[0] = 'R';  // what BackupRead would deliver
    }
    *done = bytes;
    if (!f.result) ::SetLastError(ERROR_ACCESS_DENIED);
    return f.result;
  }
};
TFakeBackup* TFakeBackup::current = nullptr;

TEST_F(BackupApiTest, BackupStreamMarshalsBufferOffsetAndContext) {
  TFakeBackup fake;
  jintArray context = Jvm().NewIntArray(1);
  jbyteArray buffer = Jvm().NewByteArray(10);
  std::memcpy(Jvm().Bytes(buffer).data(), "0123456789", 10);
  HANDLE file = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);  // any handle the abort may close
  jint h = static_cast<jint>(reinterpret_cast<LONG_PTR>(file));

  EXPECT_EQ(Java_com_korvel_stash9_os_win32_BackupApi_BackupRead(env(), nullptr, context, h, buffer, 3, 4, 0, 1), 4);
  ASSERT_EQ(fake.calls.size(), 1u);
  EXPECT_EQ(fake.calls[0].data, "3456");
  EXPECT_EQ(fake.calls[0].contextIn, nullptr);
  EXPECT_FALSE(fake.calls[0].abort);
  EXPECT_TRUE(fake.calls[0].processSecurity);
  EXPECT_EQ(std::string(Jvm().Bytes(buffer).data(), 10), "012R456789") << "data reaches Java";
  jint stored = Jvm().Ints(context)[0];
  EXPECT_NE(stored, 0) << "context copied back";

  // The next call of the sequence hands the same context back. A Java boolean counts by its
  // low 8 bits only: called with 0x100 in the full argument slot, both flags read false.
  using TWideBooleans = jint(JNICALL*)(JNIEnv*, jclass, jintArray, jint, jbyteArray, jint, jint, jint, jint);
  auto backupWrite = reinterpret_cast<TWideBooleans>(reinterpret_cast<void*>(&Java_com_korvel_stash9_os_win32_BackupApi_BackupWrite));
  EXPECT_EQ(backupWrite(env(), nullptr, context, h, buffer, 0, 10, 0x100, 0x100), 10);
  ASSERT_EQ(fake.calls.size(), 2u);
  EXPECT_EQ(fake.calls[1].contextIn, reinterpret_cast<void*>(0x5010));
  EXPECT_FALSE(fake.calls[1].abort);
  EXPECT_FALSE(fake.calls[1].processSecurity);

  // Abort: no buffer (even a null one) is touched, the context is released, the handle closed.
  EXPECT_EQ(Java_com_korvel_stash9_os_win32_BackupApi_BackupRead(env(), nullptr, context, h, nullptr, 0, 0, 1, 0), 0);
  ASSERT_EQ(fake.calls.size(), 3u);
  EXPECT_TRUE(fake.calls[2].abort);
  EXPECT_EQ(fake.calls[2].buffer, nullptr);
  EXPECT_EQ(fake.calls[2].contextIn, reinterpret_cast<void*>(0x5020));
  EXPECT_EQ(Jvm().Ints(context)[0], 0);
  DWORD flags;
  EXPECT_FALSE(::GetHandleInformation(file, &flags)) << "abort closes the handle";

  fake.result = FALSE;
  HANDLE file2 = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
  EXPECT_EQ(Java_com_korvel_stash9_os_win32_BackupApi_BackupRead(
                env(), nullptr, context, static_cast<jint>(reinterpret_cast<LONG_PTR>(file2)), buffer, 0, 1, 0, 0), -1);
  EXPECT_EQ(ExceptionClass(), "") << "a Win32 failure is only the result -1";
  ::CloseHandle(file2);
}

// Every sequence ends with an aborting call, which releases the context whatever the system
// writes back into it: on x86_64 the context's slot is freed then, or after 64 files every
// later BackupRead would fail for want of a slot.
TEST_F(BackupApiTest, AbortReleasesTheContextWhateverTheSystemLeavesInIt) {
  TFakeBackup fake;
  fake.leaveContextOnAbort = true;
  jintArray context = Jvm().NewIntArray(1);
  jbyteArray buffer = Jvm().NewByteArray(4);
  for (int sequence = 0; sequence < 200; ++sequence) {
    HANDLE file = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);  // closed by the abort
    const jint h = static_cast<jint>(reinterpret_cast<LONG_PTR>(file));
    Jvm().Ints(context)[0] = 0;  // a new sequence
    ASSERT_EQ(Java_com_korvel_stash9_os_win32_BackupApi_BackupRead(env(), nullptr, context, h, buffer, 0, 4, 0, 1), 4)
        << "file " << sequence;
    ASSERT_NE(Jvm().Ints(context)[0], 0) << "file " << sequence;
    EXPECT_EQ(Java_com_korvel_stash9_os_win32_BackupApi_BackupRead(env(), nullptr, context, h, nullptr, 0, 0, 1, 1), 0);
#ifdef _WIN64
    EXPECT_EQ(Jvm().Ints(context)[0], 0) << "file " << sequence << ": the slot is free again";
#endif
  }
  EXPECT_EQ(ExceptionClass(), "");
}

TEST_F(BackupApiTest, BackupStreamBoundsRefusals) {
  TFakeBackup fake;
  jintArray context = Jvm().NewIntArray(1);
  jintArray empty = Jvm().NewIntArray(0);
  jbyteArray buffer = Jvm().NewByteArray(10);
  struct {
    const char* what;
    jintArray context;
    jbyteArray buffer;
    jint offset, length;
    const char* cls;
  } cases[] = {
      {"offset + length beyond the array", context, buffer, 6, 5, "java/lang/ArrayIndexOutOfBoundsException"},
      {"length beyond the array", context, buffer, 0, 11, "java/lang/ArrayIndexOutOfBoundsException"},
      {"negative offset", context, buffer, -1, 2, "java/lang/ArrayIndexOutOfBoundsException"},
      {"negative length", context, buffer, 2, -1, "java/lang/ArrayIndexOutOfBoundsException"},
      {"overflowing offset + length", context, buffer, 5, 0x7FFFFFFF, "java/lang/ArrayIndexOutOfBoundsException"},
      {"empty context array", empty, buffer, 0, 1, "java/lang/ArrayIndexOutOfBoundsException"},
      {"null context array", nullptr, buffer, 0, 1, "java/lang/NullPointerException"},
      {"null buffer", context, nullptr, 0, 1, "java/lang/NullPointerException"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(NATIVE(Java_com_korvel_stash9_os_win32_BackupApi_BackupRead)(env(), nullptr, c.context, 0, c.buffer, c.offset, c.length, 0, 0), 0);
    EXPECT_EQ(ExceptionClass(), c.cls);
    EXPECT_EQ(NATIVE(Java_com_korvel_stash9_os_win32_BackupApi_BackupWrite)(env(), nullptr, c.context, 0, c.buffer, c.offset, c.length, 0, 0), 0);
    EXPECT_EQ(ExceptionClass(), c.cls);
  }
  EXPECT_TRUE(fake.calls.empty()) << "refusals call nothing";
}

TEST_F(BackupApiTest, WriteSecurityDescriptorWritesHeaderThenDescriptor) {
  TFakeBackup fake;
  TTempDir dir("sdseam");
  dir.Write("f.txt", "data");
  jbyteArray buffer = Jvm().NewByteArray(16);
  char block[] = {'x', 'x', 0x21, 0, 0, 0, 'S', 'D', 'S', 'D', 'S', 'D'};  // attributes 0x21, 6 bytes
  std::memcpy(Jvm().Bytes(buffer).data(), block, sizeof block);
  Java_com_korvel_stash9_os_win32_BackupApi_writeSecurityDescriptor(env(), nullptr, J(dir.File("f.txt")), buffer, 2, 12);
  host::TPendingException e = Exception();
  if (e.className == "java/io/IOException") {
    GTEST_SKIP() << "opening for WRITE_DAC|WRITE_OWNER|ACCESS_SYSTEM_SECURITY failed here: " << e.message;
  }
  ASSERT_EQ(e.className, "");
  ASSERT_EQ(fake.calls.size(), 3u);
  const char header[20] = {3, 0, 0, 0, 2, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(fake.calls[0].data, std::string(header, 20));
  EXPECT_EQ(fake.calls[1].data, "SDSDSD");
  EXPECT_EQ(fake.calls[0].contextIn, nullptr);
  EXPECT_EQ(fake.calls[1].contextIn, reinterpret_cast<void*>(0x5010)) << "one context through the sequence";
  EXPECT_EQ(fake.calls[2].contextIn, reinterpret_cast<void*>(0x5020));
  EXPECT_TRUE(fake.calls[2].abort);
  for (auto& c : fake.calls) EXPECT_TRUE(c.processSecurity);
  EXPECT_EQ(::GetFileAttributesA(dir.File("f.txt").c_str()), 0x21u) << "saved attributes restored";
  ::SetFileAttributesA(dir.File("f.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Wine has no BackupRead (every call fails with ERROR_NOT_SUPPORTED), so what the system
// reads cannot be seen here: the native's slot is tested through the fake, on a real handle.
TEST_F(BackupApiTest, BackupReadTakesTheReadSlotAndAbortClosesHandle) {
  TFakeBackup fake;
  TTempDir dir("read");
  dir.Write("f.txt", "data");
  auto create = NATIVE(Java_com_korvel_stash9_os_win32_BackupApi_CreateFile);
  auto closeHandle = NATIVE(Java_com_korvel_stash9_os_win32_BackupApi_CloseHandle);
  jint h = create(env(), nullptr, J(dir.File("f.txt")), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS, 0);
  ASSERT_NE(h, 0);
  jintArray context = Jvm().NewIntArray(1);
  jbyteArray buffer = Jvm().NewByteArray(4096);
  EXPECT_EQ(Java_com_korvel_stash9_os_win32_BackupApi_BackupRead(env(), nullptr, context, h, buffer, 0, 4096, 0, 1), 4096);
  Java_com_korvel_stash9_os_win32_BackupApi_BackupRead(env(), nullptr, context, h, nullptr, 0, 0, 1, 0);
  ASSERT_EQ(fake.calls.size(), 2u);
  EXPECT_FALSE(fake.calls[0].write || fake.calls[1].write) << "BackupRead calls the read slot";
  EXPECT_EQ(closeHandle(env(), nullptr, h), 0);
  ExpectException("java/io/IOException", "CreateFile returned invalid handle");
  // A security-attributes address from Java is refused rather than dereferenced.
  EXPECT_EQ(create(env(), nullptr, J(dir.File("f.txt")), GENERIC_READ, FILE_SHARE_READ, 0x1000, OPEN_EXISTING, 0, 0), 0);
  EXPECT_EQ(ExceptionClass(), "java/io/IOException");
  EXPECT_EQ(create(env(), nullptr, J(dir.File("missing")), GENERIC_READ, 0, 0, OPEN_EXISTING, 0, 0), 0);
  EXPECT_EQ(ExceptionClass(), "java/io/IOException");
}

TEST_F(BackupApiTest, SetPrivilege) {
  auto set = NATIVE(Java_com_korvel_stash9_os_win32_BackupApi_setPrivilege);
  set(env(), nullptr, J("SeBackupPrivilege"), JNI_TRUE);
  EXPECT_EQ(ExceptionClass(), "");
  set(env(), nullptr, J("SeNoSuchPrivilege"), JNI_TRUE);
  host::TPendingException e = Exception();
  EXPECT_EQ(e.className, "java/lang/Exception");
  EXPECT_EQ(e.message, SystemText(ERROR_NO_SUCH_PRIVILEGE));
}

}  // namespace
}  // namespace nativa_test

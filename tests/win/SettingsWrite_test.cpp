// Settings files written by ZqRunner ("zqbackup.properties" from the missed-backup warning's
// check box, "defaults.properties" and "system2.properties" in the update) are never lost:
// a disk that fills up, a flush or rename that fails, or a read-only file leave the old
// file byte for byte and no temporary file behind; a save keeps the file's permissions and
// attributes. Real files under Wine; the failures are made through the write calls of
// TWinFileSystem.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <set>

#include "ActivityLog.h"
#include "Diagnostics.h"
#include "Globals.h"
#include "Properties.h"
#include "SchedUnit.h"
#include "Settings.h"
#include "Thread.h"
#include "WinPlatform.h"
#include "WinTestUtil.h"
#include "core/Fakes.h"

namespace {

const char kOld[] = "scheduler.active=ON\r\nscheduler.time=07PM\r\nscheduler.displaywarning=ON\r\n";

// How much the disk still takes before it is full; the real WriteFile otherwise.
DWORD gRoomLeft = 0;
BOOL WINAPI FillingDisk(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED o) {
  const DWORD part = std::min(size, gRoomLeft);
  DWORD wrote = 0;
  if (part && !::WriteFile(file, data, part, &wrote, o)) return FALSE;
  gRoomLeft -= wrote;
  *written = wrote;
  if (wrote == size) return TRUE;
  ::SetLastError(ERROR_DISK_FULL);
  return FALSE;
}
BOOL WINAPI FailingFlush(HANDLE) {
  ::SetLastError(ERROR_DISK_FULL);
  return FALSE;
}
DWORD gMoveError = ERROR_WRITE_PROTECT;
int gMoves = 0;
BOOL WINAPI RefusedMove(LPCSTR, LPCSTR, DWORD) {
  ++gMoves;
  ::SetLastError(gMoveError);
  return FALSE;
}
// The real rename, after `gBeforeMove` once (a client writing in the last moment).
std::function<void()> gBeforeMove;
DWORD gMoveFlags = 0;
BOOL WINAPI LateMove(LPCSTR from, LPCSTR to, DWORD flags) {
  if (auto write = std::exchange(gBeforeMove, nullptr)) write();
  gMoveFlags = flags;
  return ::MoveFileExA(from, to, flags);
}
// The pause while a file is held: counted, and `gOnPause` may let the holder go.
std::atomic<int> gPauses{0};
std::function<void()> gOnPause;
void WINAPI CountedPause(DWORD ms) {
  ++gPauses;
  if (gOnPause) gOnPause();
  ::Sleep(ms);
}
// A folder in which this user may not create files.
UINT WINAPI NoNewFiles(LPCSTR, LPCSTR, UINT, LPSTR) {
  ::SetLastError(ERROR_ACCESS_DENIED);
  return 0;
}

class TJob : public TThread {
 public:
  explicit TJob(std::function<void()> f) : f_(std::move(f)) { Start(); }
  ~TJob() override { Join(); }

 private:
  void Execute() override { f_(); }
  std::function<void()> f_;
};

// The Java client's way: its streams share reading and writing; output truncates at open.
TFileHandle JavaOpen(const std::string& path, DWORD access, DWORD how) {
  return TFileHandle(::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, how, 0, nullptr));
}
bool JavaWrite(const std::string& path, const std::string& text) {
  TFileHandle f = JavaOpen(path, GENERIC_WRITE, CREATE_ALWAYS);
  DWORD n = 0, half = static_cast<DWORD>(text.size() / 2);
  return f && ::WriteFile(f.get(), text.data(), half, &n, nullptr) &&
         ::WriteFile(f.get(), &text[half], static_cast<DWORD>(text.size()) - half, &n, nullptr);
}

// The access rules as the system reports them (Wine: from the Unix permission bits).
std::string Rules(const std::string& path) {
  char sd[1024], *text = nullptr;
  DWORD size = 0;
  ::GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, sd, sizeof sd, &size);
  ::ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr);
  const std::string rules = text ? text : "?";
  ::LocalFree(text);
  return rules;
}

class SettingsWriteTest : public ::testing::Test {
 protected:
  wt::TTempDir dir{"settings"};
  TScriptedUi ui;
  TFileWriteCalls saved;

  void SetUp() override {
    InstallWinSeams();
    seams::SetUi(&ui);
    InstallDir = dir.Path();
    saved = FileWriteCalls();
    FileWriteCalls().pause = CountedPause;
    dir.Write("zqbackup.properties", kOld);
  }
  void TearDown() override {
    FileWriteCalls() = saved;
    gOnPause = nullptr;
    ResetWarningSettingsState();
    ::SetFileAttributesA(dir.File("zqbackup.properties").c_str(), FILE_ATTRIBUTE_NORMAL);
    seams::SetUi(nullptr);
  }
  std::set<std::string> Names() const {
    std::set<std::string> names;
    WIN32_FIND_DATAA fd;
    TFindHandle find(::FindFirstFileA(dir.File("*").c_str(), &fd));
    if (find) {
      do {
        const std::string name = fd.cFileName;
        if (name != "." && name != "..") names.insert(name);
      } while (::FindNextFileA(find.get(), &fd));
    }
    return names;
  }
  // After a failed save: the message, the old bytes, nothing else in the folder.
  void ExpectNothingLost(const char* what) {
    SCOPED_TRACE(what);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "Could not save settings!");
    EXPECT_EQ(dir.Read("zqbackup.properties"), kOld);
    EXPECT_EQ(Names(), std::set<std::string>{"zqbackup.properties"});
  }
};

}  // namespace

TEST_F(SettingsWriteTest, DiskFullPartWayLosesNothing) {
  // Less room than the new content needs (72 bytes), the last by one byte.
  for (DWORD room : {DWORD{0}, DWORD{1}, DWORD{20}, DWORD{71}}) {
    ui.shown.clear();
    gRoomLeft = room;
    FileWriteCalls().writeFile = FillingDisk;
    SaveWarningSetting(false);
    FileWriteCalls() = saved;
    ExpectNothingLost(("room for " + std::to_string(room) + " bytes").c_str());
  }
}

TEST_F(SettingsWriteTest, FailedFlushOrRenameLosesNothing) {
  FileWriteCalls().flushFileBuffers = FailingFlush;
  SaveWarningSetting(false);
  FileWriteCalls() = saved;
  ExpectNothingLost("flush failed");

  // Refused as while another process has the file open: tried for about a second (20 ms
  // apart); refused otherwise: given up at once.
  for (DWORD error : {DWORD{ERROR_SHARING_VIOLATION}, DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_WRITE_PROTECT}}) {
    ui.shown.clear();
    gMoveError = error;
    gMoves = 0;
    FileWriteCalls().moveFileEx = RefusedMove;
    SaveWarningSetting(false);
    FileWriteCalls() = saved;
    ExpectNothingLost(("rename refused with " + std::to_string(error)).c_str());
    EXPECT_TRUE(error == ERROR_WRITE_PROTECT ? gMoves == 1 : gMoves > 5) << gMoves;
  }

  // A file that is new: its rename refused, nothing is left behind.
  FileWriteCalls().moveFileEx = RefusedMove;
  EXPECT_FALSE(seams::Fs().WriteAll(dir.File("defaults.properties"), "HASH=x\r\n"));
  FileWriteCalls() = saved;
  EXPECT_EQ(Names(), std::set<std::string>{"zqbackup.properties"});
}

TEST_F(SettingsWriteTest, AFolderThatTakesNoNewFileKeepsTheOldFile) {
  // A rewrite in place would leave half a file if the process died during it.
  FileWriteCalls().getTempFileName = NoNewFiles;
  SaveWarningSetting(false);
  ExpectNothingLost("no new file");
  EXPECT_FALSE(seams::Fs().WriteAll(dir.File("defaults.properties"), "HASH=x\r\n"));
  EXPECT_EQ(Names(), std::set<std::string>{"zqbackup.properties"});
}

TEST_F(SettingsWriteTest, ReadOnlyFileStaysAsItWas) {
  const std::string path = dir.File("zqbackup.properties");
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  const DWORD before = ::GetFileAttributesA(path.c_str());
  SaveWarningSetting(false);
  ExpectNothingLost("read-only");
  EXPECT_EQ(::GetFileAttributesA(path.c_str()), before);
  EXPECT_NE(before & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(SettingsWriteTest, ASaveReplacesTheFileWholeAndKeepsItsAttributes) {
  const std::string path = dir.File("zqbackup.properties");
  // Its own permissions (given by an installer, say: everyone may change it) stay with the
  // file; a rename alone would give it the folder's.
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;FA;;;WD)",
                                                                     SDDL_REVISION_1, &sd, nullptr));
  ASSERT_TRUE(::SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, sd));
  ::LocalFree(sd);
  const std::string rules = Rules(path);
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  FileWriteCalls().moveFileEx = LateMove;
  SaveWarningSetting(false);
  EXPECT_EQ(gMoveFlags, DWORD{MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH});
  EXPECT_EQ(Rules(path), rules);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(dir.Read("zqbackup.properties"),
            "scheduler.active=ON\r\nscheduler.time=07PM\r\nscheduler.displaywarning=OFF\r\n");
  EXPECT_EQ(::GetFileAttributesA(path.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY),
            static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(Names(), std::set<std::string>{"zqbackup.properties"});

  // A file that does not exist yet is created (the update writes "defaults.properties"
  // even when there was none).
  TPropertyList list;
  list.SetText("HASH=x\n");
  WritePropertyFile(list, dir.File("defaults.properties"));
  EXPECT_EQ(dir.Read("defaults.properties"), "HASH=x\r\n");
  EXPECT_NE(Rules(dir.File("defaults.properties")), rules);
  EXPECT_TRUE(seams::Fs().WriteAll(dir.File("empty.properties"), ""));
  EXPECT_EQ(Names(), (std::set<std::string>{"defaults.properties", "empty.properties",
                                            "zqbackup.properties"}));
}

TEST_F(SettingsWriteTest, AHeldFileKeepsWhatWasReadAndASaveWaitsForIt) {
  const std::string path = dir.File("zqbackup.properties");
  dir.Write("zqbackup.properties", "scheduler.active=ON\r\nscheduler.time=08AM\r\n"
            "scheduler.displaywarning=OFF\r\nscheduler.dayswarning=7\r\n");
  TFakeClock clock;  // Monday 19:00
  clock.now = EncodeDateTime({2026, 12, 7, 19, 0, 0, 0});
  TSched sched(path, clock, seams::Fs());
  ASSERT_TRUE(sched.Load());
  LoadWarningSettings();
  // The client truncates the file, writes part and holds it with no sharing until let go.
  const std::string next = "scheduler.active=ON\r\nscheduler.time=09AM\r\nscheduler.dayswarning=7\r\n";
  TKernelHandle held(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  TKernelHandle letGo(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  TJob client([&] {
    TFileHandle f(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr));
    DWORD n = 0;
    ::WriteFile(f.get(), next.data(), 20, &n, nullptr);
    ::SetEvent(held.get());
    ::WaitForSingleObject(letGo.get(), 5000);
    ::WriteFile(f.get(), &next[20], static_cast<DWORD>(next.size()) - 20, &n, nullptr);
  });
  ASSERT_EQ(::WaitForSingleObject(held.get(), 5000), WAIT_OBJECT_0);
  // A tick: the schedule and the settings read last stay; one short wait in all.
  const DWORD start = ::GetTickCount();
  EXPECT_FALSE(sched.IsScheduledAt(2, 19)) << "not the fallback";
  EXPECT_EQ(sched.NextSlot(2, 19), 3 * 24 + 8);
  const int waited = gPauses;
  LoadWarningSettings();
  EXPECT_LT(::GetTickCount() - start, 1000u);
  EXPECT_EQ(gPauses, waited) << "the same held file is not waited for twice in a tick";
  EXPECT_FALSE(WarnMissedBackups);
  EXPECT_EQ(WarnAfterDays, 7);
  EXPECT_FALSE(TSched(path, clock, seams::Fs()).Load());
  // A save waits: the client lets go during its first pause.
  gOnPause = [&] { ::SetEvent(letGo.get()), client.Join(5000); };
  SaveWarningSetting(true);
  EXPECT_EQ(dir.Read("zqbackup.properties"), next + "scheduler.displaywarning=ON\r\n");
  clock.now += 1.0 / 86400;  // a tick later the file is read again
  EXPECT_TRUE(sched.IsScheduledAt(2, 9));
  RefreshWarningSettings();
  EXPECT_TRUE(WarnMissedBackups);
  // A client reading at the moment of a save: the rename waits until it lets go.
  TFileHandle reader = JavaOpen(path, GENERIC_READ, OPEN_EXISTING);
  gPauses = 0;
  gOnPause = [&] { reader.reset(); };
  SaveWarningSetting(false);
  EXPECT_GT(gPauses, 0);
  EXPECT_EQ(dir.Read("zqbackup.properties"), next + "scheduler.displaywarning=OFF\r\n");
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(SettingsWriteTest, UnderAPollerAndARewritingClientTheNameStaysAndNoChangeIsLost) {
  const std::string path = dir.File("zqbackup.properties");
  const std::string client = std::string(kOld) + "application.memory=0\r\n";
  gBeforeMove = [&] { JavaWrite(path, client); };  // just before the rename
  FileWriteCalls().moveFileEx = LateMove;
  SaveWarningSetting(false);
  EXPECT_EQ(ValueOf(ReadPropertyFile(path), "application.memory"), "0");
  // A thread looks for the name without pause; a stand-in client reads, changes its own
  // key and writes the file the Java way every 10 ms; 200 saves meanwhile.
  std::atomic<bool> stop{false};
  std::atomic<long> polls{0}, missing{0}, notFound{0}, lost{0}, writes{0}, last{0};
  const DWORD start = ::GetTickCount();
  {
    TJob poller([&] {
      for (; !stop; ++polls) missing += ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
    });
    TJob rewriter([&] {
      for (char text[512]; !stop; ::Sleep(10)) {
        DWORD n = 0;
        TFileHandle f = JavaOpen(path, GENERIC_READ, OPEN_EXISTING);
        notFound += !f && ::GetLastError() == ERROR_FILE_NOT_FOUND;
        if (!f || !::ReadFile(f.get(), text, sizeof text - 1, &n, nullptr)) continue;
        f.reset();
        TPropertyList list;
        list.SetText(std::string(text, n));
        const long seen = std::stol("0" + ValueOf(list, "application.memory"));
        lost += seen != last;  // a save wrote a version older than the client's last
        list.Lines().push_back("application.memory=" + std::to_string(seen + 1));
        list.Lines().erase(list.Lines().begin() + FindKey(list, "application.memory"));
        if (JavaWrite(path, list.Text())) last = seen + 1, ++writes;
      }
    });
    for (int i = 0; i < 200; ++i) SaveWarningSetting(i % 2 == 0);
    stop = true;
  }
  printf("200 saves in %lu ms: name missing in %ld of %ld polls; client: %ld writes, %ld not "
         "found, %ld changes lost; %d pauses, %d messages\n", ::GetTickCount() - start,
         missing.load(), polls.load(), writes.load(), notFound.load(), lost.load(),
         gPauses.load(), static_cast<int>(ui.shown.size()));
  EXPECT_EQ(missing + notFound + lost, 0);
  EXPECT_GT(writes, 10);
  // (A client rewriting every 10 ms may outlast a save's tries: it then reports.)
  SaveWarningSetting(true);
  EXPECT_EQ(ValueOf(ReadPropertyFile(path), "application.memory"), std::to_string(last));
  EXPECT_EQ(Names(), std::set<std::string>{"zqbackup.properties"});
}

TEST_F(SettingsWriteTest, InterruptedSavesAreRemovedAtTheNextStart) {
  for (const char* name : {"~zq1A2B.tmp", "~ZQFF.TMP", "~zqnote.txt", "zq12.tmp"}) dir.Write(name, "x");
  ASSERT_TRUE(::CreateDirectoryA(dir.File("~zqdir.tmp").c_str(), nullptr));
  RemoveInterruptedSaves(dir.Path());
  EXPECT_EQ(Names(), (std::set<std::string>{"zqbackup.properties", "~zqnote.txt", "zq12.tmp", "~zqdir.tmp"}));
}

// The activity log's file: a reader that lets others write sees the lines come, one that
// does not makes a line drop at once, and the caller's last error stays as it was.
TEST(ActivityLogFileTest, ReadersAndTheLastErrorAreLeftAlone) {
  wt::TTempDir dir("log");
  StartActivityLog(dir.Path(), "start-up");
  const std::string path = dir.File("ZqRunner.log");
  {
    TFileHandle reader(::CreateFileA(path.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader);
    ::SetLastError(1234);
    LogEvent("hour offered", "Wed 7 PM");
    EXPECT_EQ(::GetLastError(), 1234u);
  }
  {
    TFileHandle holder(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    const DWORD start = ::GetTickCount();
    LogEvent("quit");
    EXPECT_LT(::GetTickCount() - start, 1000u);
  }
  CloseActivityLog();
  const auto lines = wt::Lines(dir.Read("ZqRunner.log"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("] start-up: version "), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("] hour offered: Wed 7 PM"), std::string::npos) << lines[1];
}

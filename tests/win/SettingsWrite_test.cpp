// Settings files written by ZqRunner ("zqbackup.properties" from the missed-backup warning's
// check box, "defaults.properties" and "system2.properties" in the update) are never lost:
// a disk that fills up, a flush or rename that fails, a read-only file or a folder that
// takes no new file leave the old file byte for byte and no temporary file behind; a save
// keeps the file's access rules and attributes, its name never goes missing, it waits for
// a Java client that holds the file and never overwrites what the client wrote meanwhile.
// Real files under Wine; the failures are made through the write calls of TWinFileSystem.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <set>

#include "Globals.h"
#include "Properties.h"
#include "RunnerError.h"
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
// A rename refused with `gMoveError`; counts the attempts.
DWORD gMoveError = 0;
int gMoves = 0;
BOOL WINAPI RefusedMove(LPCSTR, LPCSTR, DWORD) {
  ++gMoves;
  ::SetLastError(gMoveError);
  return FALSE;
}
// Runs `gBeforeMove` once, just before the real rename: another process writing the file
// between the save's last comparison and its rename.
std::function<void()> gBeforeMove;
BOOL WINAPI LateMove(LPCSTR from, LPCSTR to, DWORD flags) {
  if (auto write = std::exchange(gBeforeMove, nullptr)) write();
  return ::MoveFileExA(from, to, flags);
}
DWORD gMoveFlags = 0;
BOOL WINAPI RecordedMove(LPCSTR from, LPCSTR to, DWORD flags) {
  gMoveFlags = flags;
  return ::MoveFileExA(from, to, flags);
}
// The pause between two attempts at a held file; counts them and can act first.
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

// Runs a function on a worker thread; joined when it goes.
class TJob : public TThread {
 public:
  explicit TJob(std::function<void()> f) : f_(std::move(f)) { Start(); }
  ~TJob() override { Join(); }

 private:
  void Execute() override { f_(); }
  std::function<void()> f_;
};

// The Java client's file access: FileInputStream and FileOutputStream share reading and
// writing; the output stream truncates at open and writes in chunks.
bool JavaRead(const std::string& path, std::string& text) {
  TFileHandle f(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f) return false;
  char buffer[256];
  DWORD got = 0;
  text.clear();
  while (::ReadFile(f.get(), buffer, sizeof buffer, &got, nullptr) && got) text.append(buffer, got);
  return true;
}
bool JavaWrite(const std::string& path, const std::string& text) {
  TFileHandle f(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD wrote = 0;
  const DWORD half = static_cast<DWORD>(text.size() / 2);
  return f && ::WriteFile(f.get(), text.data(), half, &wrote, nullptr) &&
         ::WriteFile(f.get(), text.data() + half, static_cast<DWORD>(text.size()) - half, &wrote,
                     nullptr);
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
    gPauses = 0;
    gOnPause = nullptr;
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
  const TFileWriteCalls hooked = FileWriteCalls();
  FileWriteCalls().flushFileBuffers = FailingFlush;
  SaveWarningSetting(false);
  FileWriteCalls() = hooked;
  ExpectNothingLost("flush failed");

  // A rename refused as while another process has the file open is tried again for about
  // a second; any other refusal ends the save at once.
  for (DWORD error : {DWORD{ERROR_SHARING_VIOLATION}, DWORD{ERROR_ACCESS_DENIED},
                      DWORD{ERROR_WRITE_PROTECT}}) {
    ui.shown.clear();
    gMoveError = error;
    gMoves = 0;
    FileWriteCalls().moveFileEx = RefusedMove;
    const DWORD start = ::GetTickCount();
    SaveWarningSetting(false);
    const DWORD took = ::GetTickCount() - start;
    FileWriteCalls() = hooked;
    ExpectNothingLost(("rename refused with " + std::to_string(error)).c_str());
    if (error == ERROR_WRITE_PROTECT) {
      EXPECT_EQ(gMoves, 1);
    } else {
      EXPECT_GT(gMoves, 5) << error;
      EXPECT_GE(took, 900u) << error;
    }
  }

  // A file that is new: its rename refused, nothing is left behind.
  gMoveError = ERROR_WRITE_PROTECT;
  FileWriteCalls().moveFileEx = RefusedMove;
  EXPECT_FALSE(seams::Fs().WriteAll(dir.File("defaults.properties"), "HASH=x\r\n"));
  FileWriteCalls() = hooked;
  EXPECT_EQ(Names(), std::set<std::string>{"zqbackup.properties"});
}

TEST_F(SettingsWriteTest, AFolderThatTakesNoNewFileKeepsTheOldFile) {
  // Where the user may write the settings files but not add files beside them, the save
  // fails: a rewrite in place would leave half a file if the process died during it.
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

// A file's access rules as the system reports them: protected or not, then each rule's
// type, rights and account. (Wine keeps them as Unix permission bits and reports those.)
std::string AccessRules(const std::string& path) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
    return "unreadable";
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ::GetSecurityDescriptorControl(sd, &control, &revision);
  std::string text = (control & SE_DACL_PROTECTED) ? "protected" : "inherits";
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(dacl, i, &ace)) continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    char* sid = nullptr;
    ::ConvertSidToStringSidA(&allowed->SidStart, &sid);
    text += " " + std::to_string(allowed->Header.AceType) + ":" + std::to_string(allowed->Mask) +
            ":" + (sid ? sid : "?");
    ::LocalFree(sid);
  }
  ::LocalFree(sd);
  return text;
}

TEST_F(SettingsWriteTest, ASaveReplacesTheFileWholeAndKeepsItsAttributes) {
  const std::string path = dir.File("zqbackup.properties");
  // Its own access rules (given by an installer, say) stay with the file: a protected list
  // that lets everyone read and write it goes onto the new file before it takes the name.
  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof everyone;
  ASSERT_TRUE(::CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize));
  BYTE aclBytes[256];
  PACL acl = reinterpret_cast<PACL>(aclBytes);
  ASSERT_TRUE(::InitializeAcl(acl, sizeof aclBytes, ACL_REVISION));
  ASSERT_TRUE(::AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, everyone));
  ASSERT_EQ(::SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, acl, nullptr),
            static_cast<DWORD>(ERROR_SUCCESS));
  const std::string rules = AccessRules(path);
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  gMoveFlags = 0;
  FileWriteCalls().moveFileEx = RecordedMove;
  SaveWarningSetting(false);
  EXPECT_EQ(gMoveFlags, static_cast<DWORD>(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(dir.Read("zqbackup.properties"),
            "scheduler.active=ON\r\nscheduler.time=07PM\r\nscheduler.displaywarning=OFF\r\n");
  EXPECT_EQ(::GetFileAttributesA(path.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY),
            static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(Names(), std::set<std::string>{"zqbackup.properties"});
  EXPECT_EQ(AccessRules(path), rules);

  // A file that does not exist yet is created (the update writes "defaults.properties"
  // even when there was none), with the rules of a new file, which differ.
  TPropertyList list;
  list.SetText("HASH=x\n");
  WritePropertyFile(list, dir.File("defaults.properties"));
  EXPECT_EQ(dir.Read("defaults.properties"), "HASH=x\r\n");
  EXPECT_NE(AccessRules(dir.File("defaults.properties")), rules);
  EXPECT_TRUE(seams::Fs().WriteAll(dir.File("empty.properties"), ""));
  EXPECT_EQ(Names(), (std::set<std::string>{"defaults.properties", "empty.properties",
                                            "zqbackup.properties"}));
}

TEST_F(SettingsWriteTest, AHeldFileKeepsWhatWasReadAndASaveWaitsForIt) {
  const std::string path = dir.File("zqbackup.properties");
  const std::string read = "scheduler.active=ON\r\nscheduler.time=08AM\r\n"
                           "scheduler.displaywarning=OFF\r\nscheduler.dayswarning=7\r\n";
  dir.Write("zqbackup.properties", read + "application.memory=256\r\n");
  TFakeClock clock;
  clock.now = EncodeDateTime({2026, 12, 7, 19, 0, 0, 0});  // a Monday, 19:00
  TSched sched(path, clock, seams::Fs());
  ASSERT_TRUE(sched.Load());
  LoadWarningSettings();

  // The client starts a save (truncates, writes half) and holds the file with no sharing
  // until it is told to let go; then it writes the rest, with a daily time of 09AM.
  const std::string next =
      "scheduler.active=ON\r\nscheduler.time=09AM\r\nscheduler.dayswarning=7\r\napplication.memory=512\r\n";
  TKernelHandle held(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  TKernelHandle letGo(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  TJob client([&] {
    TFileHandle f(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr));
    DWORD wrote = 0;
    ::WriteFile(f.get(), next.data(), 20, &wrote, nullptr);
    ::SetEvent(held.get());
    ::WaitForSingleObject(letGo.get(), 5000);
    ::WriteFile(f.get(), next.data() + 20, static_cast<DWORD>(next.size()) - 20, &wrote, nullptr);
  });
  ASSERT_EQ(::WaitForSingleObject(held.get(), 5000), WAIT_OBJECT_0);

  // A tick's questions keep the schedule and the settings last read, and wait briefly.
  const DWORD start = ::GetTickCount();
  EXPECT_FALSE(sched.IsScheduledAt(2, 19)) << "not the fallback 19:00";
  EXPECT_TRUE(sched.IsScheduledAt(2, 8));
  EXPECT_EQ(sched.NextSlot(2, 19), 3 * 24 + 8);
  EXPECT_EQ(sched.LastSlotDistance(2, 19), 11);
  const int waited = gPauses;
  LoadWarningSettings();
  const DWORD took = ::GetTickCount() - start;
  EXPECT_GT(waited, 0);
  EXPECT_EQ(gPauses, waited) << "the same held file is not waited for twice in one tick";
  EXPECT_LT(took, 1000u) << "one short wait, not one for each question";
  EXPECT_FALSE(WarnMissedBackups);
  EXPECT_EQ(WarnAfterDays, 7);
  EXPECT_EQ(ClientMemoryMB, 256);
  // A schedule that was never read offers nothing, not even the fallback.
  TSched fresh(path, clock, seams::Fs());
  EXPECT_FALSE(fresh.Load());
  EXPECT_FALSE(fresh.IsScheduledAt(2, 19));
  EXPECT_THROW(fresh.NextSlot(2, 19), TRunnerError);

  // A save meanwhile waits: the client lets go during its first pause and finishes.
  gOnPause = [&] {
    ::SetEvent(letGo.get());
    client.Join(5000);
  };
  SaveWarningSetting(true);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_GE(gPauses.load(), 1);
  EXPECT_EQ(dir.Read("zqbackup.properties"), next + "scheduler.displaywarning=ON\r\n");
  // A tick a second later reads the file again.
  clock.now += 1.0 / 86400;
  EXPECT_TRUE(sched.IsScheduledAt(2, 9));
  RefreshWarningSettings();
  EXPECT_EQ(ClientMemoryMB, 512);

  // The client reads the file (sharing reading and writing) at the moment of a save: the
  // save reads too, but the rename waits until the client lets go.
  ::ResetEvent(held.get());
  ::ResetEvent(letGo.get());
  TJob reader([&] {
    TFileHandle f(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    ::SetEvent(held.get());
    ::WaitForSingleObject(letGo.get(), 5000);
  });
  ASSERT_EQ(::WaitForSingleObject(held.get(), 5000), WAIT_OBJECT_0);
  gPauses = 0;
  gOnPause = [&] {
    ::SetEvent(letGo.get());
    reader.Join(5000);
  };
  SaveWarningSetting(false);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_GE(gPauses.load(), 1) << "Windows and Wine refuse a rename over a file that is open";
  EXPECT_EQ(dir.Read("zqbackup.properties"), next + "scheduler.displaywarning=OFF\r\n");
  EXPECT_EQ(Names(), std::set<std::string>{"zqbackup.properties"});
}

TEST_F(SettingsWriteTest, UnderAPollerAndARewritingClientTheNameStaysAndNoChangeIsLost) {
  // One thread looks for the name without a pause; a stand-in client reads, changes its own
  // key and writes the file the way a Java program does, every 10 ms. Meanwhile 200 saves.
  const std::string path = dir.File("zqbackup.properties");
  // First a client write in the last moment before a rename: it is put back and kept.
  gBeforeMove = [&] { JavaWrite(path, std::string(kOld) + "application.memory=0\r\n"); };
  FileWriteCalls().moveFileEx = LateMove;
  SaveWarningSetting(false);
  EXPECT_EQ(dir.Read("zqbackup.properties"),
            "scheduler.active=ON\r\nscheduler.time=07PM\r\napplication.memory=0\r\n"
            "scheduler.displaywarning=OFF\r\n");
  EXPECT_EQ(Names(), std::set<std::string>{"zqbackup.properties"});
  struct TCountingFs : TWinFileSystem {
    mutable std::atomic<int> reads{0};
    TFileRead Read(const std::string& p, unsigned patienceMs) const override {
      ++reads;
      return TWinFileSystem::Read(p, patienceMs);
    }
  } fs;
  seams::SetFs(&fs);
  std::atomic<bool> stop{false};
  std::atomic<long> polls{0}, missing{0}, notFound{0}, lost{0}, clientWrites{0}, last{0};
  DWORD took = 0;
  {
    TJob poller([&] {
      for (; !stop; ++polls)
        if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) ++missing;
    });
    TJob client([&] {
      for (std::string text; !stop; ::Sleep(10)) {
        if (!JavaRead(path, text)) {
          if (::GetLastError() == ERROR_FILE_NOT_FOUND) ++notFound;
          continue;
        }
        TPropertyList list;
        list.SetText(text);
        const int at = FindKey(list, "application.memory");
        const long seen = at < 0 ? -1 : std::stol(ValueOf(list, "application.memory"));
        if (seen != last) ++lost;  // a save wrote what it had read before the client's write
        list.Lines()[static_cast<size_t>(at < 0 ? 0 : at)] =
            "application.memory=" + std::to_string(seen + 1);
        if (JavaWrite(path, list.Text())) {
          last = seen + 1;
          ++clientWrites;
        }
      }
    });
    const DWORD start = ::GetTickCount();
    for (int i = 0; i < 200; ++i) SaveWarningSetting(i % 2 == 0);
    took = ::GetTickCount() - start;
    stop = true;
  }
  SaveWarningSetting(false);
  printf("200 saves in %lu ms: %ld polls, name missing %ld; client: %ld writes, %ld not found, %ld changes "
         "lost; %d readings (%d read again after a client write), %d pauses for a held file, "
         "%d boxes\n",
         took, polls.load(), missing.load(), clientWrites.load(), notFound.load(), lost.load(),
         fs.reads.load(), fs.reads.load() - 201, gPauses.load(), static_cast<int>(ui.shown.size()));
  // A client that rewrites the file faster than a save can read and write it may outlast a
  // save's tries: such a save reports, and the file keeps the client's version.
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(notFound, 0);
  EXPECT_EQ(lost, 0);
  EXPECT_GT(clientWrites, 10);
  const TPropertyList end = ReadPropertyFile(path);
  EXPECT_EQ(ValueOf(end, "application.memory"), std::to_string(last));
  EXPECT_EQ(ValueOf(end, "scheduler.displaywarning"), "OFF");
  EXPECT_EQ(Names(), std::set<std::string>{"zqbackup.properties"}) << ::testing::PrintToString(Names());
}

TEST_F(SettingsWriteTest, InterruptedSavesAreRemovedAtTheNextStart) {
  // What a save killed before its rename leaves: "~zq....tmp". Nothing else goes.
  for (const char* name : {"~zq1A2B.tmp", "~ZQFF.TMP", "~zqnote.txt", "zq12.tmp", "other.tmp"})
    dir.Write(name, "x");
  ASSERT_TRUE(::CreateDirectoryA(dir.File("~zqdir.tmp").c_str(), nullptr));
  RemoveInterruptedSaves(dir.Path());
  EXPECT_EQ(Names(), (std::set<std::string>{"zqbackup.properties", "~zqnote.txt", "zq12.tmp",
                                            "other.tmp", "~zqdir.tmp"}));
}

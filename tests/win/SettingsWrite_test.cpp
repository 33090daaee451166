// Settings files written by ZqRunner ("zqbackup.properties" from the missed-backup warning's
// check box, "defaults.properties" and "system2.properties" in the update) are never lost:
// a disk that fills up, a flush or replacement that fails, or a read-only file leave the old
// file byte for byte and no temporary file behind; a save keeps the file's permissions and
// attributes. Real files under Wine; the failures are made through the write calls of
// TWinFileSystem.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "Globals.h"
#include "Properties.h"
#include "Settings.h"
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
BOOL WINAPI RefusedMove(LPCSTR, LPCSTR, DWORD) {
  ::SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}
// The ways ReplaceFile fails, as its documentation gives them when a backup name is passed:
// nothing moved (1175, 1176), or the old file moved to the backup name and the new one not
// put in its place (1177).
DWORD gReplaceError = 0;
std::string gReplaced;
BOOL WINAPI FailingReplace(LPCSTR replaced, LPCSTR, LPCSTR backup, DWORD, LPVOID, LPVOID) {
  gReplaced = replaced;
  if (gReplaceError == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 && !::MoveFileA(replaced, backup))
    return FALSE;
  ::SetLastError(gReplaceError);
  return FALSE;
}
BOOL WINAPI RecordedReplace(LPCSTR replaced, LPCSTR replacement, LPCSTR backup, DWORD flags,
                            LPVOID exclude, LPVOID reserved) {
  gReplaced = replaced;
  return ::ReplaceFileA(replaced, replacement, backup, flags, exclude, reserved);
}
// A folder in which this user may not create files.
UINT WINAPI NoNewFiles(LPCSTR, LPCSTR, UINT, LPSTR) {
  ::SetLastError(ERROR_ACCESS_DENIED);
  return 0;
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
    dir.Write("zqbackup.properties", kOld);
  }
  void TearDown() override {
    FileWriteCalls() = saved;
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

TEST_F(SettingsWriteTest, FailedFlushOrReplacementLosesNothing) {
  FileWriteCalls().flushFileBuffers = FailingFlush;
  SaveWarningSetting(false);
  FileWriteCalls() = saved;
  ExpectNothingLost("flush failed");

  for (DWORD error : {DWORD{ERROR_UNABLE_TO_REMOVE_REPLACED}, DWORD{ERROR_UNABLE_TO_MOVE_REPLACEMENT},
                      DWORD{ERROR_UNABLE_TO_MOVE_REPLACEMENT_2}, DWORD{ERROR_ACCESS_DENIED}}) {
    ui.shown.clear();
    gReplaceError = error;
    gReplaced.clear();
    FileWriteCalls().replaceFile = FailingReplace;
    SaveWarningSetting(false);
    FileWriteCalls() = saved;
    EXPECT_EQ(gReplaced, dir.File("zqbackup.properties"));
    ExpectNothingLost(("replacement failed with " + std::to_string(error)).c_str());
  }

  // A file that is new: its rename refused, nothing is left behind.
  FileWriteCalls().moveFileEx = RefusedMove;
  EXPECT_FALSE(seams::Fs().WriteAll(dir.File("defaults.properties"), "HASH=x\r\n"));
  FileWriteCalls() = saved;
  EXPECT_EQ(Names(), std::set<std::string>{"zqbackup.properties"});
}

TEST_F(SettingsWriteTest, AFolderThatTakesNoNewFileIsWrittenInPlace) {
  // Where the user may write the settings files but not add files beside them, a save
  // still works, in place; a disk that fills up then gets the old bytes back.
  FileWriteCalls().getTempFileName = NoNewFiles;
  SaveWarningSetting(false);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(dir.Read("zqbackup.properties"),
            "scheduler.active=ON\r\nscheduler.time=07PM\r\nscheduler.displaywarning=OFF\r\n");
  dir.Write("zqbackup.properties", kOld);
  gRoomLeft = 20;
  FileWriteCalls().writeFile = FillingDisk;
  SaveWarningSetting(false);
  FileWriteCalls() = saved;
  ExpectNothingLost("in place, disk full");
  // A file that is not there cannot be made there either.
  FileWriteCalls().getTempFileName = NoNewFiles;
  EXPECT_FALSE(seams::Fs().WriteAll(dir.File("defaults.properties"), "HASH=x\r\n"));
  FileWriteCalls() = saved;
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
  // Its own permissions (given by an installer, say) stay with the file: the old file is
  // replaced by the system's ReplaceFile, which carries them over on Windows, where a
  // rename would give it the folder's. Wine keeps access lists as Unix permission bits and
  // its ReplaceFile is a rename, so only the call is checked here.
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  gReplaced.clear();
  FileWriteCalls().replaceFile = RecordedReplace;
  SaveWarningSetting(false);
  FileWriteCalls() = saved;
  EXPECT_EQ(gReplaced, path);
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
  EXPECT_TRUE(seams::Fs().WriteAll(dir.File("empty.properties"), ""));
  EXPECT_EQ(Names(), (std::set<std::string>{"defaults.properties", "empty.properties",
                                            "zqbackup.properties"}));
}

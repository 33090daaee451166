// ApplyUpdate in-process on the real file system: archives written with TArchiveWriter,
// the restart recorded instead of started.
#include <gtest/gtest.h>

#include "ArchiveIo_win.h"
#include "ArchiveWriter.h"
#include "MaintenanceHost_win.h"
#include "Update.h"
#include "WinPlatform.h"
#include "WinTestUtil.h"
#include "core/Fakes.h"
#include "core/MaintenanceFakes.h"

namespace {

bool Exists(const std::string& p) { return ::GetFileAttributesA(p.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The running executable is a file of the test; the 100 ms pauses are only counted.
class TTestHost : public TWinMaintenanceHost {
 public:
  std::string exe;
  int sleeps = 0;
  std::string ExePath() override { return exe; }
  void Sleep(unsigned) override { ++sleeps; }
};

class TWinUpdateTest : public ::testing::Test {
 protected:
  wt::TTempDir root{"update"};
  std::string d;
  TTestHost host;
  TWinArchiveIo io;
  TScriptedUi ui;
  TRecordingLauncher launcher;

  void SetUp() override {
    InstallWinSeams();
    UpdateBlocked = UpdateWarningShown = false;
    seams::SetUi(&ui);
    seams::SetLauncher(&launcher);
    ::CreateDirectoryA(root.File("Inst").c_str(), nullptr);
    d = root.File("Inst") + "\\";
    root.Write("updSW.exe", "MZ old runner");
    host.exe = root.File("updSW.exe");
    root.Write("Inst\\ZqRunner.exe", "MZ old runner");
  }
  void TearDown() override {
    seams::SetUi(nullptr);
    seams::SetLauncher(nullptr);
  }
  void MakeArchive(const std::vector<std::pair<std::string, std::string>>& files) {
    TArchiveWriter writer(io, d + "NewVer.ZLib");
    for (const auto& f : files) writer.AddData(f.first, "", f.second, true);
    writer.Finish(true);
  }
  void ExpectRestarted() {
    ASSERT_EQ(launcher.starts.size(), 1u);
    EXPECT_EQ(launcher.starts[0].commandLine, "\"" + d + "ZqRunner.exe\"");
    EXPECT_EQ(launcher.starts[0].workDir, d);
    EXPECT_FALSE(Exists(d + "NewVer.ZLib"));
  }
};

}  // namespace

TEST_F(TWinUpdateTest, SettingsSurviveAndTheNewRunnerStarts) {
  root.Write("Inst\\defaults.properties", "#mine\r\nSERVER_IP=my.server\r\n");
  const std::string system2 = std::string("cancel=ON\n\0bin\xff", 15);
  root.Write("Inst\\system2.properties", system2);
  ::SetFileAttributesA((d + "ZqRunner.exe").c_str(), FILE_ATTRIBUTE_READONLY);
  MakeArchive({{"ZqRunner.exe", "MZ new runner"},
               {"defaults.properties", "#mine\r\nSERVER_IP=new\r\nadded=1\r\n"},
               {"system2.properties", "cancel=OFF\r\n"}});
  ApplyUpdate(d, host, io);
  EXPECT_EQ(root.Read("Inst\\ZqRunner.exe"), "MZ new runner");
  EXPECT_EQ(root.Read("Inst\\defaults.properties"), "#mine\r\nSERVER_IP=my.server\r\nadded=1\r\n");
  EXPECT_EQ(root.Read("Inst\\system2.properties"), system2);
  EXPECT_EQ(host.sleeps, 0);
  EXPECT_TRUE(ui.shown.empty());
  ExpectRestarted();
}

TEST_F(TWinUpdateTest, CorruptArchiveLeavesTheInstallationAlone) {
  root.Write("Inst\\defaults.properties", "#c\r\nx=1\r\n");
  MakeArchive({{"ZqRunner.exe", "MZ new runner"}, {"other.txt", "x"}});
  std::string bytes = root.Read("Inst\\NewVer.ZLib");
  bytes[bytes.size() - 40] ^= 1;
  root.Write("Inst\\NewVer.ZLib", bytes);
  ApplyUpdate(d, host, io);
  EXPECT_EQ(root.Read("Inst\\ZqRunner.exe"), "MZ old runner");
  EXPECT_FALSE(Exists(d + "other.txt"));
  EXPECT_EQ(root.Read("Inst\\defaults.properties"), "#c\r\nx=1\r\n");
  ExpectRestarted();
}

TEST_F(TWinUpdateTest, ArchiveWithoutRunnerLeavesTheOldOne) {
  MakeArchive({{"readme.txt", "hello"}});
  ApplyUpdate(d, host, io);
  EXPECT_EQ(root.Read("Inst\\readme.txt"), "hello");
  EXPECT_EQ(root.Read("Inst\\ZqRunner.exe"), "MZ old runner");
  EXPECT_TRUE(Exists(d + "defaults.properties"));
  ExpectRestarted();
}

// Whatever holds a file of the installation, the update is undone whole: every file
// as it was, the new folder gone, no update file left, one warning, the archive removed
// and the old program restarted (it runs the client).
TEST_F(TWinUpdateTest, HeldFileUndoesTheWholeUpdateWithOneWarning) {
  struct {
    const char* what;
    const char* held;
    DWORD share;
    int sleeps;  // the old program is waited for about 5 seconds
  } cases[] = {{"the old program still in use", "ZqRunner.exe", FILE_SHARE_READ, 51},
               {"a jar held without sharing", "a.jar", 0, 0},
               {"a jar held for reading", "a.jar", FILE_SHARE_READ, 0}};
  const std::vector<std::pair<std::string, std::string>> old = {
      {"ZqRunner.exe", "MZ old runner"}, {"defaults.properties", "SERVER_IP=my.server\r\n"},
      {"a.jar", "old a"}, {"b.jar", "old b"}};
  for (const auto& c : cases) {
    for (const auto& f : old) root.Write("Inst\\" + f.first, f.second);
    TArchiveWriter writer(io, d + "NewVer.ZLib");
    writer.AddData("defaults.properties", "", "SERVER_IP=theirs\r\nnew=1\r\n", true);
    writer.AddData("b.jar", "", "new b", true);
    writer.AddData("a.jar", "", "new a", false);
    writer.AddData("c.jar", "lib", "new c", true);
    writer.AddData("ZqRunner.exe", "", "MZ new runner", true);
    writer.Finish(true);
    TFileHandle held(::CreateFileA((d + c.held).c_str(), GENERIC_READ, c.share, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held) << c.what;
    host.sleeps = 0;
    ui.shown.clear();
    launcher.starts.clear();
    UpdateBlocked = UpdateWarningShown = false;
    ApplyUpdate(d, host, io);
    held.reset();
    EXPECT_EQ(host.sleeps, c.sleeps) << c.what;
    for (const auto& f : old) EXPECT_EQ(root.Read("Inst\\" + f.first), f.second) << c.what;
    EXPECT_FALSE(Exists(d + "lib")) << c.what;
    WIN32_FIND_DATAA fd;
    TFindHandle left(::FindFirstFileA((d + "~zq*").c_str(), &fd));
    EXPECT_FALSE(left) << c.what << ": " << fd.cFileName;
    ASSERT_EQ(ui.shown.size(), 1u) << c.what;
    EXPECT_EQ(ui.shown[0].text, "Could not update all files properly");
    ExpectRestarted();
  }
}

// With a temporary directory that the ANSI code page cannot spell, the copy goes to the
// directory's short name, and it is this program.
TEST_F(TWinUpdateTest, HandOverReachesATemporaryDirectoryTheAnsiCallsCannotSpell) {
  wchar_t wide[MAX_PATH], saved[2][MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, wide);
  const std::wstring odd = std::wstring(wide) + L"\x0416\x0443\x0440 \x043d\x0430\x043b";
  ::CreateDirectoryW(odd.c_str(), nullptr);
  const wchar_t* vars[] = {L"TMP", L"TEMP"};
  for (int i = 0; i < 2; ++i) {
    ::GetEnvironmentVariableW(vars[i], saved[i], MAX_PATH);
    ::SetEnvironmentVariableW(vars[i], odd.c_str());
  }
  const std::string temp = AnsiTempDir();
  EXPECT_NE(TempDir().find('?'), std::string::npos);  // GetTempPathA's "...\??? ???\"
  EXPECT_EQ(temp.find('?'), std::string::npos) << temp;
  EXPECT_NE(temp.find('~'), std::string::npos) << temp;  // the folder's short name
  ASSERT_TRUE(HandOverUpdate(d, host));
  ASSERT_EQ(launcher.starts.size(), 1u);
  EXPECT_EQ(launcher.starts[0].commandLine, "\"" + temp + "updSW.exe\" -update \"" + d + "\"");
  EXPECT_EQ(launcher.starts[0].workDir, temp);
  EXPECT_TRUE(host.SameContent(host.exe, temp + "updSW.exe"));
  EXPECT_TRUE(ui.shown.empty());
  ::DeleteFileA((temp + "updSW.exe").c_str());
  for (int i = 0; i < 2; ++i) ::SetEnvironmentVariableW(vars[i], saved[i][0] ? saved[i] : nullptr);
  ::RemoveDirectoryW(odd.c_str());
}

// The whole hand-over as the installed program starts it: a copy of ZqRunner.exe run with
// -update and the quoted directory; the archive's "ZqRunner.exe" is the launcher tests'
// stand-in, which records how it was started.
TEST(UpdateProcessTest, CopyAppliesTheArchiveAndStartsTheNewRunner) {
  wt::TTempDir temp("updtemp");
  wt::TTempDir inst("updinst");
  const std::string updater = temp.File("updSW.exe");
  ASSERT_TRUE(::CopyFileA(wt::WindowsPath(ZQ_RUNNER_EXE).c_str(), updater.c_str(), FALSE));
  ASSERT_TRUE(::CopyFileA(wt::WindowsPath(ZQ_RUNNER_EXE).c_str(), inst.File("ZqRunner.exe").c_str(), FALSE));
  inst.Write("defaults.properties", "SERVER_IP=mine\r\n");
  inst.Write("system2.properties", "cancel=ON");
  TWinArchiveIo io;
  {
    TArchiveWriter writer(io, inst.File("NewVer.ZLib"));
    writer.AddFile(wt::WindowsPath(ZQ_STANDIN_EXE), "ZqRunner.exe", "", true);
    writer.AddData("defaults.properties", "", "SERVER_IP=theirs\r\nnew=1\r\n", true);
    writer.AddData("system2.properties", "", "cancel=OFF", false);
    writer.Finish(true);
  }
  ::SetEnvironmentVariableA("ZQ_STANDIN_LOG", temp.File("newrunner.log").c_str());
  ::SetEnvironmentVariableA("ZQ_STANDIN_WINDOW", "0");
  ::SetEnvironmentVariableA("ZQ_STANDIN_EXIT_MS", "100");

  wt::TProcess p = wt::Start(updater, "-update \"" + inst.Path() + "\\\"", temp.Path());
  EXPECT_EQ(p.Wait(30000), 0);
  // The stand-in ends on its own after 100 ms and says so ("TIMEOUT").
  EXPECT_TRUE(wt::WaitUntil([&] { return temp.Read("newrunner.log").find("TIMEOUT") != std::string::npos; }, 15000));
  const std::string log = temp.Read("newrunner.log");
  EXPECT_NE(log.find("CMD \"" + inst.File("ZqRunner.exe") + "\""), std::string::npos) << log;
  EXPECT_NE(log.find("CWD " + inst.Path()), std::string::npos) << log;
  EXPECT_EQ(inst.Read("defaults.properties"), "SERVER_IP=mine\r\nnew=1\r\n");
  EXPECT_EQ(inst.Read("system2.properties"), "cancel=ON");
  EXPECT_FALSE(Exists(inst.File("NewVer.ZLib")));
  for (const char* v : {"ZQ_STANDIN_LOG", "ZQ_STANDIN_WINDOW", "ZQ_STANDIN_EXIT_MS"})
    ::SetEnvironmentVariableA(v, nullptr);
}

// ApplyUpdate in-process on the real file system: archives written with TArchiveWriter,
// the restart recorded instead of started.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <set>

#include "ArchiveIo_win.h"
#include "ArchiveWriter.h"
#include "MaintenanceHost_win.h"
#include "Messages.h"
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
    UpdateBlocked = UpdateWarningShown = UpdateHandedOver = false;
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
  void ExpectRestarted(bool archiveKept = false) {
    EXPECT_EQ(Exists(d + "NewVer.ZLib"), archiveKept);
    ASSERT_EQ(launcher.starts.size(), 1u);
    EXPECT_EQ(launcher.starts[0].commandLine, "\"" + d + "ZqRunner.exe\"");
    EXPECT_EQ(launcher.starts[0].workDir, d);
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
// as it was, the new folder gone, no update file left, one warning naming the file, the
// archive kept for a later run (the cause may pass) and the old program restarted (it
// runs the client). Restart Manager is asked for the holder: under Wine it names none,
// so the warning names the file alone (the naming itself: next test).
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
    // Only the record that keeps the scheduler started next from handing it over again.
    EXPECT_TRUE(!left || std::string(fd.cFileName) == "~zqupdate.jnl") << c.what << ": " << fd.cFileName;
    ASSERT_EQ(ui.shown.size(), 1u) << c.what;
    const std::string holder = host.FileHolder(d + c.held);
    EXPECT_EQ(ui.shown[0].text, "Could not update all files properly\r\n\r\n" + std::string(c.held) +
                                    " is in use" + (holder.empty() ? "" : " by " + holder));
    ExpectRestarted(true);
    ::DeleteFileA((d + "NewVer.ZLib").c_str());
    ::DeleteFileA((d + "~zqupdate.jnl").c_str());
  }
}

// The warning names the holder as Restart Manager reports it: "Name (program.exe)", the
// program looked up by the process id. Wine's Restart Manager names no process, so its
// answer is replaced here by one naming this test process; the real call is asked too,
// and whatever it names must hold the file.
TEST_F(TWinUpdateTest, TheWarningNamesTheHeldFileAndItsHolder) {
  root.Write("Inst\\a.jar", "old a");
  TFileHandle held(::CreateFileA((d + "a.jar").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  for (const TFileHolder& h : RestartManagerHolders(d + "a.jar"))
    EXPECT_EQ(h.processId, ::GetCurrentProcessId()) << h.app;
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string program = std::string(self).substr(std::string(self).find_last_of('\\') + 1);
  struct {
    std::vector<TFileHolder> holders;
    std::string named;
  } cases[] = {{{}, ""},
               {{{"Stash9", ::GetCurrentProcessId()}}, "Stash9 (" + program + ")"},
               {{{"", ::GetCurrentProcessId()}, {"Other", 0xFFFFFFF0u}}, program + ", Other"}};
  static std::vector<TFileHolder> answer;
  QueryFileHolders = [](const std::string&) { return answer; };
  for (const auto& c : cases) {
    answer = c.holders;
    MakeArchive({{"a.jar", "new a"}, {"ZqRunner.exe", "MZ new runner"}});
    ui.shown.clear();
    UpdateBlocked = UpdateWarningShown = false;
    ApplyUpdate(d, host, io);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "Could not update all files properly\r\n\r\na.jar is in use" +
                                    (c.named.empty() ? "" : " by " + c.named));
    EXPECT_EQ(root.Read("Inst\\a.jar"), "old a");
    ::DeleteFileA((d + "NewVer.ZLib").c_str());
    ::DeleteFileA((d + "~zqupdate.jnl").c_str());
  }
  QueryFileHolders = RestartManagerHolders;
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

namespace {

// The ids of the running processes whose program is `name`.
std::set<DWORD> ProcessesNamed(const char* name) {
  std::set<DWORD> found;
  TFileHandle snap(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32 e = {};
  e.dwSize = sizeof e;
  for (BOOL more = snap && ::Process32First(snap.get(), &e); more; more = ::Process32Next(snap.get(), &e))
    if (_stricmp(e.szExeFile, name) == 0) found.insert(e.th32ProcessID);
  return found;
}

// A visible "Warning" box of any process: answered, and its text returned ("" for none).
std::string AnswerWarning() {
  HWND box = ::FindWindowA("#32770", "Warning");
  if (!box || !::IsWindowVisible(box)) return {};
  const std::string text = wt::MessageBoxText(box);
  ::PostMessageA(box, WM_COMMAND, IDOK, 0);
  wt::WaitUntil([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }, 5000);
  return text;
}

// An installation whose real ZqRunner.exe runs a stand-in client, and an archive of the
// same program with a marker appended (it runs the same; the bytes tell new from old).
struct TUpdateInstall {
  wt::TTempDir inst{"updproc"};
  std::string runner = inst.File("ZqRunner.exe"), program, marked;
  TUpdateInstall() {
    ::CopyFileA(wt::WindowsPath(ZQ_RUNNER_EXE).c_str(), runner.c_str(), FALSE);
    program = inst.Read("ZqRunner.exe");
    marked = program + std::string(4096, '\0') + "NEW VERSION";
    for (const char* dir : {"java", "java\\bin"}) ::CreateDirectoryA(inst.File(dir).c_str(), nullptr);
    ::CopyFileA(wt::WindowsPath(ZQ_STANDIN_EXE).c_str(), inst.File("java\\bin\\javaw.exe").c_str(), FALSE);
    inst.Write("stash9.jar", "");
    inst.Write("connection.properties", "");
    inst.Write("zqbackup.properties", "scheduler.active=OFF\r\n");
    inst.Write("defaults.properties", "SERVER_IP=mine\r\n");
    TWinArchiveIo io;
    TArchiveWriter writer(io, inst.File("NewVer.ZLib"));
    writer.AddData("ZqRunner.exe", "", marked, true);
    writer.AddData("defaults.properties", "", "SERVER_IP=theirs\r\nnew=1\r\n", true);
    std::string big(6 << 20, '\0');  // staged for a moment: incompressible enough
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
    writer.AddData("big.jar", "lib", big, false);
    writer.Finish(true);
    ::SetEnvironmentVariableA("ZQ_STANDIN_LOG", inst.File("client.log").c_str());
    ::SetEnvironmentVariableA("ZQ_STANDIN_WINDOW", "0");
    ::SetEnvironmentVariableA("ZQ_STANDIN_EXIT_MS", "300");
  }
  ~TUpdateInstall() {
    for (const char* v : {"ZQ_STANDIN_LOG", "ZQ_STANDIN_WINDOW", "ZQ_STANDIN_EXIT_MS"})
      ::SetEnvironmentVariableA(v, nullptr);
  }
  bool ClientStarted() const { return inst.Read("client.log").find("CMD") != std::string::npos; }
  // Posts WM_DESTROY to the scheduler's window and waits until no ZqRunner.exe runs.
  void EndSchedulers() const {
    wt::WaitUntil([] {
      if (HWND w = ::FindWindowA(kMainWindowClass, kMainWindowTitle)) ::PostMessageA(w, WM_DESTROY, 0, 0);
      return ProcessesNamed("ZqRunner.exe").empty();
    }, 20000);
  }
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> left;
    WIN32_FIND_DATAA fd;
    TFindHandle find(::FindFirstFileA(inst.File("~zq*").c_str(), &fd));
    for (BOOL more = static_cast<bool>(find); more; more = ::FindNextFileA(find.get(), &fd))
      left.push_back(fd.cFileName);
    return left;
  }
};

}  // namespace

// The updater started as the installed program starts it (the update's mark taken first
// and passed on), and a second, normal start of the installed program at once after it,
// or while the entries are being staged: that start ends at once, touching nothing; the
// update ends with the new version, the user's settings merged, no update file left and
// no warning, and the new program (started by the updater) runs the client.
TEST(UpdateProcessTest, ASecondStartDuringTheUpdateChangesNothing) {
  for (const bool duringStaging : {false, true}) {
    TUpdateInstall u;
    wt::TTempDir temp("updtemp");
    const std::string updater = temp.File("updSW.exe");
    ASSERT_TRUE(::CopyFileA(u.runner.c_str(), updater.c_str(), FALSE));
    TWinMaintenanceHost handing;
    handing.MarkUpdate(u.inst.Path());
    wt::TProcess p = wt::Start(updater, "-update \"" + u.inst.Path() + "\\\"", temp.Path());
    ASSERT_TRUE(p.process);
    handing.ShareUpdateMark(p.pid);
    handing.UnmarkUpdate();  // the installed program ends
    if (duringStaging) {
      ASSERT_TRUE(wt::WaitUntil([&] { return wt::Exists(u.inst.File("lib\\~zq2.new")); }, 20000));
    }
    wt::TProcess second = wt::Start(u.runner, "", u.inst.Path());
    ASSERT_TRUE(second.process);
    EXPECT_EQ(second.Wait(10000), 0) << "the second start ended at once";
    EXPECT_EQ(AnswerWarning(), "");
    EXPECT_EQ(p.Wait(60000), 0) << duringStaging;
    EXPECT_TRUE(wt::WaitUntil([&] { return u.ClientStarted(); }, 30000)) << duringStaging;
    EXPECT_EQ(AnswerWarning(), "") << duringStaging;
    u.EndSchedulers();
    EXPECT_TRUE(u.inst.Read("ZqRunner.exe") == u.marked) << duringStaging;
    EXPECT_EQ(u.inst.Read("defaults.properties"), "SERVER_IP=mine\r\nnew=1\r\n");
    EXPECT_FALSE(wt::Exists(u.inst.File("NewVer.ZLib")));
    EXPECT_EQ(u.Leftovers(), std::vector<std::string>()) << duringStaging;
  }
}

// The archive held by another program (sharing reads only) for the whole run: the
// installed program hands it over once, the updater applies it, cannot remove it and
// warns once, naming it; the program it starts belongs to the same run, runs the client
// and hands nothing over again. Counted: updater processes and warnings.
TEST(UpdateProcessTest, AHeldArchiveIsHandedOverOncePerRun) {
  TUpdateInstall u;
  TFileHandle held(::CreateFileA(u.inst.File("NewVer.ZLib").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  std::set<DWORD> updaters;
  std::vector<std::string> warnings;
  const auto watch = [&](DWORD ms) {
    wt::WaitUntil([&] {
      for (DWORD pid : ProcessesNamed("updSW.exe")) updaters.insert(pid);
      const std::string w = AnswerWarning();
      if (!w.empty()) warnings.push_back(w);
      return false;
    }, ms);
  };
  // Started as a shell starts a program: no handle to the process is kept.
  ASSERT_TRUE(wt::Start(u.runner, "", u.inst.Path()).process);
  ASSERT_TRUE(wt::WaitUntil([&] {
    watch(10);
    return u.ClientStarted();
  }, 40000)) << updaters.size() << " updaters, warnings " << ::testing::PrintToString(warnings);
  watch(8000);  // a loop would hand over again within this
  u.EndSchedulers();
  watch(100);
  held.reset();
  EXPECT_EQ(updaters.size(), 1u);
  ASSERT_EQ(warnings.size(), 1u) << ::testing::PrintToString(warnings);
  EXPECT_EQ(warnings[0], "Could not update all files properly\r\n\r\nNewVer.ZLib is in use");
  EXPECT_TRUE(u.inst.Read("ZqRunner.exe") == u.marked);
  EXPECT_TRUE(wt::Exists(u.inst.File("NewVer.ZLib")));
}

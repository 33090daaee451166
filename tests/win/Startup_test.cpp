// ZqRunner.exe as a process: the maintenance command-line forms and the second-instance
// hand-over, observed from outside as another program would.
#include <gtest/gtest.h>

#include <cstring>

#include "Diagnostics.h"
#include "Messages.h"
#include "WinPlatform.h"
#include "WinTestUtil.h"
#include "WindowFakes.h"

namespace {

// A copy of ZqRunner.exe in a fresh installation directory.
struct TInstall {
  wt::TTempDir dir{"inst"};
  std::string exe;
  TInstall() {
    exe = dir.File("ZqRunner.exe");
    ::CopyFileA(wt::WindowsPath(ZQ_RUNNER_EXE).c_str(), exe.c_str(), FALSE);
  }
};

// What reached a window that stands in for one other processes talk to.
std::string Got(const wf::TLogWindow& w) {
  std::string got;
  for (const auto& m : w.log)
    got += std::to_string(m.msg) + " " + std::to_string(m.w) + " " + std::to_string(m.l) + "\n";
  return got;
}

// The main window that process `pid` creates, waited for; null when none came.
HWND FindMainWindowOf(DWORD pid) {
  HWND w = nullptr;
  wt::WaitUntil([&] {
    DWORD owner = 0;
    while ((w = ::FindWindowExA(nullptr, w, kMainWindowClass, kMainWindowTitle)) != nullptr)
      if (::GetWindowThreadProcessId(w, &owner) && owner == pid) return true;
    return false;
  }, 20000);
  return w;
}

bool MutexExists() {
  HANDLE h = ::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kInstanceMutex);
  if (h) ::CloseHandle(h);
  return h != nullptr;
}

// Runs ZqRunner with `args`, expects one "Message" box, returns its text after pressing OK.
std::string RunAndAnswerMessage(const TInstall& inst, const std::string& args,
                                bool* mutexSeen = nullptr) {
  wt::TProcess p = wt::Start(inst.exe, args, inst.dir.Path());
  EXPECT_TRUE(p.process);
  HWND box = nullptr;
  EXPECT_TRUE(wt::WaitUntil([&] { return (box = wt::FindProcessWindow(p.pid, "Message")) != nullptr; }, 15000));
  std::string text = box ? wt::MessageBoxText(box) : "";
  if (mutexSeen) *mutexSeen = MutexExists();
  if (box) ::PostMessageA(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(p.Wait(15000), 0);
  return text;
}

}  // namespace

TEST(StartupTest, UninstallOfMissingDirectorySaysSoWithoutTakingTheMutex) {
  TInstall inst;
  bool mutexSeen = true;
  EXPECT_EQ(RunAndAnswerMessage(inst, "-uninstall X", &mutexSeen),
            "The directory to uninstall, X, does not exist!");
  EXPECT_FALSE(mutexSeen);
}

TEST(StartupTest, UpdateOfMissingDirectorySaysSo) {
  TInstall inst;
  EXPECT_EQ(RunAndAnswerMessage(inst, "-update \"C:\\no such dir\\\""),
            "The directory to update, C:\\no such dir\\, does not exist!");
}

TEST(StartupTest, LeftoverUpdaterSurvivesAMaintenanceRun) {
  TInstall inst;
  const std::string leftover = ::TempDir() + "updSW.exe";
  ::CopyFileA(inst.exe.c_str(), leftover.c_str(), FALSE);
  RunAndAnswerMessage(inst, "-uninstall X");
  EXPECT_TRUE(wt::Exists(leftover));
  ::DeleteFileA(leftover.c_str());
}

TEST(StartupTest, SecondInstanceDoubleClicksTheFirstInstancesTray) {
  TInstall inst;
  wf::TLogWindow first(kMainWindowClass, kMainWindowTitle);
  HANDLE held = ::CreateMutexA(nullptr, FALSE, kInstanceMutex);  // "the first instance"
  ASSERT_NE(held, nullptr);
  const std::string leftover = ::TempDir() + "resource.properties";
  inst.dir.Write("x", "");
  ::CopyFileA(inst.dir.File("x").c_str(), leftover.c_str(), FALSE);

  wt::TProcess p = wt::Start(inst.exe, "-MIN", inst.dir.Path());
  EXPECT_EQ(p.Wait(20000), 0);
  wt::WaitUntil([&] { return !first.log.empty(); }, 2000);
  ::CloseHandle(held);

  EXPECT_EQ(Got(first), "2141 123 515\n");
  // A second instance tidies nothing: the temp file stays.
  EXPECT_TRUE(wt::Exists(leftover));
  ::DeleteFileA(leftover.c_str());
}

TEST(StartupTest, SecondInstanceActivatesTheOpenClientInstead) {
  TInstall inst;
  wf::TLogWindow first(kMainWindowClass, kMainWindowTitle);
  wf::TLogWindow client(kClientWindowClass, kClientWindowTitle);
  HANDLE held = ::CreateMutexA(nullptr, FALSE, kInstanceMutex);

  wt::TProcess p = wt::Start(inst.exe, "", inst.dir.Path());
  EXPECT_EQ(p.Wait(20000), 0);
  wt::WaitUntil([&] { return !client.log.empty(); }, 2000);
  ::CloseHandle(held);

  EXPECT_EQ(Got(client), "1025 123 515\n");
  EXPECT_EQ(Got(first), "");
}

// Windows the second instance creates, reported by Windows as it creates them.
static std::vector<HWND> gCreated;
static void CALLBACK RecordCreated(HWINEVENTHOOK, DWORD, HWND w, LONG object, LONG, DWORD, DWORD) {
  if (object == OBJID_WINDOW) gCreated.push_back(w);
}

// The first instance is still starting: it holds the name, but neither the client's window
// nor the main window exists yet. Windows of those classes with other titles must get
// nothing; the second instance creates no window and ends.
TEST(StartupTest, SecondInstanceWithNothingToTalkToJustEnds) {
  TInstall inst;
  gCreated.clear();
  wf::TLogWindow main(kMainWindowClass, "SWEXEForm starting"), client(kClientWindowClass, "");
  HANDLE held = ::CreateMutexA(nullptr, FALSE, kInstanceMutex);
  wt::TProcess p = wt::Start(inst.exe, "", inst.dir.Path(), CREATE_SUSPENDED);
  HWINEVENTHOOK hook = ::SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_CREATE, nullptr,
                                         RecordCreated, p.pid, 0, WINEVENT_OUTOFCONTEXT);
  ::ResumeThread(p.thread.get());
  ASSERT_TRUE(hook);
  EXPECT_TRUE(wt::WaitUntil([&] { return p.Wait(0) == 0; }, 20000));
  wt::WaitUntil([] { return true; }, 0);  // delivers the events still queued
  ::UnhookWinEvent(hook);
  ::CloseHandle(held);
  EXPECT_EQ(Got(main) + Got(client), "");
  EXPECT_TRUE(gCreated.empty()) << gCreated.size() << " windows";
  EXPECT_FALSE(MutexExists()) << "nothing else holds the name";
}

// A quiet start tidies the installation and the temporary directory, creates the hidden
// main window, and ends with exit code 0 when another process posts WM_DESTROY to it.
TEST(StartupTest, QuietStartTidiesUpAndEndsOnDestroy) {
  TInstall inst;
  inst.dir.Write("connection.properties", "");
  ::CreateDirectoryA(inst.dir.File("java").c_str(), nullptr);
  ::CreateDirectoryA(inst.dir.File("java\\bin").c_str(), nullptr);
  ::CopyFileA(inst.exe.c_str(), inst.dir.File("java\\bin\\javaw.exe").c_str(), FALSE);
  inst.dir.Write("NewVer.jar", "old");
  inst.dir.Write("stowly.jar", "old");
  ::CreateDirectoryA(inst.dir.File("JRE").c_str(), nullptr);
  ::CreateDirectoryA(inst.dir.File("JRE\\bin").c_str(), nullptr);
  inst.dir.Write("JRE\\bin\\x.dll", "x");
  const std::string updater = ::TempDir() + "updSW.exe";
  const std::string resource = ::TempDir() + "resource.properties";
  inst.dir.Write("seed", "x");
  ::CopyFileA(inst.dir.File("seed").c_str(), updater.c_str(), FALSE);
  ::CopyFileA(inst.dir.File("seed").c_str(), resource.c_str(), FALSE);

  wt::TProcess p = wt::Start(inst.exe, "-MIN", inst.dir.Path());
  HWND main = FindMainWindowOf(p.pid);
  ASSERT_NE(main, nullptr);
  EXPECT_FALSE(::IsWindowVisible(main));
  EXPECT_TRUE(MutexExists());
  for (const std::string& gone : {updater, resource, inst.dir.File("NewVer.jar"),
                                  inst.dir.File("stowly.jar"), inst.dir.File("JRE")})
    EXPECT_FALSE(wt::Exists(gone)) << gone;

  ::PostMessageA(main, WM_DESTROY, 0, 0);
  EXPECT_EQ(p.Wait(20000), 0);
  EXPECT_FALSE(MutexExists());
}

// Two instances started at the same moment (a Startup shortcut and a Run entry): exactly
// one of them may run. Probe processes ask the single-instance test together, released by
// one event, round after round with a fresh name each time.
TEST(StartupTest, OfInstancesStartedTogetherExactlyOneRuns) {
  const std::string probe = wt::WindowsPath(ZQ_INSTANCE_PROBE_EXE);
  constexpr int kRounds = 40;
  constexpr int kProbes = 3;
  int holders[kRounds] = {};
  for (int round = 0; round < kRounds; ++round) {
    const std::string tag = "ZqProbe" + std::to_string(::GetCurrentProcessId()) + "_" +
                            std::to_string(round) + "_";
    TKernelHandle ready(::CreateSemaphoreA(nullptr, 0, kProbes, (tag + "ready").c_str()));
    TKernelHandle go(::CreateEventA(nullptr, TRUE, FALSE, (tag + "go").c_str()));
    TKernelHandle checked(::CreateSemaphoreA(nullptr, 0, kProbes, (tag + "checked").c_str()));
    TKernelHandle done(::CreateEventA(nullptr, TRUE, FALSE, (tag + "done").c_str()));
    ASSERT_TRUE(ready && go && checked && done);
    std::vector<wt::TProcess> probes;
    for (int i = 0; i < kProbes; ++i) {
      probes.push_back(wt::Start(probe, tag + "mutex " + tag + "ready " + tag + "go " + tag +
                                            "checked " + tag + "done"));
      ASSERT_TRUE(probes.back().process);
    }
    for (int i = 0; i < kProbes; ++i)
      ASSERT_EQ(::WaitForSingleObject(ready.get(), 20000), WAIT_OBJECT_0) << "round " << round;
    ::SetEvent(go.get());
    for (int i = 0; i < kProbes; ++i)
      ASSERT_EQ(::WaitForSingleObject(checked.get(), 20000), WAIT_OBJECT_0) << "round " << round;
    ::SetEvent(done.get());
    for (auto& p : probes) {
      const long code = p.Wait(20000);
      ASSERT_TRUE(code == 0 || code == 1) << "round " << round << " exit " << code;
      holders[round] += code == 0;
    }
  }
  for (int round = 0; round < kRounds; ++round)
    EXPECT_EQ(holders[round], 1) << "round " << round << ": instances that would run";
}

namespace {
// The exception code of a minidump's exception stream (type 6); 0 when it has none.
uint32_t DumpExceptionCode(const std::string& dump) {
  const auto u32 = [&](size_t at) {
    uint32_t v = 0;
    if (at + 4 <= dump.size()) std::memcpy(&v, dump.data() + at, 4);
    return v;
  };
  const uint32_t streams = u32(8), directory = u32(12);
  for (uint32_t i = 0; i < streams; ++i)
    if (u32(directory + 12 * i) == 6) return u32(u32(directory + 12 * i + 8) + 8);
  return 0;
}
}  // namespace

// A failure in any thread, and a C++ exception that escapes every catch, leave the newest
// dump with the failure's exception code and a crash line in the activity log.
TEST(StartupTest, CrashLeavesADumpAndACrashLine) {
  const struct {
    const char* how;
    uint32_t code;
  } cases[] = {{"thread", 0xC0000005u}, {"throw", kTerminateCode}};
  wt::TTempDir dir("crash");
  dir.Write(kDumpName, std::string(100000, 'o'));  // an older dump: replaced, not kept
  for (const auto& c : cases) {
    wt::TProcess p = wt::Start(wt::WindowsPath(ZQ_CRASH_PROBE_EXE), "\"" + dir.Path() + "\" " + c.how);
    ASSERT_TRUE(p.process);
    EXPECT_NE(p.Wait(60000), -1) << c.how;
    const std::string dump = dir.Read(kDumpName);
    EXPECT_EQ(dump.substr(0, 4), "MDMP") << c.how;
    EXPECT_EQ(DumpExceptionCode(dump), c.code) << c.how;
    const auto lines = wt::Lines(dir.Read("ZqRunner.log"));
    ASSERT_GE(lines.size(), 2u) << c.how;
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", c.code);
    for (const std::string& part : {"] crash: exception " + std::string(code) + " at 0x",
                                    std::string("(crash_probe.exe+0x"), std::string(", dump ZqRunner.dmp")})
      EXPECT_NE(lines.back().find(part), std::string::npos) << lines.back();
    EXPECT_NE(lines[lines.size() - 2].find("] start-up: version "), std::string::npos);
  }
}

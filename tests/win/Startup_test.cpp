// ZqRunner.exe as a process: the maintenance command-line forms and the second-instance
// hand-over, observed from outside as another program would.
#include <gtest/gtest.h>

#include "Messages.h"
#include "WinPlatform.h"
#include "WinTestUtil.h"

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

// Stands in for a window other processes talk to, and records what reaches it.
struct TRecordingWindow {
  struct TMsg {
    UINT msg;
    WPARAM w;
    LPARAM l;
  };
  static std::vector<TMsg>& Log() {
    static std::vector<TMsg> log;
    return log;
  }
  static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m >= WM_USER) Log().push_back({m, w, l});
    return ::DefWindowProcA(h, m, w, l);
  }
  HWND hwnd = nullptr;
  TRecordingWindow(const char* cls, const char* title) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = cls;
    ::RegisterClassA(&wc);
    hwnd = ::CreateWindowExA(0, cls, title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                             wc.hInstance, nullptr);
  }
  ~TRecordingWindow() { ::DestroyWindow(hwnd); }
};

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
  EXPECT_NE(::GetFileAttributesA(leftover.c_str()), INVALID_FILE_ATTRIBUTES);
  ::DeleteFileA(leftover.c_str());
}

TEST(StartupTest, SecondInstanceDoubleClicksTheFirstInstancesTray) {
  TInstall inst;
  TRecordingWindow::Log().clear();
  TRecordingWindow first(kMainWindowClass, kMainWindowTitle);
  HANDLE held = ::CreateMutexA(nullptr, FALSE, kInstanceMutex);  // "the first instance"
  ASSERT_NE(held, nullptr);
  const std::string leftover = ::TempDir() + "resource.properties";
  inst.dir.Write("x", "");
  ::CopyFileA(inst.dir.File("x").c_str(), leftover.c_str(), FALSE);

  wt::TProcess p = wt::Start(inst.exe, "-MIN", inst.dir.Path());
  EXPECT_EQ(p.Wait(20000), 0);
  wt::WaitUntil([] { return !TRecordingWindow::Log().empty(); }, 2000);
  ::CloseHandle(held);

  ASSERT_EQ(TRecordingWindow::Log().size(), 1u);
  EXPECT_EQ(TRecordingWindow::Log()[0].msg, 2141u);
  EXPECT_EQ(TRecordingWindow::Log()[0].w, 123u);
  EXPECT_EQ(TRecordingWindow::Log()[0].l, 515);
  // A second instance tidies nothing: the temp file stays.
  EXPECT_NE(::GetFileAttributesA(leftover.c_str()), INVALID_FILE_ATTRIBUTES);
  ::DeleteFileA(leftover.c_str());
}

TEST(StartupTest, SecondInstanceActivatesTheOpenClientInstead) {
  TInstall inst;
  TRecordingWindow::Log().clear();
  TRecordingWindow first(kMainWindowClass, kMainWindowTitle);
  TRecordingWindow client(kClientWindowClass, kClientWindowTitle);
  HANDLE held = ::CreateMutexA(nullptr, FALSE, kInstanceMutex);

  wt::TProcess p = wt::Start(inst.exe, "", inst.dir.Path());
  EXPECT_EQ(p.Wait(20000), 0);
  wt::WaitUntil([] { return !TRecordingWindow::Log().empty(); }, 2000);
  ::CloseHandle(held);

  ASSERT_EQ(TRecordingWindow::Log().size(), 1u);
  EXPECT_EQ(TRecordingWindow::Log()[0].msg, 1025u);
  EXPECT_EQ(TRecordingWindow::Log()[0].w, 123u);
  EXPECT_EQ(TRecordingWindow::Log()[0].l, 515);
}

TEST(StartupTest, SecondInstanceWithNothingToTalkToJustEnds) {
  TInstall inst;
  HANDLE held = ::CreateMutexA(nullptr, FALSE, kInstanceMutex);
  wt::TProcess p = wt::Start(inst.exe, "", inst.dir.Path());
  EXPECT_EQ(p.Wait(20000), 0);
  ::CloseHandle(held);
}

namespace {

HWND FindMainWindowOf(DWORD pid) {
  HWND found = nullptr;
  wt::WaitUntil(
      [&] {
        HWND w = nullptr;
        while ((w = ::FindWindowExA(nullptr, w, kMainWindowClass, kMainWindowTitle)) != nullptr) {
          DWORD owner = 0;
          ::GetWindowThreadProcessId(w, &owner);
          if (owner == pid) {
            found = w;
            return true;
          }
        }
        return false;
      },
      20000);
  return found;
}

}  // namespace

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
  EXPECT_EQ(::GetFileAttributesA(updater.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(::GetFileAttributesA(resource.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(::GetFileAttributesA(inst.dir.File("NewVer.jar").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(::GetFileAttributesA(inst.dir.File("stowly.jar").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(::GetFileAttributesA(inst.dir.File("JRE").c_str()), INVALID_FILE_ATTRIBUTES);

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

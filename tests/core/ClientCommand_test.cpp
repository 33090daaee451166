// The client command line for every kind of caller, program choice and memory size.
#include <gtest/gtest.h>

#include "ClientCommand.h"
#include "Properties.h"

namespace {

const char* kJars = "stash9.jar;x.jar";
const char* kTail = " -cp stash9.jar;x.jar com.stowly.gui.RamBackup ";

TClientSetup PrivateRuntime(uint32_t mb = 512) {
  TClientSetup s;
  s.installDir = "D:\\App";
  s.privateJavawExists = true;
  s.installedJavaw = "C:\\Java\\bin\\javaw.exe";
  s.registryJavaHome = "C:\\Java";
  s.classPath = kJars;
  s.memoryMb = mb;
  s.launchCount = 1;
  return s;
}

struct TCallerCase {
  const char* caller;
  TClientRequest request;
  const char* args;
};

}  // namespace

TEST(ComposeClientCommandTest, ArgumentsOfEveryCaller) {
  const TCallerCase cases[] = {
      {"tray double-click / Open", {false, false, ""}, ""},
      {"menu Backup now", {false, true, ""}, " -backupnow"},
      {"menu encrypt", {false, false, "-enc"}, " -enc"},
      {"menu decrypt", {false, false, "-dec"}, " -dec"},
      {"missed-backup warning", {false, true, ""}, " -backupnow"},
      {"will-start warning Backup Now", {true, true, ""}, " -backupnow -s"},
      {"will-start countdown end", {true, false, ""}, " -s"},
      {"shutdown without progress", {true, true, "-nogui"}, " -nogui"},
      {"shutdown with progress", {true, true, "-dialog"}, " -dialog"},
  };
  for (const auto& c : cases) {
    const TClientCommand cmd = ComposeClientCommand(PrivateRuntime(), c.request);
    EXPECT_TRUE(cmd.runtimeFound) << c.caller;
    EXPECT_EQ(cmd.program, "D:\\App\\java\\bin\\javaw.exe") << c.caller;
    EXPECT_EQ(cmd.commandLine, std::string("D:\\App\\java\\bin\\javaw.exe") + kTail + "512" + c.args)
        << c.caller;
  }
}

TEST(ComposeClientCommandTest, OwnArgumentsOnlyOnTheFirstRunWithoutMin) {
  struct {
    std::vector<std::string> ownArgs;
    int launchCount;
    const char* args;
  } cases[] = {
      {{"-x", "C:\\a b"}, 0, " -backupnow -x C:\\a b"},
      {{"-x", "-y"}, 1, " -backupnow"},
      {{"-x", "-MIN"}, 0, " -backupnow"},
      {{"-min"}, 0, " -backupnow"},
      {{}, 0, " -backupnow"},
  };
  for (const auto& c : cases) {
    TClientSetup s = PrivateRuntime();
    s.ownArgs = c.ownArgs;
    s.launchCount = c.launchCount;
    EXPECT_EQ(ComposeClientCommand(s, {false, true, ""}).commandLine,
              std::string("D:\\App\\java\\bin\\javaw.exe") + kTail + "512" + c.args);
  }
  // Shutdown runs carry the first-run arguments too, but never -s or -backupnow.
  TClientSetup s = PrivateRuntime();
  s.ownArgs = {"-q"};
  s.launchCount = 0;
  EXPECT_EQ(ComposeClientCommand(s, {true, true, "-nogui"}).commandLine,
            std::string("D:\\App\\java\\bin\\javaw.exe") + kTail + "512 -nogui -q");
}

TEST(ComposeClientCommandTest, MemoryOption) {
  struct {
    uint32_t mb;
    int configured;
    const char* option;
  } cases[] = {
      {16, 0, " -Xmx32m"}, {32, 0, " -Xmx32m"}, {33, 0, " -Xmx48m"},  {64, 0, " -Xmx48m"},
      {65, 0, ""},         {3072, 0, ""},       {32, 128, " -Xmx128m"}, {64, 128, " -Xmx128m"},
      {4096, 128, " -Xmx128m"}, {512, -5, ""},
  };
  for (const auto& c : cases) {
    TClientSetup s = PrivateRuntime(c.mb);
    s.configuredMemoryMb = c.configured;
    EXPECT_EQ(ComposeClientCommand(s, {}).commandLine,
              std::string("D:\\App\\java\\bin\\javaw.exe") + c.option + kTail +
                  std::to_string(c.mb))
        << c.mb << " MB, configured " << c.configured;
  }
}

TEST(ComposeClientCommandTest, ProgramChoice) {
  struct {
    const char* name;
    bool launcher, privateJavaw;
    const char* registryHome;
    const char* installedJavaw;
    bool found;
    const char* program;
    const char* head;  // command line up to the memory option
  } cases[] = {
      {"private runtime wins over installed", false, true, "C:\\Java", "C:\\Java\\bin\\javaw.exe",
       true, "D:\\App\\java\\bin\\javaw.exe", "D:\\App\\java\\bin\\javaw.exe"},
      {"installed runtime", false, false, "C:\\Java", "C:\\Java\\bin\\javaw.exe", true,
       "C:\\Java\\bin\\javaw.exe", "C:\\Java\\bin\\javaw.exe"},
      {"installed runtime under a path with blanks", false, false, "", "C:\\Program Files\\J\\bin\\javaw.exe",
       true, "C:\\Program Files\\J\\bin\\javaw.exe", "\"C:\\Program Files\\J\\bin\\javaw.exe\""},
      {"launcher with private runtime", true, true, "C:\\Java", "", true, "D:\\App\\zqbackup.exe",
       "D:\\App\\zqbackup.exe -z \"D:\\App\\java\" "},
      {"launcher with registry home", true, false, "C:\\Java", "", true, "D:\\App\\zqbackup.exe",
       "D:\\App\\zqbackup.exe -z \"C:\\Java\" "},
  };
  for (const auto& c : cases) {
    TClientSetup s = PrivateRuntime();
    s.launcherExists = c.launcher;
    s.privateJavawExists = c.privateJavaw;
    s.registryJavaHome = c.registryHome;
    s.installedJavaw = c.installedJavaw;
    const TClientCommand cmd = ComposeClientCommand(s, {true, false, ""});
    EXPECT_EQ(cmd.runtimeFound, c.found) << c.name;
    EXPECT_EQ(cmd.program, c.program) << c.name;
    EXPECT_EQ(cmd.commandLine, std::string(c.head) + kTail + "512 -s") << c.name;
  }
}

TEST(ComposeClientCommandTest, NoRuntime) {
  // The launcher without any Java home: nothing to run, and no command line at all.
  TClientSetup s = PrivateRuntime();
  s.launcherExists = true;
  s.privateJavawExists = false;
  s.registryJavaHome.clear();
  TClientCommand cmd = ComposeClientCommand(s, {});
  EXPECT_FALSE(cmd.runtimeFound);
  EXPECT_EQ(cmd.program, "");
  EXPECT_EQ(cmd.commandLine, "");

  // No launcher and no javaw anywhere: the rest of the command is still composed, for the
  // error message.
  s.launcherExists = false;
  s.installedJavaw.clear();
  cmd = ComposeClientCommand(s, {false, true, ""});
  EXPECT_FALSE(cmd.runtimeFound);
  EXPECT_EQ(cmd.program, "");
  EXPECT_EQ(cmd.commandLine, std::string(kTail) + "512 -backupnow");
}

TEST(ComposeClientCommandTest, RoundToMegabytesHalvesToEven) {
  constexpr uint64_t kMb = 1024 * 1024;
  struct {
    uint64_t bytes;
    uint32_t mb;
  } cases[] = {
      {0, 0},
      {kMb / 2 - 1, 0},
      {kMb / 2, 0},              // 0.5 -> 0
      {kMb / 2 + 1, 1},
      {kMb + kMb / 2, 2},        // 1.5 -> 2
      {2 * kMb + kMb / 2, 2},    // 2.5 -> 2
      {3 * kMb + kMb / 2, 4},    // 3.5 -> 4
      {64 * kMb, 64},
      {3ull * 1024 * kMb, 3072},  // between 2 and 4 GB: a positive count
      {0xFFFFFFFFull, 4096},
      {16ull * 1024 * kMb, 16384},
  };
  for (const auto& c : cases) EXPECT_EQ(RoundToMegabytes(c.bytes), c.mb) << c.bytes;
}

TEST(ComposeClientCommandTest, ClassPathLeavesOutHiddenFilesAndDirectories) {
  const std::vector<TDirEntry> entries = {
      {"stash9.jar", 0x20},       // archive
      {"hidden.jar", 0x22},       // hidden + archive
      {"ro.jar", 0x01},           // read-only
      {"dir.jar", 0x10},          // directory
      {"sys.jar", 0x04},          // system
      {"hidsys.jar", 0x06},       // hidden + system
      {"plain.jar", 0x80},        // normal
  };
  EXPECT_EQ(JoinClassPath(entries), "stash9.jar;ro.jar;sys.jar;plain.jar");
  EXPECT_EQ(JoinClassPath({}), "");
  EXPECT_EQ(JoinClassPath({{"h.jar", 0x02}}), "");
}

TEST(ComposeClientCommandTest, HighestVersionKeyIsLastOfCaseInsensitiveSort) {
  auto less = [](const std::string& a, const std::string& b) {
    return UpperAscii(a) < UpperAscii(b);
  };
  EXPECT_EQ(LastSorted({"1.3.1", "1.4.2_06", "1.4.2"}, less), "1.4.2_06");
  EXPECT_EQ(LastSorted({"b", "A", "C1"}, less), "C1");
  EXPECT_EQ(LastSorted({}, less), "");
}

#include <gtest/gtest.h>

#include "JavaSetup.h"
#include "MaintenanceFakes.h"
#include "Uninstall.h"
#include "uRunnerResource.h"

namespace {

class TFakeJavaHost : public IJavaSetupHost {
 public:
  std::string javaw;               // what FindJavaw reports
  std::string javawAfterInstall;   // what it reports once the installer has run
  std::vector<std::string> calls;
  int findCalls = 0;

  std::string FindJavaw() override {
    ++findCalls;
    return javaw;
  }
  void RunAndWait(const std::string& commandLine, const std::string& workDir) override {
    calls.push_back("run " + commandLine + " in " + workDir);
    javaw = javawAfterInstall;
  }
  void WaitUntilReleased(const std::string& path) override { calls.push_back("wait " + path); }
  int StartClient() override {
    calls.push_back("client");
    return 0;
  }
};

class TJavaSetupTest : public TSeamTest {
 protected:
  TFakeJavaHost host;
};

}  // namespace

TEST_F(TJavaSetupTest, RuntimeDecisions) {
  struct {
    const char* what;
    bool registered, privateRuntime, installer, installWorks;
    bool result, installerRun;
  } cases[] = {
      {"registered runtime wins", true, true, true, true, true, false},
      {"private runtime", false, true, true, true, true, false},
      {"installer that works", false, false, true, true, true, true},
      {"installer that fails", false, false, true, false, false, true},
      {"nothing at all", false, false, false, true, false, false},
  };
  for (const auto& c : cases) {
    fs.files.clear();
    ui.shown.clear();
    host = TFakeJavaHost();
    host.javaw = c.registered ? "C:\\jre\\bin\\javaw.exe" : "";
    host.javawAfterInstall = c.installWorks ? "C:\\New\\bin\\javaw.exe" : "";
    if (c.privateRuntime) fs.Put("C:\\Inst\\java\\bin\\javaw.exe", "MZ");
    if (c.installer) fs.Put("C:\\Inst\\JRE\\Setup.exe", "MZ");
    EXPECT_EQ(EnsureJavaRuntimeWith(host), c.result) << c.what;
    if (c.installerRun) {
      const std::vector<std::string> calls = {
          "run \"C:\\Inst\\JRE\\Setup.EXE\" in C:\\Inst", "wait C:\\Inst\\JRE\\_ISDEL.EXE"};
      EXPECT_EQ(host.calls, calls) << c.what;
      ASSERT_EQ(ui.shown.size(), 1u) << c.what;
      EXPECT_EQ(ui.shown[0].text, "The Java Runtime Environment will now be installed.");
      EXPECT_EQ(ui.shown[0].caption, "Message");
    } else {
      EXPECT_TRUE(host.calls.empty()) << c.what;
      EXPECT_TRUE(ui.shown.empty()) << c.what;  // no message of its own
    }
  }
}

TEST_F(TJavaSetupTest, ShellVerbCommandQuotesBothPaths) {
  TMemRegistry reg;
  InstallDir = "C:\\Program Files\\Korvel";
  RegisterShellVerbWith(reg);
  std::string value;
  ASSERT_EQ(reg.ReadString(TRegRoot::ClassesRoot, "*\\Shell\\Korvel En/Decrypt\\command", "",
                           value),
            TRegRead::Ok);
  EXPECT_EQ(value, "\"C:\\Program Files\\Korvel\\ZqDecryptor.exe\" \"%1\"");
}

TEST_F(TJavaSetupTest, ConnectionCheckAsksOnlyWhenUnconfigured) {
  fs.Put("C:\\Inst\\resource.properties",
         "RUNNER_configure_now=Set up %s now?\nRUNNER_will_not_be_backed_up=%s: no backups.\n");
  InitTextTable("C:\\Inst\\resource.properties", 0x0409);
  ProductName = "Korvel";
  struct {
    bool configured;
    int answer;
    std::vector<std::string> calls;
    std::vector<std::string> boxes;
  } cases[] = {
      {true, 6, {}, {}},
      {false, 6, {"client"}, {"Confirm: Set up Korvel now?"}},
      {false, 7, {}, {"Confirm: Set up Korvel now?", "Warning: Korvel: no backups."}},
  };
  for (const auto& c : cases) {
    host.calls.clear();
    ui.shown.clear();
    ui.answers = {c.answer};
    fs.Delete("C:\\Inst\\connection.properties");
    if (c.configured) fs.Put("C:\\Inst\\connection.properties", "");
    CheckConnectionSetupWith(host);
    EXPECT_EQ(host.calls, c.calls);
    std::vector<std::string> boxes;
    for (const auto& b : ui.shown) boxes.push_back(b.caption + ": " + b.text);
    EXPECT_EQ(boxes, c.boxes);
    if (c.boxes.size() == 2) {
      EXPECT_EQ(ui.shown[1].flags, 0x40030u);  // no Yes/No
    }
  }
  FreeTextTable();
}

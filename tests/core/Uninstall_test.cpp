#include <gtest/gtest.h>

#include "MaintenanceFakes.h"
#include "Uninstall.h"
#include "uRunnerResource.h"

namespace {

const char kTexts[] =
    "RUNNER_Uninstall_heading=Uninstall\n"
    "RUNNER_continue_with_uninstall=This removes %s and everything in %s.\n"
    "RUNNER_Do_you_want_to_continue=Continue?\n"
    "RUNNER_still_running=%s is still running. Please close %s and try again.\n"
    "RUNNER_successfully_uninstalled=%s was uninstalled successfully.\n"
    "Error=Error\n";

const std::string kJre = "Software\\JavaSoft\\Java Runtime Environment";
const std::string kPlugin = "Software\\JavaSoft\\Java Plug-in";

class TUninstallTest : public TSeamTest {
 protected:
  TLoggingFileSystem lfs;
  TFakeMaintenanceHost host{lfs};
  TMemRegistry reg;
  TRecordingLauncher launcher;

  void SetUp() override {
    TSeamTest::SetUp();
    seams::SetFs(&lfs);
    seams::SetLauncher(&launcher);
    lfs.Put("C:\\Inst\\resource.properties", kTexts);
    InitTextTable("C:\\Inst\\resource.properties", 0x0409);
  }
  void TearDown() override {
    FreeTextTable();
    seams::SetLauncher(nullptr);
    TSeamTest::TearDown();
  }
};

}  // namespace

TEST_F(TUninstallTest, RemovesOnlyRuntimesInsideTheInstallation) {
  struct {
    std::string version, home;
    bool removed;
  } cases[] = {
      {"1.4.2", "C:\\Inst\\java", true},
      {"1.5.0", "c:\\inst\\JAVA\\", true},            // case ignored
      {"1.6.0", "C:\\Program Files\\Java\\jre6", false},
      {"1.3.1", "C:\\Installer\\jre", false},          // a sibling that shares the prefix
      {"1.2.2", "", false},
  };
  for (const auto& c : cases) reg.Put(TRegRoot::LocalMachine, kJre + "\\" + c.version, "JavaHome", c.home);
  reg.Put(TRegRoot::LocalMachine, kJre + "\\1.4.2\\MSI", "x", "y");  // subkeys go along
  // Without its trailing backslash the directory must not match "C:\Installer".
  RemoveJavaKeys(reg, "C:\\Inst", "Java Runtime Environment");
  for (const auto& c : cases)
    EXPECT_EQ(reg.Has(TRegRoot::LocalMachine, kJre + "\\" + c.version), !c.removed) << c.version;
  EXPECT_FALSE(reg.Has(TRegRoot::LocalMachine, kJre + "\\1.4.2\\MSI"));
  EXPECT_TRUE(reg.Has(TRegRoot::LocalMachine, kJre));
}

TEST_F(TUninstallTest, WrongValueTypeEndsTheWalkInSortedOrder) {
  reg.Put(TRegRoot::LocalMachine, kPlugin + "\\1.1", "JavaHome", "C:\\Inst\\java");
  reg.Put(TRegRoot::LocalMachine, kPlugin + "\\1.2", "JavaHome", "binary", false);
  reg.Put(TRegRoot::LocalMachine, kPlugin + "\\1.3", "JavaHome", "C:\\Inst\\java");
  RemoveJavaKeys(reg, "C:\\Inst\\", "Java Plug-in");
  EXPECT_FALSE(reg.Has(TRegRoot::LocalMachine, kPlugin + "\\1.1"));
  EXPECT_TRUE(reg.Has(TRegRoot::LocalMachine, kPlugin + "\\1.3"));
}

TEST_F(TUninstallTest, UninstallEntryNameAndRemoval) {
  struct {
    bool key, value, isString;
    std::string data, expected;
  } cases[] = {
      {false, false, true, "", "Stash9"},
      {true, true, true, "Korvel Backup", "Korvel Backup"},
      {true, false, true, "", ""},
      {true, true, false, "\x01\x02", "Stash9"},
  };
  for (const auto& c : cases) {
    reg.keys.clear();
    if (c.key) reg.Put(TRegRoot::LocalMachine, kUninstallEntryKey, "Other", "x");
    if (c.value) reg.Put(TRegRoot::LocalMachine, kUninstallEntryKey, "DisplayName", c.data, c.isString);
    EXPECT_EQ(TakeUninstallEntry(reg), c.expected);
    EXPECT_FALSE(reg.Has(TRegRoot::LocalMachine, kUninstallEntryKey));
  }
}

TEST_F(TUninstallTest, RunRemovesEverythingInOrderAndTells) {
  lfs.Put("C:\\Inst\\ZqRunner.exe", "MZ");
  reg.Put(TRegRoot::LocalMachine, kUninstallEntryKey, "DisplayName", "Korvel");
  reg.Put(TRegRoot::CurrentUser, kShellFoldersKey, "Programs", "C:\\Menu\\Programs");
  reg.Put(TRegRoot::CurrentUser, kShellFoldersKey, "Startup", "C:\\Menu\\Startup");
  reg.Put(TRegRoot::CurrentUser, kShellFoldersKey, "Desktop", "C:\\Desk");
  reg.Put(TRegRoot::ClassesRoot, std::string(kShellVerbKey) + "\\command", "", "x");
  reg.Put(TRegRoot::LocalMachine, kJre + "\\1.4.2", "JavaHome", "C:\\Inst\\java");
  for (const char* f : {"C:\\Menu\\Programs\\Korvel\\Korvel.lnk", "C:\\Menu\\Programs\\Korvel\\Help.lnk",
                        "C:\\Menu\\Programs\\Korvel\\Uninstall.lnk",
                        "C:\\Menu\\Programs\\Korvel\\Uninstall Client.lnk",
                        "C:\\Menu\\Startup\\Korvel.lnk", "C:\\Desk\\Korvel.lnk",
                        "C:\\Desk\\Other.lnk"})
    lfs.Put(f, "lnk");
  ProductName = "Stash Nine";
  RunUninstall("C:\\Inst\\", host, reg);

  EXPECT_FALSE(reg.Has(TRegRoot::LocalMachine, kJre + "\\1.4.2"));
  EXPECT_FALSE(reg.Has(TRegRoot::LocalMachine, kUninstallEntryKey));
  EXPECT_FALSE(reg.Has(TRegRoot::ClassesRoot, kShellVerbKey));
  const std::vector<std::string> deleted = {
      "C:\\Menu\\Programs\\Korvel\\Korvel.lnk", "C:\\Menu\\Programs\\Korvel\\Help.lnk",
      "C:\\Menu\\Programs\\Korvel\\Uninstall.lnk",
      "C:\\Menu\\Programs\\Korvel\\Uninstall Client.lnk", "C:\\Menu\\Startup\\Korvel.lnk",
      "C:\\Desk\\Korvel.lnk"};
  EXPECT_EQ(lfs.deleted, deleted);
  EXPECT_TRUE(lfs.Has("C:\\Desk\\Other.lnk"));
  const std::vector<std::string> log = {"rmtree C:\\Inst\\", "rmdir C:\\Menu\\Programs\\Korvel"};
  EXPECT_EQ(host.log, log);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, "Stash Nine was uninstalled successfully.");
  EXPECT_EQ(ui.shown[0].caption, "Uninstall");
  EXPECT_EQ(ui.shown[0].flags, 0x40u);
}

TEST_F(TUninstallTest, UnsafeOrMissingNamesAndFoldersRemoveNothingElsewhere) {
  struct {
    std::string name;
    bool programsSet;
    size_t deletes;
  } cases[] = {
      {"Stash9", false, 2},  // startup and desktop only; never "\Stash9\..." on the drive root
      {"", true, 0},
      {"..", true, 0},
      {"..\\..\\Windows", true, 0},
      {"a:b", true, 0},
      {"...", true, 0},     // Windows drops trailing dots: this would be the folder itself
      {"Stash9 ", true, 0},
      {"CON", true, 0},
  };
  for (const auto& c : cases) {
    lfs.deleted.clear();
    host.log.clear();
    RemoveShortcuts(c.name, c.programsSet ? "C:\\P" : "", "C:\\S", "C:\\K", host);
    EXPECT_EQ(lfs.deleted.size(), 0u) << c.name;  // nothing present: nothing deleted
    lfs.Put("C:\\S\\" + c.name + ".lnk", "x");
    lfs.Put("C:\\K\\" + c.name + ".lnk", "x");
    RemoveShortcuts(c.name, c.programsSet ? "C:\\P" : "", "C:\\S", "C:\\K", host);
    EXPECT_EQ(lfs.deleted.size(), c.deletes) << c.name;
    EXPECT_TRUE(host.log.empty()) << c.name;  // no group folder removed
  }
}

TEST_F(TUninstallTest, NoTreeRemovalOutsideAnInstallation) {
  RunUninstall("C:\\Users\\me\\", host, reg);  // holds no ZqRunner.exe
  for (const auto& l : host.log) EXPECT_EQ(l.find("rmtree"), std::string::npos) << l;
  EXPECT_EQ(ui.shown.size(), 1u);  // the final message still comes
}

TEST_F(TUninstallTest, ConfirmAsksThenCopiesAndStartsTheCopy) {
  lfs.Put("C:\\Inst\\ZqRunner.exe", "MZ old");
  ProductName = "Korvel";
  ui.answers = {6};
  EXPECT_TRUE(ConfirmUninstall(host));
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, "This removes Korvel and everything in C:\\Inst.\rContinue?");
  EXPECT_EQ(ui.shown[0].caption, "Uninstall");
  EXPECT_EQ(ui.shown[0].flags, 0x40124u);  // MB_DEFBUTTON2: No answers Enter
  EXPECT_EQ(lfs.Get("C:\\Temp\\resource.properties"), kTexts);
  EXPECT_EQ(lfs.Get("C:\\Temp\\UnSW.exe"), "MZ old");
  ASSERT_EQ(launcher.starts.size(), 1u);
  EXPECT_EQ(launcher.starts[0].commandLine,
            "\"C:\\Temp\\UnSW.exe\" -uninstall \"C:\\Inst\\\"");
  EXPECT_EQ(launcher.starts[0].workDir, "C:\\Temp\\");
  EXPECT_FALSE(launcher.starts[0].wait);
  EXPECT_EQ(host.schedulerLooks, 1);  // no scheduler: no wait
  EXPECT_EQ(host.sleeps, 0);
}

TEST_F(TUninstallTest, ConfirmStopsOnNoAndOnAStubbornScheduler) {
  ui.answers = {7};
  EXPECT_FALSE(ConfirmUninstall(host));
  EXPECT_EQ(host.schedulerLooks, 0);
  EXPECT_TRUE(launcher.starts.empty());

  ui.shown.clear();
  ui.answers = {6};
  host.schedulerRunning = true;
  host.schedulerEndsOnDestroy = false;
  ProductName = "Korvel";
  EXPECT_FALSE(ConfirmUninstall(host));
  ASSERT_EQ(ui.shown.size(), 2u);
  EXPECT_EQ(ui.shown[1].text, "Korvel is still running. Please close Korvel and try again.");
  EXPECT_EQ(ui.shown[1].caption, "Error");
  EXPECT_EQ(ui.shown[1].flags, 0x10u);
  EXPECT_TRUE(launcher.starts.empty());
  EXPECT_FALSE(lfs.Has("C:\\Temp\\UnSW.exe"));
}

TEST_F(TUninstallTest, SchedulerThatEndsWithinTheWaitCountsAsStopped) {
  host.schedulerRunning = true;
  EXPECT_TRUE(EnsureSchedulerStopped(host));
  const std::vector<std::string> log = {"destroy scheduler", "sleep 100"};
  EXPECT_EQ(host.log, log);
  EXPECT_TRUE(ui.shown.empty());
}

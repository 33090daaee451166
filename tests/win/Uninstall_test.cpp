// Uninstall against the real file system and a registry test key below
// HKCU\Software\ZqTest (TWinRegistry maps HKCR, HKCU and HKLM there).
#include <gtest/gtest.h>

#include <cstdlib>

#include "ActivityLog.h"
#include "Diagnostics.h"
#include "MaintenanceHost_win.h"
#include "Uninstall.h"
#include "WinPlatform.h"
#include "WinRegistry.h"
#include "WinTestUtil.h"
#include "core/Fakes.h"
#include "uRunnerResource.h"

namespace {

using wt::Exists;

class TWinUninstallTest : public ::testing::Test {
 protected:
  std::string base = "Software\\ZqTest\\Uninstall" + std::to_string(::GetCurrentProcessId());
  TWinRegistry reg{base};
  TScriptedUi ui;
  TWinMaintenanceHost host;

  void SetUp() override {
    InstallWinSeams();
    seams::SetUi(&ui);
    ProductName = "Stash9";
  }
  void TearDown() override {
    wt::DeleteRegistryTree(HKEY_CURRENT_USER, base.c_str());
    seams::SetUi(nullptr);
  }
  bool KeyExists(const std::string& path) {
    HKEY k = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, (base + "\\" + path).c_str(), 0, KEY_READ, &k) !=
        ERROR_SUCCESS)
      return false;
    ::RegCloseKey(k);
    return true;
  }
};

}  // namespace

TEST_F(TWinUninstallTest, RegistryRoundTripBelowTheTestKey) {
  ASSERT_TRUE(reg.WriteString(TRegRoot::ClassesRoot, "*\\Shell\\Korvel En/Decrypt\\command", "",
                              "\"C:\\I\\ZqDecryptor.exe\" \"%1\""));
  std::string value;
  EXPECT_EQ(reg.ReadString(TRegRoot::ClassesRoot, "*\\Shell\\Korvel En/Decrypt\\command", "", value),
            TRegRead::Ok);
  EXPECT_EQ(value, "\"C:\\I\\ZqDecryptor.exe\" \"%1\"");
  EXPECT_TRUE(KeyExists("HKCR\\*\\Shell\\Korvel En/Decrypt\\command"));  // "/" is no separator
  EXPECT_EQ(reg.ReadString(TRegRoot::ClassesRoot, "*\\Shell\\Korvel En/Decrypt\\command", "x", value),
            TRegRead::NoValue);
  EXPECT_EQ(reg.ReadString(TRegRoot::ClassesRoot, "*\\Shell\\None", "", value), TRegRead::NoKey);
  RemoveShellVerb(reg);
  EXPECT_FALSE(KeyExists("HKCR\\*\\Shell\\Korvel En/Decrypt"));
  EXPECT_TRUE(KeyExists("HKCR\\*\\Shell"));
  EXPECT_FALSE(reg.DeleteTree(TRegRoot::ClassesRoot, "*\\Shell\\Korvel En/Decrypt"));

  // A DisplayName that is no string keeps the default name; the entry goes anyway.
  const std::string entry = base + "\\HKLM\\" + kUninstallEntryKey;
  HKEY k = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, entry.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &k, nullptr),
            ERROR_SUCCESS);
  const DWORD number = 7;
  ::RegSetValueExA(k, "DisplayName", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
  ::RegCloseKey(k);
  EXPECT_EQ(TakeUninstallEntry(reg), "Stash9");
  EXPECT_FALSE(KeyExists(std::string("HKLM\\") + kUninstallEntryKey));
}

TEST_F(TWinUninstallTest, RuntimeKeysInsideTheInstallationGo) {
  wt::TTempDir root("uninst");
  const std::string jre = "Software\\JavaSoft\\Java Runtime Environment\\";
  reg.WriteString(TRegRoot::LocalMachine, jre + "1.4.2", "JavaHome", root.File("Inst\\java"));
  reg.WriteString(TRegRoot::LocalMachine, jre + "1.4.2\\MSI", "FullVersion", "1.4.2_19");
  reg.WriteString(TRegRoot::LocalMachine, jre + "1.6.0", "JavaHome", root.File("Other\\java"));
  reg.WriteString(TRegRoot::LocalMachine, jre + "1.5.0", "JavaHome", root.File("Install\\jre"));
  RemoveJavaKeys(reg, root.File("Inst"), "Java Runtime Environment");
  EXPECT_FALSE(KeyExists("HKLM\\" + jre + "1.4.2"));
  EXPECT_TRUE(KeyExists("HKLM\\" + jre + "1.6.0"));
  EXPECT_TRUE(KeyExists("HKLM\\" + jre + "1.5.0"));
}

TEST_F(TWinUninstallTest, RunRemovesTreeEntriesAndShortcutsButNotWhatLinksPointTo) {
  wt::TTempDir root("uninst");
  const std::string d = root.File("Inst");
  for (const char* sub : {"Inst", "Inst\\lib", "Inst\\keep", "Inst\\keep\\deep", "precious",
                          "Programs", "Programs\\Korvel", "Startup", "Desktop"})
    ::CreateDirectoryA(root.File(sub).c_str(), nullptr);
  root.Write("Inst\\ZqRunner.exe", "MZ");
  root.Write("Inst\\lib\\a.jar", "jar");
  root.Write("Inst\\keep\\deep\\ro.txt", "read-only");
  ::SetFileAttributesA(root.File("Inst\\keep\\deep\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  root.Write("precious\\data.txt", "user data");
  // Wine creates directory symbolic links with CreateSymbolicLinkA (as a reparse point);
  // Windows would need the privilege or developer mode, and the test then skips the link.
  const bool linked = wt::CreateDirectoryLink(root.File("Inst\\link"), root.File("precious"));
  for (const char* lnk : {"Programs\\Korvel\\Korvel.lnk", "Programs\\Korvel\\Help.lnk",
                          "Programs\\Korvel\\Uninstall.lnk", "Programs\\Korvel\\Uninstall Client.lnk",
                          "Startup\\Korvel.lnk", "Desktop\\Korvel.lnk", "Desktop\\Stash9.lnk"})
    root.Write(lnk, "lnk");
  reg.WriteString(TRegRoot::LocalMachine, kUninstallEntryKey, "DisplayName", "Korvel");
  reg.WriteString(TRegRoot::CurrentUser, kShellFoldersKey, "Programs", root.File("Programs"));
  reg.WriteString(TRegRoot::CurrentUser, kShellFoldersKey, "Startup", root.File("Startup"));
  reg.WriteString(TRegRoot::CurrentUser, kShellFoldersKey, "Desktop", root.File("Desktop"));
  reg.WriteString(TRegRoot::ClassesRoot, std::string(kShellVerbKey) + "\\command", "", "x");

  // The uninstaller copy logs to the folder it removes; the log and the dumps go with it.
  StartActivityLog(d + "\\", "uninstaller start-up");
  ASSERT_TRUE(Exists(root.File("Inst\\ZqRunner.log")));
  root.Write("Inst\\ZqRunner.log.1", "older lines");
  root.Write("Inst\\ZqRunner.dmp", "MDMP");

  RunUninstall(d + "\\", host, reg);

  for (const char* name : {"Inst\\ZqRunner.log", "Inst\\ZqRunner.log.1", "Inst\\ZqRunner.dmp"})
    EXPECT_FALSE(Exists(root.File(name))) << name;
  EXPECT_EQ(ActivityLogPath(), "") << "closed before the folder went";
  EXPECT_TRUE(Exists(root.File("Inst\\keep\\deep\\ro.txt")));  // with the folders above it
  EXPECT_FALSE(Exists(root.File("Inst\\lib")));
  EXPECT_FALSE(Exists(root.File("Inst\\ZqRunner.exe")));
  if (linked) {
    EXPECT_FALSE(Exists(root.File("Inst\\link")));
  }
  EXPECT_TRUE(Exists(root.File("precious\\data.txt")));
  EXPECT_FALSE(Exists(root.File("Programs\\Korvel")));
  EXPECT_FALSE(Exists(root.File("Startup\\Korvel.lnk")));
  EXPECT_FALSE(Exists(root.File("Desktop\\Korvel.lnk")));
  EXPECT_TRUE(Exists(root.File("Desktop\\Stash9.lnk")));  // found by the entry's name only
  EXPECT_FALSE(KeyExists(std::string("HKLM\\") + kUninstallEntryKey));
  EXPECT_FALSE(KeyExists(std::string("HKCR\\") + kShellVerbKey));
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, "Uninstall");
  ::SetFileAttributesA(root.File("Inst\\keep\\deep\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!linked) GTEST_SKIP() << "no directory symbolic link could be created here";
}

// The installed program asks first; No leaves everything as it was.
TEST(UninstallHandoffTest, NoToTheQuestionStartsNothing) {
  wt::TTempDir inst("handoff");
  const std::string exe = inst.File("ZqRunner.exe");
  ASSERT_TRUE(::CopyFileA(wt::WindowsPath(ZQ_RUNNER_EXE).c_str(), exe.c_str(), FALSE));
  const std::string source = std::getenv("ZQ_SOURCE_DIR") ? std::getenv("ZQ_SOURCE_DIR") : "";
  ASSERT_TRUE(::CopyFileA(wt::WindowsPath(source + "/sample/install/resource.properties").c_str(),
                          inst.File("resource.properties").c_str(), FALSE));
  const std::string copy = ::TempDir() + "UnSW.exe";
  ::SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileA(copy.c_str());

  wt::TProcess p = wt::Start(exe, "-uninstall", inst.Path());
  HWND box = nullptr;
  ASSERT_TRUE(wt::WaitUntil([&] { return (box = wt::FindProcessWindow(p.pid, "Uninstall")) != nullptr; }, 15000));
  EXPECT_EQ(wt::MessageBoxText(box), "This removes Stash9 and everything in " + inst.Path() +
                                         ".\rDo you want to continue?");
  ::PostMessageA(box, WM_COMMAND, IDNO, 0);
  EXPECT_EQ(p.Wait(15000), 0);
  EXPECT_FALSE(Exists(copy));
  EXPECT_TRUE(Exists(exe));
}

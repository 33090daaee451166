// The backup-on-shutdown switches. How the session ends is tested with the shut-down
// dialog under Wine (tests/win/Launcher_test.cpp).
#include "BackupOnShutdown.h"

#include "Fakes.h"

class BackupOnShutdownTest : public TSeamTest {};

TEST_F(BackupOnShutdownTest, SwitchesFromDefaultsProperties) {
  struct {
    const char* name;
    const char* file;  // nullptr: no file
    bool backup, prompt, progress;
  } cases[] = {
      {"no file", nullptr, false, true, true},
      {"empty file", "", false, true, true},
      {"on", "BACKUPONSHUTDOWN=true\r\n", true, true, true},
      {"case ignored", "BACKUPONSHUTDOWN=TrUe\r\nBACKUPONSHUTDOWNPROMPT=FALSE\r\n", true, false, true},
      {"prompt and progress off",
       "BACKUPONSHUTDOWN=true\r\nBACKUPONSHUTDOWNPROMPT=false\r\nBACKUPONSHUTDOWNPROGRESS=false\r\n",
       true, false, false},
      {"only exact words count", "BACKUPONSHUTDOWN=ON\r\nBACKUPONSHUTDOWNPROMPT=no\r\n"
       "BACKUPONSHUTDOWNPROGRESS=false \r\n", false, true, true},
      {"first line wins", "BACKUPONSHUTDOWN=true\r\nBACKUPONSHUTDOWN=false\r\n", true, true, true},
      {"key case ignored", "backupOnShutdown=true\r\n", true, true, true},
  };
  for (const auto& c : cases) {
    fs.files.clear();
    if (c.file) fs.Put("C:\\Inst\\defaults.properties", c.file);
    BackupOnShutdown = !c.backup;  // stale values must not survive
    ShutdownPrompt = !c.prompt;
    ShutdownProgress = !c.progress;
    LoadShutdownSettings();
    EXPECT_EQ(BackupOnShutdown, c.backup) << c.name;
    EXPECT_EQ(ShutdownPrompt, c.prompt) << c.name;
    EXPECT_EQ(ShutdownProgress, c.progress) << c.name;
  }
}

TEST_F(BackupOnShutdownTest, UnreadableFileKeepsTheDefaults) {
  fs.Put("C:\\Inst\\defaults.properties", "BACKUPONSHUTDOWN=true\r\n");
  fs.locked.push_back("C:\\Inst\\defaults.properties");
  BackupOnShutdown = true;
  LoadShutdownSettings();
  EXPECT_FALSE(BackupOnShutdown);
  EXPECT_TRUE(ShutdownPrompt);
  EXPECT_TRUE(ShutdownProgress);
}

#include "Properties.h"

#include "Fakes.h"
#include "RunnerError.h"
#include "Settings.h"

namespace {

std::vector<std::string> LinesOf(const std::string& text) {
  TPropertyList l;
  l.SetText(text);
  return l.Lines();
}

}  // namespace

TEST(TPropertyListTest, SplitsAtEveryKindOfLineEnd) {
  using V = std::vector<std::string>;
  EXPECT_EQ(LinesOf(""), V{});
  EXPECT_EQ(LinesOf("a=1"), V{"a=1"});
  EXPECT_EQ(LinesOf("a=1\r\n"), V{"a=1"});
  EXPECT_EQ(LinesOf("a\rb\nc\r\nd"), (V{"a", "b", "c", "d"}));
  EXPECT_EQ(LinesOf("a\n\nb\n"), (V{"a", "", "b"}));
  EXPECT_EQ(LinesOf("a\n\r\nb"), (V{"a", "", "b"}));
  EXPECT_EQ(LinesOf(std::string("a=1\nb=2\0c=3\n", 12)), (V{"a=1", "b=2"}));
}

TEST(TPropertyListTest, TextEndsEveryLineWithCrLf) {
  TPropertyList l;
  l.SetText("x=1\ny=2");
  EXPECT_EQ(l.Text(), "x=1\r\ny=2\r\n");
}

TEST(TPropertyListTest, LookupIsUntrimmedAndTakesFirstLine) {
  TPropertyList l;
  l.SetText("#c=hash\nkey =blank\nKey=first\nkey=second\nnoequals\nempty=\nv= spaced \\\n");
  EXPECT_EQ(FindKey(l, "#c"), 0);  // comments are ordinary lines
  EXPECT_EQ(ValueOf(l, "key"), "first");
  EXPECT_EQ(ValueOf(l, "key "), "blank");
  EXPECT_EQ(FindKey(l, "noequals"), -1);
  EXPECT_EQ(FindKey(l, "empty"), 5);
  EXPECT_EQ(ValueOf(l, "empty"), "");
  EXPECT_EQ(ValueOf(l, "absent"), "");
  EXPECT_EQ(ValueOf(l, "v"), " spaced \\");
  EXPECT_EQ(ValueOf(l, "a=b"), "");

  TPropertyList sensitive(true);
  sensitive.SetText("Sun=Sunday");
  EXPECT_EQ(FindKey(sensitive, "sun"), -1);
  EXPECT_EQ(ValueOf(sensitive, "Sun"), "Sunday");
}

TEST(TPropertyListTest, ValueKeepsEverythingAfterTheFirstEquals) {
  TPropertyList l;
  l.SetText("HASH=abc==\nurl=a=b=c");
  EXPECT_EQ(ValueOf(l, "HASH"), "abc==");
  EXPECT_EQ(ValueOf(l, "url"), "a=b=c");
}

TEST(IsTrueValueTest, OnlyOnAndTrueInAnyCase) {
  for (const char* yes : {"ON", "on", "oN", "TRUE", "true", "True"}) EXPECT_TRUE(IsTrueValue(yes)) << yes;
  for (const char* no : {"", "yes", "1", " ON", "ON ", "TRUE\t", "off", "tru"})
    EXPECT_FALSE(IsTrueValue(no)) << no;
}

TEST(ParseIntegerTest, AcceptsDecimalHexBlanksAndOneSign) {
  struct Case {
    const char* text;
    int value;
  } good[] = {{"0", 0},        {"42", 42},         {"  7", 7},          {"-5", -5},
              {"+5", 5},       {"$1F", 31},        {"0x1f", 31},        {"0X10", 16},
              {"-$10", -16},   {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
              {"$FFFFFFFF", -1}, {"007", 7}};
  for (const auto& c : good) {
    int v = 12345;
    EXPECT_TRUE(TryParseInteger(c.text, v)) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
  }
  for (const char* bad : {"", " ", "7 ", "1a", "--1", "+-1", "$", "0x", "2147483648",
                          "-2147483649", "$100000000", "1.5", "\t7", "x"}) {
    int v = 0;
    EXPECT_FALSE(TryParseInteger(bad, v)) << bad;
  }
  EXPECT_THROW(ParseInteger("abc"), TRunnerError);
}

class SettingsTest : public TSeamTest {};

TEST_F(SettingsTest, WarningSettingsFollowTheirKeys) {
  struct Case {
    const char* file;
    bool warn;
    int days;
    int memory;
  } cases[] = {
      {"scheduler.displaywarning=ON\r\nscheduler.dayswarning=7\r\napplication.memory=512", true, 7, 512},
      {"scheduler.displaywarning=off\r\nscheduler.dayswarning=2", false, 2, 0},
      {"scheduler.displaywarning=\r\nscheduler.dayswarning=2", false, 2, 0},
      {"scheduler.dayswarning=3", true, 3, 0},
      {"scheduler.displaywarning=ON", true, 4, 0},
      {"scheduler.displaywarning=OFF\r\nscheduler.dayswarning=many", true, 4, 0},
      {"scheduler.displaywarning=OFF\r\nscheduler.dayswarning=5\r\napplication.memory=lots", false, 5, 0},
      {"scheduler.dayswarning=0\r\napplication.memory=$100", true, 0, 256},
  };
  for (const auto& c : cases) {
    fs.Put("C:\\Inst\\zqbackup.properties", c.file);
    WarnMissedBackups = !c.warn;
    WarnAfterDays = -99;
    ClientMemoryMB = -99;
    LoadWarningSettings();
    EXPECT_EQ(WarnMissedBackups, c.warn) << c.file;
    EXPECT_EQ(WarnAfterDays, c.days) << c.file;
    EXPECT_EQ(ClientMemoryMB, c.memory) << c.file;
  }
}

TEST_F(SettingsTest, MissingWarningFileGivesDefaults) {
  WarnMissedBackups = false;
  WarnAfterDays = 9;
  ClientMemoryMB = 9;
  LoadWarningSettings();
  EXPECT_TRUE(WarnMissedBackups);
  EXPECT_EQ(WarnAfterDays, 4);
  EXPECT_EQ(ClientMemoryMB, 0);
}

TEST_F(SettingsTest, SaveWarningSettingReplacesFirstLineAndAppends) {
  fs.Put("C:\\Inst\\zqbackup.properties",
         "a=1\nscheduler.displaywarning=ON\nb=2\nSCHEDULER.DISPLAYWARNING=old");
  SaveWarningSetting(false);
  EXPECT_EQ(fs.Get("C:\\Inst\\zqbackup.properties"),
            "a=1\r\nb=2\r\nSCHEDULER.DISPLAYWARNING=old\r\nscheduler.displaywarning=OFF\r\n");
  EXPECT_TRUE(ui.shown.empty());
  // The kept old line is the one lookups find first.
  TPropertyList l = ReadPropertyFile("C:\\Inst\\zqbackup.properties");
  EXPECT_EQ(ValueOf(l, "scheduler.displaywarning"), "old");

  SaveWarningSetting(true);
  EXPECT_EQ(fs.Get("C:\\Inst\\zqbackup.properties"),
            "a=1\r\nb=2\r\nscheduler.displaywarning=OFF\r\nscheduler.displaywarning=ON\r\n");
}

TEST_F(SettingsTest, SaveKeepsWhatTheClientWroteMeanwhile) {
  // Each try, the client writes between the save's reading and its writing (it has the
  // same size: the time tells). One such write: read and changed again; eight: the message.
  const char* path = "C:\\Inst\\zqbackup.properties";
  int writes = 0, limit = 1;
  fs.Put(path, "application.memory=1\r\n");
  fs.beforeWrite = [&] {
    if (writes < limit) ++writes, fs.Put(path, "application.memory=" + std::to_string(writes + 1), writes + 1.0);
  };
  SaveWarningSetting(false);
  EXPECT_EQ(fs.Get(path), "application.memory=2\r\nscheduler.displaywarning=OFF\r\n");
  writes = 0, limit = 99;
  SaveWarningSetting(true);
  EXPECT_EQ(writes, 8);
  EXPECT_EQ(fs.Get(path), "application.memory=9");
  EXPECT_EQ(ui.shown.size(), 1u);
}

TEST_F(SettingsTest, SaveWarningSettingReportsFailureAndLeavesFile) {
  SaveWarningSetting(true);  // no file at all
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, "Could not save settings!");
  EXPECT_EQ(ui.shown[0].caption, "Message");
  EXPECT_FALSE(fs.Has("C:\\Inst\\zqbackup.properties"));

  fs.Put("C:\\Inst\\zqbackup.properties", "x=1");
  fs.locked.push_back("C:\\Inst\\zqbackup.properties");
  SaveWarningSetting(true);
  EXPECT_EQ(ui.shown.size(), 2u);
  EXPECT_EQ(fs.Get("C:\\Inst\\zqbackup.properties"), "x=1");
}

TEST_F(SettingsTest, ServerAndProductLaterFilesWinAndPortIsDropped) {
  fs.Put("C:\\Inst\\resource.properties", "SERVER_IP=res.example:443\nS_9_NAME=Acme Backup");
  fs.Put("C:\\Inst\\defaults.properties", "SERVER_IP=def.example:80\nSSL_SERVER=ssl.example:8443");
  LoadServerAndProduct("");
  EXPECT_EQ(ServerAddress, "ssl.example");
  EXPECT_EQ(ProductName, "Acme Backup");
}

TEST_F(SettingsTest, ServerAndProductIgnoreKeysWithoutEquals) {
  fs.Put("C:\\Inst\\resource.properties", "SERVER_IP=res.example");
  fs.Put("C:\\Inst\\defaults.properties", "SSL_SERVER\nHASH=x");
  LoadServerAndProduct("");
  EXPECT_EQ(ServerAddress, "res.example");
  EXPECT_EQ(ProductName, "Stash9");
}

TEST_F(SettingsTest, ServerAndProductKeepWhatWasReadBeforeAFailure) {
  fs.Put("D:\\Other\\resource.properties", "SERVER_IP=other:1\nS_9_NAME=Other");
  EXPECT_THROW(LoadServerAndProduct("D:\\Other\\"), TRunnerError);  // no defaults file
  EXPECT_EQ(ServerAddress, "other:1");  // the port is cut only after both files
  EXPECT_EQ(ProductName, "Other");

  ServerAddress = "kept";
  EXPECT_THROW(LoadServerAndProduct(""), TRunnerError);
  EXPECT_EQ(ServerAddress, "kept");
}

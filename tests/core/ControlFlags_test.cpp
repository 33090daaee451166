// MD5, Base64, the settings digest and the three control values of "system2.properties".
// Expected digests were computed with `printf ... | openssl md5 -binary | base64`.
#include "Base64.h"
#include "ControlFlags.h"
#include "Fakes.h"
#include "Md5.h"

namespace {

std::string Hex(const TMd5Digest& d) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (uint8_t b : d) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

TEST(Md5Test, Rfc1321SuiteAndBlockBoundaries) {
  const std::pair<std::string, const char*> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
       "0",
       "57edf4a22be3c955ac49da2e2107b67a"},
      // Lengths around the padding and block boundaries (openssl md5).
      {std::string(55, 'x'), "04364420e25c512fd958a70738aa8f72"},
      {std::string(56, 'x'), "668a72d5ba17f08e62dabcafad6db14b"},
      {std::string(63, 'x'), "7dc2ca208106a2f703567bdff99d8981"},
      {std::string(64, 'x'), "c1bb4f81d892b2d57947682aeb252456"},
      {std::string(65, 'x'), "1bc932052302d074bdec39795fe00cf6"},
      {std::string(119, 'x'), "ab347a5f68c8a443cfcddc633f12c24f"},
      {std::string(120, 'x'), "fb98667f98096de92620b64f46e1c5b5"},
      {std::string(1000, 'x'), "398533d48111e9f664b1f64cb10c4b63"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(Md5(c.first)), c.second) << c.first.size() << " bytes";
    // Fed in uneven pieces, the digest is the same.
    TMd5 md5;
    for (size_t i = 0; i < c.first.size(); i += 7)
      md5.Update(c.first.data() + i, std::min<size_t>(7, c.first.size() - i));
    EXPECT_EQ(Hex(md5.Final()), c.second) << c.first.size() << " bytes in pieces";
  }
}

TEST(Base64Test, Rfc4648Vectors) {
  const std::pair<std::string, const char*> cases[] = {
      {"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},
      {"foo", "Zm9v"},   {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"}, {"\xfb\xff\xbf", "+/+/"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Base64Encode(reinterpret_cast<const uint8_t*>(c.first.data()), c.first.size()),
              c.second);
}

const char* const kDefaults = "C:\\Inst\\defaults.properties";
const char* const kControl = "C:\\Inst\\system2.properties";

int gMenuBuilds = 0;
void CountMenuBuild() { ++gMenuBuilds; }

class ControlFlagsTest : public TSeamTest {
 protected:
  void SetUp() override {
    TSeamTest::SetUp();
    ControlFlagsFileTime = 0;
    CancelAllowed = false;
    QuitAllowed = false;
    SnoozeLimit = 0;
    gMenuBuilds = 0;
  }
  void PutDefaults(const std::string& hashLine) {
    fs.Put(kDefaults, "SSL_SERVER=x:1\r\n" + hashLine + "\r\nBACKUPONSHUTDOWN=false\r\n");
  }
  void Expect(bool cancel, bool quit, int snooze, const std::string& what) {
    EXPECT_EQ(CancelAllowed.load(), cancel) << what;
    EXPECT_EQ(QuitAllowed.load(), quit) << what;
    EXPECT_EQ(SnoozeLimit.load(), snooze) << what;
  }
};

TEST_F(ControlFlagsTest, DigestOfTheControlFile) {
  // Digest of "killrunner=ON\r\ncancelbackup=OFF\r\nsnooze=3\r\n".
  const std::string digest = "1aKcPG02A3xOBE1wwXHL5g==";
  const std::string crlf = "killrunner=ON\r\ncancelbackup=OFF\r\nsnooze=3\r\n";
  struct {
    const char* name;
    std::string control;
    std::string hashLine;
    bool match;
  } cases[] = {
      {"CR LF", crlf, "HASH=" + digest, true},
      {"LF only", "killrunner=ON\ncancelbackup=OFF\nsnooze=3\n", "HASH=" + digest, true},
      {"CR only", "killrunner=ON\rcancelbackup=OFF\rsnooze=3\r", "HASH=" + digest, true},
      {"no final line end", "killrunner=ON\r\ncancelbackup=OFF\r\nsnooze=3", "HASH=" + digest,
       true},
      {"text after a zero byte", crlf + std::string(1, '\0') + "junk", "HASH=" + digest, true},
      {"lower case", crlf, "HASH=1akcpg02a3xobe1wwxhl5g==", true},
      {"key in any case", crlf, "hash=" + digest, true},
      {"backslash before each =", crlf, "HASH=1aKcPG02A3xOBE1wwXHL5g\\=\\=", true},
      {"backslash before every character", crlf,
       "HASH=\\1\\a\\K\\c\\P\\G\\0\\2\\A\\3\\x\\O\\B\\E\\1\\w\\w\\X\\H\\L\\5\\g\\=\\=", true},
      {"edited by hand", "killrunner=OFF\r\ncancelbackup=OFF\r\nsnooze=3\r\n", "HASH=" + digest,
       false},
      {"blank line added", crlf + "\r\n", "HASH=" + digest, false},
      {"trailing blank in HASH", crlf, "HASH=" + digest + " ", false},
      {"empty HASH", crlf, "HASH=", false},
      {"only backslashes", crlf, "HASH=\\\\", false},
      {"no HASH", crlf, "NOHASH=" + digest, false},
      {"ANSI bytes, one per character", "\xe4\xfc=\x80\n", "HASH=29fi/ylYGSL2gHURkhO1ig==",
       true},
  };
  for (const auto& c : cases) {
    fs.Put(kControl, c.control);
    PutDefaults(c.hashLine);
    EXPECT_EQ(VerifySettingsHash(), c.match) << c.name;
  }
  fs.Delete(kDefaults);
  EXPECT_FALSE(VerifySettingsHash()) << "no defaults.properties";
}

TEST_F(ControlFlagsTest, ValuesFromAMatchingFile) {
  struct {
    const char* control;
    const char* hash;
    bool cancel, quit;
    int snooze;
  } cases[] = {
      {"killrunner=ON\r\ncancelbackup=OFF\r\nsnooze=3\r\n", "1aKcPG02A3xOBE1wwXHL5g==", true,
       false, 3},
      {"cancelbackup=ON\r\n", "Dgl+CO3KKV0KiyTFrBESzA==", false, true, 100},
      {"snooze=0\r\n", "LxAqAxnSEaTVeb90pMzFGQ==", true, true, 0},
      {"snooze=x\r\n", "HkvT3GF49o++5FAoxHgQ9Q==", true, true, 100},
      // snooze is a decimal integer: anything else (hex, blanks, too large, empty) is not
      // a whole number and allows the free 100.
      {"snooze=12\r\n", "qNN3/yw6Xq2tpqC7ooFLBw==", true, true, 12},
      {"snooze=-3\r\n", "OzgpLjvwTaHOHrt33OjEkA==", true, true, -3},
      {"snooze=+7\r\n", "3OwrhCqZ6ABz1z+mXyKjoQ==", true, true, 7},
      {"snooze=$10\r\n", "h7oMmbXNjDCLxOchXd6zRw==", true, true, 100},
      {"snooze=0x10\r\n", "QjNSxbzEUFhI9/MoYWiZjQ==", true, true, 100},
      {"snooze= 5\r\n", "dMS1x/KMdNBjcWRNn3xy7g==", true, true, 100},
      {"snooze=5 \r\n", "dslWQjljgk3hYtPpIZEzEg==", true, true, 100},
      {"snooze=99999999999\r\n", "Uk8KAkI2FCPBzNrrKi/ylw==", true, true, 100},
      {"snooze=\r\n", "7uLPk3fDyQfz9BxUiasMbg==", true, true, 100},
      {"killrunner=OFF\r\n", "0AIcQm+IVpOp49vZu11/+w==", true, true, 100},
      {"killrunner= ON\r\n", "z+VwTUKrQPM6Icq9D4ZNdA==", true, true, 100},  // not trimmed
      // Same file, digest of another: the strict state.
      {"killrunner=OFF\r\n", "1aKcPG02A3xOBE1wwXHL5g==", false, false, 100},
  };
  for (const auto& c : cases) {
    fs.Put(kControl, c.control);
    PutDefaults(std::string("HASH=") + c.hash);
    gMenuBuilds = 0;
    ReadControlFlagsWith(&CountMenuBuild);
    Expect(c.cancel, c.quit, c.snooze, c.control);
    EXPECT_EQ(gMenuBuilds, 1) << c.control;
  }
}

TEST_F(ControlFlagsTest, RefreshFollowsTheFileTime) {
  const std::string restrict = "killrunner=ON\r\ncancelbackup=OFF\r\nsnooze=3\r\n";
  PutDefaults("HASH=1aKcPG02A3xOBE1wwXHL5g==");
  fs.Put(kControl, restrict, 100.0);

  // Start-up while the client holds the file: its time reads 0, equal to the remembered
  // 0, so nothing is read and the zero state stays.
  fs.timeless.push_back(kControl);
  RefreshControlFlagsWith(&CountMenuBuild);
  Expect(false, false, 0, "file time unreadable at start");
  EXPECT_EQ(gMenuBuilds, 0);

  fs.timeless.clear();
  RefreshControlFlagsWith(&CountMenuBuild);
  Expect(true, false, 3, "first reading");
  EXPECT_EQ(gMenuBuilds, 1);
  EXPECT_EQ(ControlFlagsFileTime, 100.0);

  RefreshControlFlagsWith(&CountMenuBuild);  // unchanged time: nothing read, nothing rebuilt
  EXPECT_EQ(gMenuBuilds, 1);

  // Edited by hand without a new HASH.
  fs.Put(kControl, "killrunner=OFF\r\n", 101.0);
  RefreshControlFlagsWith(&CountMenuBuild);
  Expect(false, false, 100, "edited by hand");
  EXPECT_EQ(gMenuBuilds, 2);

  // Deleted: free at once, and the menu shows Quit again at once.
  fs.Delete(kControl);
  RefreshControlFlagsWith(&CountMenuBuild);
  Expect(true, true, 100, "deleted");
  EXPECT_EQ(gMenuBuilds, 3);
  RefreshControlFlagsWith(&CountMenuBuild);
  EXPECT_EQ(gMenuBuilds, 3) << "no rebuild while nothing changes";
  EXPECT_EQ(ControlFlagsFileTime, 101.0) << "the remembered time stays";
}

TEST_F(ControlFlagsTest, UnreadableFileKeepsTheValuesAndIsReadAgain) {
  // The file's time can be read, but either file itself not (the Java client opened it for
  // writing in between): what was read last stays until the next tick reads it completely.
  PutDefaults("HASH=0AIcQm+IVpOp49vZu11/+w==");
  fs.Put(kControl, "killrunner=OFF\r\n", 50.0);
  RefreshControlFlagsWith(&CountMenuBuild);
  Expect(true, true, 100, "free by the file");
  for (const char* held : {kControl, kDefaults}) {
    fs.Put(kControl, "killrunner=OFF\r\n", fs.times[TMemFileSystem::Key(kControl)] + 1);
    fs.locked = {held};
    const int builds = gMenuBuilds;
    SnoozeLimit = 7;
    RefreshControlFlagsWith(&CountMenuBuild);
    Expect(true, true, 7, held);
    EXPECT_EQ(ControlFlagsFileTime, 0.0) << held;
    fs.locked.clear();
    RefreshControlFlagsWith(&CountMenuBuild);
    Expect(true, true, 100, held);
    EXPECT_EQ(gMenuBuilds, builds + 1) << held;
  }
}

TEST_F(ControlFlagsTest, SampleInstallationDigestMatches) {
  const std::string control = ReadSample("system2.properties");
  ASSERT_FALSE(control.empty());
  fs.Put(kDefaults, ReadSample("defaults.properties"));
  fs.Put(kControl, control);
  EXPECT_TRUE(VerifySettingsHash());
}

}  // namespace

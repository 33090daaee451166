// Dial-up natives: against Wine's RASAPI32 through the loaded DLL, and through the RAS binding
// seam of the natives linked into this test (absent service, scripted service answers).
#include <cstring>
#include <string>

#include "Dialup.h"
#include "NativaTest.h"

namespace nativa_test {
namespace {

using nativa::Ras;

// A scripted RAS service.
struct TFakeRas {
  static TFakeRas* current;
  std::vector<std::string> entryNames;  // each copied into a 257-byte field (not terminated if 257 long)
  std::vector<std::pair<std::string, ULONG_PTR>> connections;
  DWORD claimedCount = 0;  // when nonzero, the count reported instead of the real one
  DWORD dialError = 0;
  int dialCalls = 0;
  nativa::TRasDialParams lastDial;
  DWORD statusError = 0;
  nativa::TRasBinding saved;

  TFakeRas() {
    current = this;
    saved = Ras();
    nativa::TRasBinding& r = Ras();
    r.available = true;
    r.hangUp = &HangUp;
    r.enumEntries = &EnumEntries;
    r.enumConnections = &EnumConnections;
    r.dial = &Dial;
    r.getConnectStatus = &Status;
  }
  ~TFakeRas() {
    Ras() = saved;
    current = nullptr;
  }
  static DWORD WINAPI HangUp(nativa::HRasConn conn) { return conn == reinterpret_cast<nativa::HRasConn>(0x77) ? 0 : 6; }
  static DWORD WINAPI EnumEntries(LPCSTR reserved, LPCSTR book, nativa::TRasEntryName* out, DWORD* bytes, DWORD* count) {
    TFakeRas& f = *current;
    if (reserved || book || out[0].size != 264 || *bytes != 5280) return 632;
    if (f.entryNames.size() * 264 > *bytes) {
      *bytes = static_cast<DWORD>(f.entryNames.size() * 264);
      return 603;  // ERROR_BUFFER_TOO_SMALL
    }
    for (size_t i = 0; i < f.entryNames.size(); ++i)
      std::memcpy(out[i].entryName, f.entryNames[i].data(), std::min<size_t>(257, f.entryNames[i].size() + 1));
    *count = static_cast<DWORD>(f.entryNames.size());
    return 0;
  }
  static DWORD WINAPI EnumConnections(nativa::TRasConn* out, DWORD* bytes, DWORD* count) {
    TFakeRas& f = *current;
    if (out[0].size != sizeof(nativa::TRasConn)) return 632;
    DWORD needed = static_cast<DWORD>(f.connections.size() * sizeof(nativa::TRasConn));
    if (*bytes < needed) {
      *bytes = needed;
      return 603;
    }
    for (size_t i = 0; i < f.connections.size(); ++i) {
      out[i].conn = reinterpret_cast<nativa::HRasConn>(f.connections[i].second);
      std::memcpy(out[i].entryName, f.connections[i].first.data(), std::min<size_t>(257, f.connections[i].first.size() + 1));
    }
    *count = f.claimedCount ? f.claimedCount : static_cast<DWORD>(f.connections.size());
    return 0;
  }
  static DWORD WINAPI Dial(void* ext, LPCSTR book, nativa::TRasDialParams* params, DWORD type, void* notifier,
                           nativa::HRasConn* conn) {
    TFakeRas& f = *current;
    ++f.dialCalls;
    f.lastDial = *params;
    if (ext || book || type != 0xFFFFFFFF || notifier != reinterpret_cast<void*>(1) || *conn) return 87;
    if (f.dialError) return f.dialError;
    *conn = reinterpret_cast<nativa::HRasConn>(0x77);
    return 0;
  }
  static DWORD WINAPI Status(nativa::HRasConn conn, nativa::TRasConnStatus* status) {
    if (status->size != 160 || conn != reinterpret_cast<nativa::HRasConn>(0x77)) return 6;
    status->state = 0x2000;  // RASCS_Connected
    return current->statusError;
  }
};
TFakeRas* TFakeRas::current = nullptr;

class DialupTest : public TNativaTest {
 protected:
  jobjectArray Entries() { return Java_com_stowly_dialup_Nativa_RasEnumEntries(env(), nullptr); }
  jobjectArray Connections() { return Java_com_stowly_dialup_Nativa_RasEnumConnections(env(), nullptr); }
  jlong Dial(const std::string& e, const std::string& u, const std::string& p) {
    return Java_com_stowly_dialup_Nativa_RasDial(env(), nullptr, J(e), J(u), J(p));
  }
};

// The service's answers are scripted below (Wine's RASAPI32.DLL knows no phone book and
// answers a status query for any handle with success); here: which functions are bound.
TEST_F(DialupTest, BindsTheAnsiEntryPointsOfRasapi32) {
  nativa::TRasBinding saved = Ras();
  nativa::BindRas("RASAPI32.DLL");
  ASSERT_TRUE(Ras().available);
  const auto entry = [](const char* name) { return reinterpret_cast<void*>(::GetProcAddress(Ras().module, name)); };
  EXPECT_EQ(reinterpret_cast<void*>(Ras().hangUp), entry("RasHangUpA"));
  EXPECT_EQ(reinterpret_cast<void*>(Ras().enumEntries), entry("RasEnumEntriesA"));
  EXPECT_EQ(reinterpret_cast<void*>(Ras().enumConnections), entry("RasEnumConnectionsA"));
  EXPECT_EQ(reinterpret_cast<void*>(Ras().dial), entry("RasDialA"));
  EXPECT_EQ(reinterpret_cast<void*>(Ras().getConnectStatus), entry("RasGetConnectStatusA"));
  nativa::UnbindRas();
  Ras() = saved;
  // The DLL binds the same way when it loads: no connection is null, not an empty array.
  EXPECT_EQ(NATIVE(Java_com_stowly_dialup_Nativa_RasEnumConnections)(env(), nullptr), nullptr);
  jobjectArray entries = NATIVE(Java_com_stowly_dialup_Nativa_RasEnumEntries)(env(), nullptr);
  ASSERT_NE(entries, nullptr);
  EXPECT_EQ(Jvm().Objects(entries).size(), 0u) << "an empty phone book";
  EXPECT_EQ(ExceptionClass(), "");
}

TEST_F(DialupTest, AbsentServiceValues) {
  nativa::TRasBinding saved = Ras();
  nativa::BindRas("no_such_rasapi.dll");
  EXPECT_FALSE(Ras().available);
  EXPECT_EQ(Entries(), nullptr);
  EXPECT_EQ(Connections(), nullptr);
  EXPECT_EQ(Dial("e", "u", "p"), -1);
  EXPECT_EQ(Java_com_stowly_dialup_Nativa_RasGetConnectStatus(env(), nullptr, 0x77), 601);
  EXPECT_EQ(Java_com_stowly_dialup_Nativa_RasHangUp(env(), nullptr, 0x77), -1);
  EXPECT_EQ(Java_com_stowly_dialup_Nativa_RasDial(env(), nullptr, nullptr, nullptr, nullptr), -1)
      << "absent service answers before the strings are looked at";
  EXPECT_EQ(ExceptionClass(), "");
  Ras() = saved;
}

TEST_F(DialupTest, EnumEntries) {
  TFakeRas fake;
  struct {
    const char* what;
    std::vector<std::string> names;
    bool null;
    std::vector<std::u16string> expected;
  } cases[] = {
      {"none", {}, false, {}},
      {"ANSI code page names", {"Office", "M\xFCnchen"}, false, {u"Office", u"M\u00fcnchen"}},
      {"unterminated name", {std::string(257, 'n')}, false, {std::u16string(256, u'n')}},
      {"more than 20", std::vector<std::string>(21, "x"), true, {}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake.entryNames = c.names;
    jobjectArray result = Entries();
    if (c.null) {
      EXPECT_EQ(result, nullptr);
      continue;
    }
    ASSERT_NE(result, nullptr);
    std::vector<std::u16string> got;
    for (jobject s : Jvm().Objects(result)) got.push_back(Jvm().Text(s));
    EXPECT_EQ(got, c.expected);
  }
}

TEST_F(DialupTest, EnumConnections) {
  TFakeRas fake;
  EXPECT_EQ(Connections(), nullptr) << "no connection: null, not an empty array";
  fake.connections = {{"Office", 0x77}, {std::string(257, 'c'), 0x88}};
  jobjectArray result = Connections();
  ASSERT_NE(result, nullptr);
  ASSERT_EQ(Jvm().Objects(result).size(), 2u);
  jobject first = Jvm().Objects(result)[0];
  EXPECT_EQ(Jvm().ClassOf(first)->name, "com/stowly/dialup/WinRasEntry");
  EXPECT_EQ(Jvm().Text(Jvm().Field(first, "name").l), u"Office");
  EXPECT_EQ(Jvm().Field(first, "handle").j, 0x77);
  EXPECT_EQ(Jvm().Text(Jvm().Field(Jvm().Objects(result)[1], "name").l), std::u16string(256, u'c'));
  // A count beyond the returned records is not believed.
  fake.claimedCount = 50;
  result = Connections();
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(Jvm().Objects(result).size(), 2u);
}

TEST_F(DialupTest, DialResults) {
  TFakeRas fake;
  EXPECT_EQ(Dial("Office", "me", "secret"), 0x77);
  EXPECT_STREQ(fake.lastDial.entryName, "Office");
  EXPECT_STREQ(fake.lastDial.userName, "me");
  EXPECT_STREQ(fake.lastDial.password, "secret");
  EXPECT_STREQ(fake.lastDial.phoneNumber, "");
  EXPECT_EQ(fake.lastDial.size, 1052u);
  fake.dialError = 691;
  EXPECT_EQ(Dial("Office", "me", "wrong"), -91);
  fake.dialError = 0;

  // Fields hold 256 bytes: longer strings are refused with the RAS size error (600 - 632),
  // the service is not called.
  std::string fits(256, 'a'), tooLong(257, 'a');
  struct {
    std::string e, u, p;
    jlong result;
  } cases[] = {
      {fits, fits, fits, 0x77},
      {tooLong, "u", "p", -32},
      {"e", tooLong, "p", -32},
      {"e", "u", tooLong, -32},
  };
  for (auto& c : cases) {
    int before = fake.dialCalls;
    EXPECT_EQ(Dial(c.e, c.u, c.p), c.result);
    EXPECT_EQ(fake.dialCalls - before, c.result == -32 ? 0 : 1);
  }
  EXPECT_EQ(Java_com_stowly_dialup_Nativa_RasDial(env(), nullptr, J("e"), nullptr, J("p")), -1);
  EXPECT_EQ(ExceptionClass(), "java/lang/NullPointerException");
}

TEST_F(DialupTest, StatusAndHangUp) {
  TFakeRas fake;
  EXPECT_EQ(Java_com_stowly_dialup_Nativa_RasGetConnectStatus(env(), nullptr, 0x77), 0x2000);
  EXPECT_EQ(Java_com_stowly_dialup_Nativa_RasGetConnectStatus(env(), nullptr, 0x99), 601);
  fake.statusError = 6;
  EXPECT_EQ(Java_com_stowly_dialup_Nativa_RasGetConnectStatus(env(), nullptr, 0x77), 601);
  EXPECT_EQ(Java_com_stowly_dialup_Nativa_RasHangUp(env(), nullptr, 0x77), 0);
  EXPECT_EQ(Java_com_stowly_dialup_Nativa_RasHangUp(env(), nullptr, 0x99), 6);
}

}  // namespace
}  // namespace nativa_test

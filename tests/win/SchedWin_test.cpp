// The Win32 halves of the schedule, the control flags and the dialog templates: file
// times as CreateFile/GetFileTime give them, templates that Windows accepts, and the
// locale's designators in the tray tip.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <iterator>
#include <memory>

#include "ControlFlags.h"
#include "Globals.h"
#include "MyDialogs.h"
#include "SchedUnit.h"
#include "WinPlatform.h"
#include "WinTestUtil.h"

namespace {

class SchedWinTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallWinSeams(); }
  void TearDown() override { FreeSchedule(); }
};

void SetWriteTime(const std::string& path, const FILETIME& utc) {
  TFileHandle f(::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(f);
  ASSERT_TRUE(::SetFileTime(f.get(), nullptr, nullptr, &utc));
}

// Sets the file's last-write time to a local time (with the rules of its date).
void SetLocalWriteTime(const std::string& path, const SYSTEMTIME& local) {
  FILETIME utc;
  ASSERT_TRUE(LocalToUtc(EncodeDateTime({local.wYear, local.wMonth, local.wDay, local.wHour,
                                         local.wMinute, local.wSecond, 0}),
                         utc));
  SetWriteTime(path, utc);
}

std::string Text(TDateTime t) {
  const TDateParts p = DecodeDateTime(t);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d-%02d %02d:%02d:%02d", p.month, p.day, p.hour,
                p.minute, p.second);
  return buffer;
}

// Registered to run in Berlin time (tests/win/CMakeLists.txt). A file time becomes
// local time with the rules of its own date, whatever the date today: a backup made at
// 19:11 summer time is no older than a 19:00 hour in winter. And the hours the spring
// change skips are shown from where the clock goes on.
TEST_F(SchedWinTest, FileTimesKeepTheRulesOfTheirDateInBerlin) {
  TIME_ZONE_INFORMATION tz;
  ::GetTimeZoneInformation(&tz);
  ASSERT_EQ(tz.Bias, -60) << "runs in Central European time";
  wt::TTempDir dir("dst");
  const std::string path = dir.File("lastbackup.idx");
  dir.Write("lastbackup.idx", "");
  const struct {
    TDateParts utc;
    const char* local;
  } files[] = {
      {{2026, 10, 24, 17, 11, 0, 0}, "10-24 19:11:00"},  // summer time, read in any season
      {{2026, 10, 25, 0, 30, 0, 0}, "10-25 02:30:00"},   // the autumn hour, first time
      {{2026, 10, 25, 1, 30, 0, 0}, "10-25 02:30:00"},   // and again in winter time
      {{2026, 10, 26, 17, 11, 0, 0}, "10-26 18:11:00"},
      {{2026, 3, 29, 0, 59, 58, 0}, "03-29 01:59:58"},
      {{2026, 3, 29, 1, 0, 0, 0}, "03-29 03:00:00"},
      {{2026, 12, 7, 13, 33, 41, 0}, "12-07 14:33:40"},  // 2-second resolution
  };
  for (const auto& f : files) {
    const SYSTEMTIME st = {static_cast<WORD>(f.utc.year), static_cast<WORD>(f.utc.month), 0,
                           static_cast<WORD>(f.utc.day), static_cast<WORD>(f.utc.hour),
                           static_cast<WORD>(f.utc.minute), static_cast<WORD>(f.utc.second), 0};
    FILETIME utc;
    ASSERT_TRUE(::SystemTimeToFileTime(&st, &utc));
    SetWriteTime(path, utc);
    EXPECT_EQ(Text(FileTimeOf(path)), f.local);
  }
  const struct {
    TDateParts local;
    const char* shown;
  } hours[] = {
      {{2026, 3, 29, 1, 59, 0, 0}, "03-29 01:59:00"},
      {{2026, 3, 29, 2, 0, 0, 0}, "03-29 03:00:00"},  // skipped: the clock goes on at 3:00
      {{2026, 3, 29, 2, 59, 0, 0}, "03-29 03:00:00"},
      {{2026, 10, 25, 2, 30, 0, 0}, "10-25 02:30:00"},
  };
  TWinClock clock;
  for (const auto& h : hours) EXPECT_EQ(Text(clock.ShownAt(EncodeDateTime(h.local))), h.shown);
}

TEST_F(SchedWinTest, FileTimeOfIsLocalDosTimeAndNeverOpensTheFile) {
  wt::TTempDir dir("ftime");
  const std::string path = dir.File("system2.properties");
  EXPECT_EQ(FileTimeOf(path), 0.0) << "missing";

  dir.Write("system2.properties", "snooze=1\r\n");
  SYSTEMTIME st = {};
  st.wYear = 2026;
  st.wMonth = 12;
  st.wDay = 7;
  st.wHour = 14;
  st.wMinute = 33;
  st.wSecond = 41;  // DOS time keeps even seconds
  SetLocalWriteTime(path, st);
  const TDateParts p = DecodeDateTime(FileTimeOf(path));
  EXPECT_EQ(p.year, 2026);
  EXPECT_EQ(p.month, 12);
  EXPECT_EQ(p.day, 7);
  EXPECT_EQ(p.hour, 14);
  EXPECT_EQ(p.minute, 33);
  EXPECT_EQ(p.second, 40);

  // The time is read without opening the file: the Java client may hold it for itself
  // (share mode 0) at that moment, and a ZqRunner that opened it, with any sharing, would
  // make the client's own open fail with a sharing violation.
  {
    TFileHandle client(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(client);
    const TDateParts held = DecodeDateTime(FileTimeOf(path));
    EXPECT_EQ(held.hour, 14) << "held by the client";
    EXPECT_EQ(held.second, 40);
  }
  // A folder has no last-write time of a file.
  EXPECT_EQ(FileTimeOf(dir.Path()), 0.0);
}

// The installation folder's change notification reports what the Java client does to its
// files: a rewrite, a touch of the last-write time, a replacement by a rename, a deletion;
// and nothing while nothing changes.
TEST_F(SchedWinTest, FolderWatchReportsEveryKindOfChange) {
  wt::TTempDir dir("watch");
  dir.Write("lastbackup.idx", "");
  std::unique_ptr<TWinFolderWatch> watch = TWinFolderWatch::Open(dir.Path());
  ASSERT_TRUE(watch);
  EXPECT_FALSE(watch->Changed());
  const std::string file = dir.File("lastbackup.idx");
  const std::function<void()> changes[] = {
      [&] { dir.Write("lastbackup.idx", "x"); },
      [&] {
        FILETIME t = {0x12345678, 0x01DC0000};
        SetWriteTime(file, t);
      },
      [&] {
        dir.Write("new.tmp", "y");
        ::MoveFileExA(dir.File("new.tmp").c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING);
      },
      [&] { ::DeleteFileA(file.c_str()); },
  };
  for (size_t i = 0; i < std::size(changes); ++i) {
    changes[i]();
    EXPECT_TRUE(wt::WaitUntil([&] { return watch->Changed(); }, 5000)) << "change " << i;
    // Everything reported at once: quiet until the next change.
    while (watch->Changed()) {
    }
    EXPECT_FALSE(watch->Changed()) << "change " << i;
  }
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST_F(SchedWinTest, TemplateCreatesTheDialogAndItsControls) {
  struct TControl {
    uint16_t id;
    uint32_t style;
    uint16_t atom;
    std::string text;
    const char* className;
  };
  const TControl controls[] = {
      {101, 0x50000001, kAtomStatic, "Gr\xfc\xdf Gott, a backup will start", "Static"},
      {102, 0x50000001, kAtomButton, "Backup Now", "Button"},
      {103, 0x50000003, kAtomButton, "Don't show", "Button"},
      {104, 0x50000003 | 0x08000000, kAtomComboBox, "", "ComboBox"},
  };
  for (const uint32_t style : {0x80C800C0u | kDsSetFont | 0x800u /* DS_CENTER */, 0x80C80800u}) {
    TTemplateStream s;
    WriteDialogHeader(s, 0, 0, 240, 120, 4, style, "Stash9 \xe4", "");
    int y = 5;
    for (const auto& c : controls) {
      WriteDialogItem(s, 5, static_cast<int16_t>(y), 200, c.atom == kAtomComboBox ? 80 : 12,
                      c.id, c.style, c.atom, c.text);
      y += 20;
    }
    HWND dialog = ::CreateDialogIndirectParamA(
        ::GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(s.data()), nullptr,
        QuietDialogProc, 0);
    ASSERT_NE(dialog, nullptr) << "style " << std::hex << style << " error "
                               << ::GetLastError();
    char buffer[256];
    ::GetWindowTextA(dialog, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Stash9 \xe4");
    for (const auto& c : controls) {
      HWND item = ::GetDlgItem(dialog, c.id);
      ASSERT_NE(item, nullptr) << c.id;
      ::GetClassNameA(item, buffer, sizeof buffer);
      EXPECT_STREQ(buffer, c.className) << c.id;
      if (c.atom != kAtomComboBox) {
        ::GetWindowTextA(item, buffer, sizeof buffer);
        EXPECT_EQ(std::string(buffer), c.text) << c.id;
      }
      EXPECT_EQ(::IsWindowEnabled(item) == 0, (c.style & 0x08000000) != 0) << c.id;
    }
    ::DestroyWindow(dialog);
  }
}

TEST_F(SchedWinTest, TrayTipUsesTheLocaleDesignator) {
  wt::TTempDir dir("sched");
  InstallDir = dir.Path();
  dir.Write("zqbackup.properties", "scheduler.active=ON\r\nscheduler.time=07PM\r\n");
  FillDayNames();
  CreateSchedule();
  char pm[80] = {};
  ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_S2359, pm, sizeof pm);
  const std::string tip = ScheduleNextBackupText();
  const std::string tail = pm[0] ? std::string(" 7 ") + pm : std::string(" 7");
  ASSERT_GE(tip.size(), tail.size() + 1);
  EXPECT_EQ(tip.substr(tip.size() - tail.size() - 1), tail + std::string(1, '\0')) << tip;
}

}  // namespace

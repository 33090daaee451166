#include "ActivityLog.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "DateTime.h"
#include "LogTexts.h"

namespace {

// Files in memory; each call can be made to fail as a read-only folder, a full disk or a
// reader holding the file would make it fail.
class TMemLogSink : public ILogSink {
 public:
  std::map<std::string, std::string> files;
  bool appendFails = false;
  bool replaceFails = false;
  double now = EncodeDateTime({2026, 12, 9, 19, 0, 2});
  int offset = 60;
  int appends = 0;

  uint64_t Size(const std::string& p) const override { return files.count(p) ? files.at(p).size() : 0; }
  bool Append(const std::string& p, const std::string& bytes) override {
    ++appends;
    if (appendFails) return false;
    files[p] += bytes;
    return true;
  }
  bool Replace(const std::string& from, const std::string& to) override {
    if (replaceFails || !files.count(from)) return false;
    files[to] = files[from];
    files.erase(from);
    return true;
  }
  double LocalNow(int& utcOffsetMinutes) const override {
    utcOffsetMinutes = offset;
    return now;
  }
  uint32_t ProcessId() const override { return 4321; }
};

const std::string kLog = "C:\\Inst\\ZqRunner.log";
const std::string kOld = "C:\\Inst\\ZqRunner.log.1";
const std::string kAt = "2026-12-09 19:00:02 +01:00 [4321] ";  // the sink's time and process

class ActivityLogTest : public ::testing::Test {
 protected:
  TMemLogSink sink;
  void SetUp() override { OpenActivityLog("C:\\Inst", &sink); }
  void TearDown() override { CloseActivityLog(); }
};

}  // namespace

TEST(ActivityLogFormatTest, DateTimeOffsetProcessEventDetails) {
  struct {
    TDateParts at;
    int offset;
    std::string event, details, line;
  } cases[] = {
      {{2026, 12, 9, 19, 0, 2}, 60, "hour offered", "Wed 7 PM",
       "2026-12-09 19:00:02 +01:00 [77] hour offered: Wed 7 PM\r\n"},
      {{2027, 1, 1, 0, 0, 0}, -330, "quit", "", "2027-01-01 00:00:00 -05:30 [77] quit\r\n"},
      {{2026, 3, 29, 3, 15, 59}, 765, "client start", "a\r\nb\tc",
       "2026-03-29 03:15:59 +12:45 [77] client start: a  b c\r\n"},
      {{2026, 6, 1, 12, 0, 0}, 0, "x\ny", "", "2026-06-01 12:00:00 +00:00 [77] x y\r\n"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatLogLine(EncodeDateTime(c.at), c.offset, 77, c.event, c.details), c.line) << c.event;
  EXPECT_EQ(Decimal(7, 2) + Decimal(-5, 3) + Decimal(2026, 2), "07-0052026");
  EXPECT_EQ(Hex(0xC0000005u, 8) + Hex(0x1a2b) + Hex(0, 2), "0xC00000050x1A2B0x00");
  const std::string longLine = FormatLogLine(0, 0, 1, "e", std::string(5000, 'x'));
  EXPECT_EQ(longLine.size(), kLogMaxLineBytes);
  EXPECT_EQ(longLine.substr(longLine.size() - 3), "x\r\n");
}

// The clock line says what a step means for the schedule, with the same boundaries as the
// trigger: 3 hours to the second either way.
TEST(ActivityLogFormatTest, ClockChangeSaysWhatTheStepMeans) {
  const std::pair<long long, std::string> cases[] = {
      {10800, "forward 180 min: taken as time that passed, no skipped hour offered"},
      {10799, "forward 180 min: scheduled hours skipped are offered once"},
      {-10800, "back 180 min: the hours ahead are offered as new ones"},
      {-10799, "back 180 min: hours offered already are not offered again"},
      {-90, "back 2 min: hours offered already are not offered again"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(ClockChangeText(seconds), text) << seconds;
}

TEST_F(ActivityLogTest, NothingIsWrittenBeforeOpenOrAfterClose) {
  CloseActivityLog();
  LogEvent("start-up", "before");
  EXPECT_EQ(ActivityLogPath(), "");
  OpenActivityLog("C:\\Inst", &sink);
  EXPECT_EQ(ActivityLogPath(), kLog);
  LogEvent("start-up", "x86_64");
  LogEvent("quit");
  EXPECT_EQ(sink.files[kLog], kAt + "start-up: x86_64\r\n" + kAt + "quit\r\n");
  CloseActivityLog();
  LogEvent("after");
  EXPECT_EQ(sink.appends, 2);
  OpenActivityLog("C:\\Inst\\", &sink);  // the updater's and uninstaller's folder argument
  EXPECT_EQ(ActivityLogPath(), kLog);
}

// At 256 KB the file becomes ZqRunner.log.1, replacing the older one: the two together never
// pass 512 KB, and every line is whole in one of them.
TEST_F(ActivityLogTest, RollsOverAt256KbAndKeepsOneOlderFile) {
  const std::string details(200, 'd');
  const size_t lineBytes = FormatLogLine(sink.now, 60, 4321, "event", details).size();
  size_t rolls = 0;
  uint64_t previous = 0;
  for (int i = 0; i < 4000; ++i) {
    LogEvent("event", details);
    const uint64_t size = sink.Size(kLog);
    EXPECT_LE(size, kLogRollBytes);
    EXPECT_LE(size + sink.Size(kOld), 2 * kLogRollBytes);
    if (size < previous) {
      ++rolls;
      EXPECT_EQ(size, lineBytes);  // the new file starts with the line that did not fit
      EXPECT_GT(sink.Size(kOld) + lineBytes, kLogRollBytes);
      EXPECT_EQ(sink.Size(kOld) % lineBytes, 0u);
    }
    previous = size;
  }
  EXPECT_EQ(rolls, 4000 * lineBytes / kLogRollBytes);
  EXPECT_EQ(sink.files.size(), 2u);
}

// A log that cannot be written changes nothing: no exception, no retry, and the lines come
// again once it can.
TEST_F(ActivityLogTest, FailingWritesAndRollOversAreSkipped) {
  sink.appendFails = true;
  LogEvent("hour offered", "Wed 7 PM");
  EXPECT_EQ(sink.appends, 1);
  EXPECT_TRUE(sink.files.empty());
  sink.appendFails = false;
  LogEvent("quit");
  EXPECT_EQ(sink.files[kLog], kAt + "quit\r\n");

  // Full file that cannot be renamed (a reader holds it without delete sharing): the line is
  // dropped rather than passing the bound.
  sink.files[kLog] = std::string(kLogRollBytes - 10, 'x');
  sink.replaceFails = true;
  LogEvent("quit");
  EXPECT_EQ(sink.Size(kLog), kLogRollBytes - 10);
  EXPECT_EQ(sink.files.count(kOld), 0u);
  sink.replaceFails = false;
  LogEvent("quit");
  EXPECT_EQ(sink.Size(kOld), kLogRollBytes - 10);
  EXPECT_EQ(sink.files[kLog], kAt + "quit\r\n");
}

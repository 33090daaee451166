#include "ActivityLog.h"

#include <atomic>
#include <cstdlib>
#include <map>

#include "DateTime.h"

namespace {

// Set once at start-up, before any worker thread exists, and read by every thread.
std::string gPath;
std::atomic<ILogSink*> gSink{nullptr};

void AppendClean(std::string& line, const std::string& text) {
  for (char c : text) line += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
}

}  // namespace

std::string Decimal(long long value, int width) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
  return value < 0 ? "-" + digits : digits;
}

std::string Hex(unsigned long long value, int width) {
  std::string digits;
  do {
    digits.insert(digits.begin(), "0123456789ABCDEF"[value % 16]);
    value /= 16;
  } while (value != 0);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
  return "0x" + digits;
}

std::string FormatLogLine(double localTime, int utcOffsetMinutes, uint32_t pid,
                          const std::string& event, const std::string& details) {
  const TDateParts p = DecodeDateTime(localTime);
  const int offset = std::abs(utcOffsetMinutes);
  std::string line = Decimal(p.year, 4) + "-" + Decimal(p.month, 2) + "-" + Decimal(p.day, 2) +
                     " " + Decimal(p.hour, 2) + ":" + Decimal(p.minute, 2) + ":" +
                     Decimal(p.second, 2) + " " + (utcOffsetMinutes < 0 ? "-" : "+") +
                     Decimal(offset / 60, 2) + ":" + Decimal(offset % 60, 2) + " [" +
                     std::to_string(pid) + "] ";
  AppendClean(line, event);
  if (!details.empty()) {
    line += ": ";
    AppendClean(line, details);
  }
  if (line.size() > kLogMaxLineBytes - 2) line.resize(kLogMaxLineBytes - 2);
  return line + "\r\n";
}

std::string InFolder(const std::string& folder, const std::string& name) {
  return folder + (!folder.empty() && folder.back() == '\\' ? "" : "\\") + name;
}

void OpenActivityLog(const std::string& folder, ILogSink* sink) {
  gSink = nullptr;
  gPath = InFolder(folder, kLogName);
  gSink = sink;
}

void CloseActivityLog() { gSink = nullptr; }

std::string ActivityLogPath() { return gSink ? gPath : std::string(); }

void LogEvent(const std::string& event, const std::string& details) {
  ILogSink* sink = gSink;
  if (!sink) return;
  try {
    int offset = 0;
    const double now = sink->LocalNow(offset);
    const std::string line = FormatLogLine(now, offset, sink->ProcessId(), event, details);
    // Another process (the updater, a second instance) may roll the same file over at the
    // same moment; the worst that can happen is an older part going early.
    if (sink->Size(gPath) + line.size() > kLogRollBytes &&
        !sink->Replace(gPath, gPath + ".1"))
      return;
    sink->Append(gPath, line);
  } catch (...) {
    // The log never changes what the program does (memory running out included).
  }
}

void LogIfChanged(const std::string& event, const std::string& details) {
  if (!gSink) return;
  try {
    static std::map<std::string, std::string> last;
    auto it = last.find(event);
    if (it != last.end() && it->second == details) return;
    last[event] = details;
    LogEvent(event, details);
  } catch (...) {
  }
}

// The activity log "ZqRunner.log" in the installation folder: one line of ANSI text per
// decision the program takes (an hour offered and what became of it, a client run, an update
// step, a crash), so that "why did my backup not run?" has an answer afterwards.
//
//   2026-12-09 19:00:02 +01:00 [1234] hour offered: Wed 7 PM
//
// Local date and time with the UTC offset of that moment, the process id, the event and its
// details. The log never changes what the program does: a line that cannot be written (the
// folder is read-only, the disk is full, a reader holds the file) is dropped without a message
// and without waiting. At kLogRollBytes the file becomes "ZqRunner.log.1" (the older one
// goes), so the two never take more than twice that.
#pragma once
#include <cstdint>
#include <string>

constexpr uint64_t kLogRollBytes = 256 * 1024;
// A longer line is cut: no line may be larger than the room a roll-over leaves.
constexpr size_t kLogMaxLineBytes = 1024;
constexpr const char* kLogName = "ZqRunner.log";

// Where the lines go; the Win32 version appends with one WriteFile per line and shares the
// file with readers. Every call fails fast and never throws.
class ILogSink {
 public:
  virtual ~ILogSink() = default;
  // Size in bytes; 0 when the file is missing or its size cannot be read.
  virtual uint64_t Size(const std::string& path) const = 0;
  // Adds `bytes` at the end in one write (a missing file is created). False when nothing
  // was written.
  virtual bool Append(const std::string& path, const std::string& bytes) = 0;
  // Renames `from` to `to`, replacing `to`. False when the name did not move.
  virtual bool Replace(const std::string& from, const std::string& to) = 0;
  // The local time now (a date-time) and the minutes it is ahead of UTC at that moment
  // (daylight saving included), read together.
  virtual double LocalNow(int& utcOffsetMinutes) const = 0;
  virtual uint32_t ProcessId() const = 0;
};

// `value` in decimal with at least `width` digits (zeros in front); in hexadecimal, upper
// case, with "0x" in front. Without the C library's printf, which would pull its locale
// machinery into the program.
std::string Decimal(long long value, int width = 1);
std::string Hex(unsigned long long value, int width = 1);

// One line, CR LF included: "YYYY-MM-DD hh:mm:ss +hh:mm [pid] event: details". Control
// characters in the texts become spaces, so one event is always one line.
std::string FormatLogLine(double localTime, int utcOffsetMinutes, uint32_t pid,
                          const std::string& event, const std::string& details);

// `folder` + "\" + `name`, with one backslash between them also when `folder` ends with one.
std::string InFolder(const std::string& folder, const std::string& name);

// Starts logging to `folder` + "\ZqRunner.log" through `sink` (kept; it must outlive the
// log), which also gives the time and process id. Until then, and after CloseActivityLog, LogEvent
// does nothing: tests and tools that never open it write nothing.
void OpenActivityLog(const std::string& folder, ILogSink* sink);
void CloseActivityLog();
// The path of the open log; "" when none.
std::string ActivityLogPath();
// Appends one line; rolls the file over first when the line would take it past
// kLogRollBytes (when the roll-over fails the line is dropped, so the bound holds). Any
// thread; never throws, never waits.
void LogEvent(const std::string& event, const std::string& details = "");
// LogEvent when `details` differ from those last logged with this `event` (by this call):
// for states that are looked at on every tick (a missing or busy file), one line per change.
// GUI thread only.
void LogIfChanged(const std::string& event, const std::string& details);

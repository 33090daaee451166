// The small interfaces through which the portable core reaches the outside world. The
// Win32 versions live in the *_win.cpp files; tests install fakes with TSeams::Set...().
// Paths are Windows paths in the ANSI code page; the core never interprets them beyond
// joining with a backslash.
#pragma once
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "DateTime.h"

class IClock {
 public:
  virtual ~IClock() = default;
  // Local time as a date-time (days since 30 Dec 1899, fraction = time of day).
  virtual TDateTime Now() const = 0;
  // Milliseconds of real time from an arbitrary origin, moved neither by a change of the
  // clock nor by a time-zone rule; it wraps, so only the difference of two readings (taken
  // in 32 bits) counts. A clock that never changes may leave it to follow Now() (rounded to
  // the millisecond: a second of Now() is then always 1000 of these).
  virtual uint32_t RealMs() const {
    return static_cast<uint32_t>(std::llround(Now() * 86400000.0));
  }
  // The local time at which the clock shows `local`: `local` itself, unless a forward change
  // (the spring change to daylight saving time) skips it; then the first local time after
  // the skipped stretch. A clock without daylight saving shows every time.
  virtual TDateTime ShownAt(TDateTime local) const { return local; }
};

// What a reading of a whole file found. Busy: the file exists but could not be read at
// this moment (another process has it open for writing or locked, or it is being replaced);
// a caller keeps what it read before and reads again later.
enum class TReadOutcome { Read, Missing, Busy };

// What identifies one version of a file for a read-change-write: its last-write time
// (opaque ticks; only compared) and its size.
struct TFileStamp {
  uint64_t writeTime = 0;
  uint64_t size = 0;
  bool operator==(const TFileStamp& o) const { return writeTime == o.writeTime && size == o.size; }
  bool operator!=(const TFileStamp& o) const { return !(*this == o); }
};

struct TFileRead {
  TReadOutcome outcome = TReadOutcome::Missing;
  std::string data;   // the whole file when outcome is Read
  TFileStamp stamp;   // of the version read
};

enum class TWriteResult { Written, Changed, Failed };

// How long a reader waits for another process to let go of a file: a timer tick's reading
// (the GUI thread never waits longer on a held file) and a save the user asked for.
constexpr unsigned kTickPatienceMs = 100;
constexpr unsigned kSavePatienceMs = 1000;

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;
  // True when a file or directory of that name exists.
  virtual bool Exists(const std::string& path) const = 0;
  virtual bool DirectoryExists(const std::string& path) const = 0;
  // Whole file, opened for reading with read sharing only. nullopt when the file is
  // missing or cannot be opened (another process writing it, for example).
  virtual std::optional<std::string> ReadAll(const std::string& path) const = 0;
  // One reading of the whole file, opened as ReadAll opens it, that tells a missing file
  // from a busy one and waits at most about `patienceMs` for a holder to let go. The
  // default (for stand-ins) asks ReadAll and Exists.
  virtual TFileRead Read(const std::string& path, unsigned patienceMs) const;
  // Replaces the file's content with exactly these bytes, in one step: the old content or
  // the new, never a part (a crash, power loss or full disk in between leaves the old
  // file). A missing file is created. False on any failure; the old file is then
  // unchanged, byte for byte.
  virtual bool WriteAll(const std::string& path, const std::string& data) = 0;
  // WriteAll for a read-change-write: the new content takes the name only while the file
  // still has `readAs`, the stamp of the reading it was made from. Changed, with nothing
  // written, when another process wrote the file in between: read, change and write again.
  // The default (for stand-ins) does not compare.
  virtual TWriteResult WriteIfUnchanged(const std::string& path, const std::string& data,
                                        const TFileStamp& readAs);
  virtual bool Delete(const std::string& path) = 0;
  // Last-write time, local, packed to DOS resolution (2 s); 0 when missing or unreadable.
  // Never opens the file, so it never stands in the way of another process's open.
  virtual TDateTime FileTime(const std::string& path) const = 0;
};

// Every message box ZqRunner shows goes through this seam (MessageBoxA with no owner);
// tests answer instead of blocking. Returns the button id (IDOK = 1, IDYES = 6, ...).
class IUi {
 public:
  virtual ~IUi() = default;
  virtual int ShowBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
};

struct TProcessResult {
  bool started = false;
  uint32_t processId = 0;
  uint32_t error = 0;
};

class IProcessLauncher {
 public:
  virtual ~IProcessLauncher() = default;
  // Starts a command line with the given working directory ("" = inherit). When
  // `wait`, blocks the calling thread until the process is idle for input and has ended
  // (the GUI thread never waits here itself: it runs a TRunThread and pumps messages).
  virtual TProcessResult Start(const std::string& commandLine, const std::string& workDir,
                               bool wait) = 0;
};

// The Windows session: which platform family runs it, and the request that ends it.
class ISession {
 public:
  virtual ~ISession() = default;
  // True on the Windows NT family (the session end then powers off and needs the shutdown
  // privilege), false on the 95/98/Me family.
  virtual bool NtFamily() const = 0;
  // Asks Windows to end the session with exactly these ExitWindowsEx flags (enabling the
  // shutdown privilege first on the NT family). Tests record the flags instead.
  virtual bool EndSession(unsigned flags) = 0;
};

// Process-wide seam registry. Defaults are installed by the Win32 start-up (or by a test
// main); the core only calls through these accessors.
namespace seams {
IClock& Clock();
IFileSystem& Fs();
IUi& Ui();
IProcessLauncher& Launcher();
ISession& Session();
void SetClock(IClock* c);
void SetFs(IFileSystem* f);
void SetUi(IUi* u);
void SetLauncher(IProcessLauncher* l);
void SetSession(ISession* s);
}  // namespace seams

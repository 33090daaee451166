// The file I/O the archive reader and writer go through (in the manner of minizip's
// ioapi): the format logic never opens a file itself, so it builds and is tested on Linux,
// and tests can record exactly what an extraction creates.
//
// Paths are Windows paths in the ANSI code page, joined with backslashes. The portable
// implementation maps "\" to "/" on POSIX systems.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// One open file. Not thread-safe; closed by its destructor.
class IArchiveFile {
 public:
  virtual ~IArchiveFile() = default;
  // Reads up to `n` bytes; returns the number read (0 at the end or on an error).
  virtual size_t Read(void* buffer, size_t n) = 0;
  // Writes all `n` bytes; false on any failure.
  virtual bool Write(const void* buffer, size_t n) = 0;
  // Pushes buffered writes to the file; false when they fail (a full disk, say).
  virtual bool Flush() = 0;
  // Absolute position from the first byte; false on failure.
  virtual bool Seek(uint64_t position) = 0;
  virtual uint64_t Position() = 0;
  // Size of the file in bytes (for a file open for reading).
  virtual uint64_t Size() = 0;
};

class IArchiveIo {
 public:
  virtual ~IArchiveIo() = default;
  // Opens an existing file for reading, denying writes to others. nullptr on failure.
  virtual std::unique_ptr<IArchiveFile> OpenRead(const std::string& path) = 0;
  // Creates the file anew (replacing one of that name), opened exclusively for writing.
  // nullptr on failure.
  virtual std::unique_ptr<IArchiveFile> Create(const std::string& path) = 0;
  // A file (not a directory) of that name exists.
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool DirectoryExists(const std::string& path) = 0;
  // Creates one directory whose parent exists. False on failure.
  virtual bool MakeDirectory(const std::string& path) = 0;
  // Leaves only the archive attribute set (drops read-only, hidden and system), so that
  // the file can be replaced. Failures are ignored.
  virtual void ClearAttributes(const std::string& path) = 0;
};

// Over <cstdio> (and mkdir/stat): used on Linux, by the archive tool and by the fuzzer.
// On Windows it opens with _fsopen to deny writes to others, and ClearAttributes only
// drops read-only (a hidden or system target then cannot be replaced): ZqRunner uses
// TWinArchiveIo.
class TStdioArchiveIo : public IArchiveIo {
 public:
  std::unique_ptr<IArchiveFile> OpenRead(const std::string& path) override;
  std::unique_ptr<IArchiveFile> Create(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  bool DirectoryExists(const std::string& path) override;
  bool MakeDirectory(const std::string& path) override;
  void ClearAttributes(const std::string& path) override;
};

// The I/O a component uses unless it is given one: TStdioArchiveIo until the Win32
// start-up installs its own (TWinArchiveIo, ArchiveIo_win.h) with SetDefaultArchiveIo.
IArchiveIo& DefaultArchiveIo();
void SetDefaultArchiveIo(IArchiveIo* io);

// TZLibArchive: verifies an update archive, loads its file list and extracts its files.
//
// Layout (little-endian; offsets from the first byte of the file): file data and the file
// list in any order, then a 33-byte trailer. The trailer holds the CRC-32 of every byte
// before it, the entry count, the list offset and whether the list is one zlib stream.
// The list is `count` 530-byte entries. Every archive is treated as hostile: offsets and
// sizes are checked against the file, and an entry whose name or stored path would leave
// the destination (or name anything but a plain file below it) is refused before anything
// is written for it.
//
// One thread at a time; no locks. The archive file is open only inside OpenArchive and
// ExtractFiles, unless HoldArchive keeps it open from the check to CloseArchive. Every
// failure is a TRunnerError with one of the messages below.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ArchiveIo.h"

#pragma pack(push, 1)
struct TArchiveTrailer {
  uint32_t crc;  // CRC-32 of the file before the trailer
  int32_t count;  // entries in the list; zero or less: none
  uint8_t reserved1[8];
  uint32_t listOffset;
  uint8_t listFlag;  // 0: list stored as it is; else one zlib stream
  uint8_t reserved2[12];
};

struct TArchiveEntry {
  uint8_t fileName[256];  // length byte, then the characters (ANSI)
  uint8_t storedPath[256];  // same form; directory relative to the destination
  int32_t size;  // uncompressed size
  uint8_t reserved1[4];
  uint32_t offset;  // of the file's data
  uint32_t crc;  // CRC-32 of the uncompressed bytes
  uint8_t storage;  // 0: one zlib stream; else stored as it is (opposite of listFlag)
  uint8_t reserved2;
};
#pragma pack(pop)
static_assert(sizeof(TArchiveTrailer) == 33, "trailer layout");
static_assert(sizeof(TArchiveEntry) == 530, "entry layout");

constexpr uint32_t kTrailerSize = sizeof(TArchiveTrailer);
constexpr uint32_t kEntrySize = sizeof(TArchiveEntry);

// The text of a length-prefixed 256-byte field, and the reverse (longer text is cut to 255).
std::string ShortString(const uint8_t (&field)[256]);
void SetShortString(uint8_t (&field)[256], const std::string& text);

// A file name that names a plain file in the directory it is joined to: not empty, no
// "\", "/", ":", control or wildcard characters, no trailing dot or blank (which Windows
// drops, so "x." would alias "x" and "..." the directory), not a device name (CON, PRN,
// AUX, NUL, COM1-9, LPT1-9, with or without an extension).
bool IsSafeFileName(const std::string& name);
// A stored path whose components, split at "\" or "/" with empty ones skipped (leading,
// trailing and doubled separators are normal), are each a safe file name: so no "..",
// no drive, no stream. An empty path is safe.
bool IsSafeStoredPath(const std::string& path);

// Creates `path` and every missing ancestor, outermost first. The walk up stops at the
// first existing ancestor or an empty parent. Failures are left for the caller to find.
void MakeDirectoryPath(IArchiveIo& io, const std::string& path);

enum class TFileCompressionLevel { fcNone, fcFastest, fcDefault, fcMaximum };

class TZLibArchive {
 public:
  using TReplaceFileEvent =
      std::function<void(TZLibArchive& sender, const std::string& fileName, bool& replace)>;
  using TFileExtractedEvent =
      std::function<void(TZLibArchive& sender, const std::string& fileName)>;
  using TNotifyEvent = std::function<void(TZLibArchive& sender)>;
  using TErrorLogEvent = std::function<void(TZLibArchive& sender, const std::string& msg)>;
  using TProgressEvent =
      std::function<void(TZLibArchive& sender, const std::string& msg, int percentage)>;

  // Reads and writes through `io` (must outlive the component).
  explicit TZLibArchive(IArchiveIo& io = DefaultArchiveIo());
  // Forgets an open archive without a progress report.
  virtual ~TZLibArchive();
  TZLibArchive(const TZLibArchive&) = delete;
  TZLibArchive& operator=(const TZLibArchive&) = delete;

  // Opens, verifies (whole-file CRC) and loads the archive; closes an open one first.
  // False for an empty name. Throws "Archive file not found", "Unable to open file (%s)",
  // "The archive file appears to be corrupted", "Unable to read archive file list"; after
  // any failure no archive is open.
  bool OpenArchive(const std::string& fileName);
  void CloseArchive();
  // Throws "No archive is currently open".
  int FileCount() const;
  // Throws "Index out of bounds".
  void GetFileEntry(int index, TArchiveEntry& entry) const;
  // Extracts every entry below `destination`, in list order, passing over entries whose
  // file name is in `skip` (ASCII case-insensitive; nullptr: none). Throws "No archive is
  // currently open", "Unable to open file (%s)", "Unable to create destination path",
  // "File (%d) is corrupt", "Cannot create file %s". A failure stops at the failing entry;
  // files written before it stay, and so does the partly written one.
  void ExtractFiles(const std::string& destination, const std::vector<std::string>* skip);

  // The file entry `index` is extracted to under `destination` (with ExtractWithPath, its
  // stored path collapsed as ExtractFiles does). Nothing is checked: ExtractFiles refuses
  // an unsafe name or path. Throws "Index out of bounds".
  std::string TargetOf(int index, const std::string& destination) const;

  const std::string& ArchiveFileName() const { return fileName_; }
  const TArchiveTrailer& Trailer() const { return trailer_; }

  // Published properties. Only ExtractWithPath and CheckCRC are consulted here; the rest
  // belong to archive creation.
  TFileCompressionLevel CompressionLevel = TFileCompressionLevel::fcMaximum;
  bool ExtractWithPath = false;
  bool CheckCRC = false;
  bool SavePaths = false;
  bool RecursePaths = false;
  // Keeps the archive file open (reading, denying writes and deletes to others) from a
  // successful OpenArchive to CloseArchive, and extracts through that same handle: the
  // bytes extracted are the bytes checked, and nobody can replace the file in between.
  // Set before OpenArchive.
  bool HoldArchive = false;

  // Published events. OnStreamExtracted and OnErrorLogged are never raised.
  TReplaceFileEvent OnReplaceFile;
  TFileExtractedEvent OnFileExtracted;
  TNotifyEvent OnArchiveOpened;
  TFileExtractedEvent OnStreamExtracted;
  TErrorLogEvent OnErrorLogged;
  TProgressEvent OnProgress;

  // done / total × 100, rounded to the nearest integer, halves to even (exact).
  static int Percentage(uint32_t done, uint32_t total);

 private:
  enum class TPhase { Idle, ReadingList, Extracting };

  void LoadFileList(IArchiveFile& file, uint64_t bodySize);
  void ExtractEntry(IArchiveFile& archive, int index, const std::string& destination);
  std::string TargetDirectory(const TArchiveEntry& entry, const std::string& destination) const;
  void SetIdle();
  void ReportProgress();

  IArchiveIo& io_;
  std::string fileName_;
  TArchiveTrailer trailer_{};
  std::vector<TArchiveEntry> entries_;
  std::unique_ptr<IArchiveFile> held_;  // with HoldArchive, from OpenArchive to CloseArchive
  bool destroying_ = false;

  TPhase phase_ = TPhase::Idle;
  std::string status_;
  uint32_t total_ = 0;
  uint32_t done_ = 0;
};

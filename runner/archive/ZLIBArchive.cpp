#include "ZLIBArchive.h"

#include <cstring>
#include <memory>

#include "Properties.h"
#include "RunnerError.h"
#include "ZLibUtils.h"

namespace {

constexpr size_t kBlockSize = 4096;  // inflated data move in blocks of this size
constexpr size_t kCrcBlockSize = 10240;
// Deflate cannot expand data by more than 1032:1 (258-byte matches in a 2-bit code), so
// a claimed size beyond that is a lie that need not be tried.
constexpr uint64_t kMaxInflateRatio = 1032;

TRunnerError Corrupt(int index) {
  return TRunnerError("File (" + std::to_string(index) + ") is corrupt");
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDeviceName(const std::string& name) {
  // Windows maps these to devices in any directory, with any extension, and ignores
  // blanks before the extension ("NUL .txt").
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  base = UpperAscii(base);
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$",
                                         "CLOCK$"};
  for (const char* d : kDevices)
    if (base == d) return true;
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0)) {
    const unsigned char n = static_cast<unsigned char>(base[3]);
    // COM1-COM9, and the superscript digits 1, 2, 3 of the ANSI code page.
    return (n >= '1' && n <= '9') || n == 0xB9 || n == 0xB2 || n == 0xB3;
  }
  return false;
}

}  // namespace

std::string ShortString(const uint8_t (&field)[256]) {
  return std::string(reinterpret_cast<const char*>(field + 1), field[0]);
}

void SetShortString(uint8_t (&field)[256], const std::string& text) {
  std::memset(field, 0, sizeof field);
  const size_t n = text.size() < 255 ? text.size() : 255;
  field[0] = static_cast<uint8_t>(n);
  std::memcpy(field + 1, text.data(), n);
}

bool IsSafeFileName(const std::string& name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
  for (const char ch : name) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || std::strchr("\\/:*?\"<>|", c)) return false;
  }
  return !IsDeviceName(name);
}

bool IsSafeStoredPath(const std::string& path) {
  size_t start = 0;
  while (start < path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (end > start && !IsSafeFileName(path.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

void MakeDirectoryPath(IArchiveIo& io, const std::string& path) {
  if (path.empty() || io.DirectoryExists(path)) return;
  std::string parent = path.substr(0, path.size() - 1);
  while (!parent.empty() && !IsSeparator(parent.back())) parent.pop_back();
  MakeDirectoryPath(io, parent);
  io.MakeDirectory(path);
}

TZLibArchive::TZLibArchive(IArchiveIo& io) : io_(io) {}

TZLibArchive::~TZLibArchive() {
  destroying_ = true;
  CloseArchive();
}

int TZLibArchive::Percentage(uint32_t done, uint32_t total) {
  if (total == 0) return 0;
  const uint64_t scaled = uint64_t{done} * 100;
  uint64_t q = scaled / total;
  const uint64_t twiceRest = (scaled % total) * 2;
  if (twiceRest > total || (twiceRest == total && (q & 1))) ++q;
  return static_cast<int>(q);
}

void TZLibArchive::ReportProgress() {
  if (destroying_ || !OnProgress) return;
  if (phase_ == TPhase::Idle)
    OnProgress(*this, fileName_, 0);
  else
    OnProgress(*this, status_, Percentage(done_, total_));
}

void TZLibArchive::SetIdle() {
  phase_ = TPhase::Idle;
  ReportProgress();
}

bool TZLibArchive::OpenArchive(const std::string& name) {
  CloseArchive();
  if (name.empty()) return false;
  // A failed open leaves no archive: the name is only kept once the file checked out.
  if (!io_.FileExists(name)) throw TRunnerError("Archive file not found");
  std::unique_ptr<IArchiveFile> file = io_.OpenRead(name);
  if (!file) throw TRunnerError("Unable to open file (" + name + ")");

  const uint64_t size = file->Size();
  bool sound = size >= kTrailerSize;
  const uint64_t body = sound ? size - kTrailerSize : 0;
  uint32_t crc = 0;
  {
    std::unique_ptr<unsigned char[]> block(new unsigned char[kCrcBlockSize]);
    for (uint64_t left = body; sound && left;) {
      const size_t want = left < kCrcBlockSize ? static_cast<size_t>(left) : kCrcBlockSize;
      sound = file->Read(block.get(), want) == want;
      if (sound) crc = Crc32(crc, block.get(), want);
      left -= want;
    }
  }
  sound = sound && file->Seek(body) && file->Read(&trailer_, kTrailerSize) == kTrailerSize &&
          trailer_.crc == crc;
  if (!sound) {
    std::memset(&trailer_, 0, sizeof trailer_);
    throw TRunnerError("The archive file appears to be corrupted");
  }

  fileName_ = name;
  try {
    LoadFileList(*file, body);
    if (OnArchiveOpened) OnArchiveOpened(*this);
  } catch (...) {
    // Also a handler's own exception and too little memory for the list.
    file.reset();
    CloseArchive();
    throw TRunnerError("Unable to read archive file list");
  }
  if (HoldArchive)
    held_ = std::move(file);
  else
    file.reset();
  SetIdle();
  return true;
}

void TZLibArchive::LoadFileList(IArchiveFile& file, uint64_t bodySize) {
  if (trailer_.count <= 0) return;
  const uint64_t count = static_cast<uint64_t>(trailer_.count);
  const uint64_t listBytes = count * kEntrySize;
  // The list lies before the trailer; sizes are 32-bit in this format.
  if (listBytes > 0x7FFFFFFFu || trailer_.listOffset > bodySize)
    throw TRunnerError("file list out of range");
  const uint64_t available = bodySize - trailer_.listOffset;
  if (!file.Seek(trailer_.listOffset)) throw TRunnerError("seek failed");

  if (trailer_.listFlag == 0) {
    if (listBytes > available) throw TRunnerError("file list out of range");
    entries_.resize(static_cast<size_t>(count));
    if (file.Read(entries_.data(), static_cast<size_t>(listBytes)) != listBytes)
      throw TRunnerError("short read");
    return;
  }

  if (listBytes > available * kMaxInflateRatio) throw TRunnerError("file list out of range");
  phase_ = TPhase::ReadingList;
  status_ = "Extracting archive registry";
  total_ = static_cast<uint32_t>(listBytes);
  done_ = 0;
  TInflater inflater(file, available);
  // Grown as data arrive rather than sized up front: a hostile count then costs only
  // as much memory as the stream really inflates to.
  std::vector<unsigned char> list;
  list.reserve(static_cast<size_t>(listBytes < (1u << 20) ? listBytes : (1u << 20)));
  unsigned char block[kBlockSize];
  for (uint64_t left = listBytes; left;) {
    const size_t want = left < kBlockSize ? static_cast<size_t>(left) : kBlockSize;
    const size_t got = inflater.Read(block, want);
    done_ += static_cast<uint32_t>(got);
    ReportProgress();
    if (got != want) throw TRunnerError("file list stream ended early");
    list.insert(list.end(), block, block + got);
    left -= want;
  }
  if (!inflater.AtCleanEnd()) throw TRunnerError("file list stream too long");
  entries_.resize(static_cast<size_t>(count));
  std::memcpy(entries_.data(), list.data(), list.size());
}

void TZLibArchive::CloseArchive() {
  held_.reset();
  entries_.clear();
  std::memset(&trailer_, 0, sizeof trailer_);
  fileName_.clear();
  SetIdle();
}

int TZLibArchive::FileCount() const {
  if (fileName_.empty()) throw TRunnerError("No archive is currently open");
  return static_cast<int>(entries_.size());
}

void TZLibArchive::GetFileEntry(int index, TArchiveEntry& entry) const {
  if (index < 0 || static_cast<size_t>(index) >= entries_.size())
    throw TRunnerError("Index out of bounds");
  entry = entries_[static_cast<size_t>(index)];
}

void TZLibArchive::ExtractFiles(const std::string& destination,
                                const std::vector<std::string>* skip) {
  if (fileName_.empty()) throw TRunnerError("No archive is currently open");
  std::unique_ptr<IArchiveFile> opened;
  if (!held_) {
    opened = io_.OpenRead(fileName_);
    if (!opened) throw TRunnerError("Unable to open file (" + fileName_ + ")");
  }
  IArchiveFile* const file = held_ ? held_.get() : opened.get();
  try {
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (skip) {
        const std::string name = ShortString(entries_[i].fileName);
        bool listed = false;
        for (const std::string& s : *skip) listed = listed || SameTextAscii(s, name);
        if (listed) continue;
      }
      ExtractEntry(*file, static_cast<int>(i), destination);
    }
  } catch (...) {
    opened.reset();
    SetIdle();
    throw;
  }
  opened.reset();
  SetIdle();
}

std::string TZLibArchive::TargetDirectory(const TArchiveEntry& entry,
                                          const std::string& destination) const {
  std::string stored = ExtractWithPath ? ShortString(entry.storedPath) : std::string();
  // "/" separates directories on Windows too; one spelling keeps the clean-up below whole.
  for (char& c : stored)
    if (c == '/') c = '\\';
  std::string dir = destination;
  if (dir.empty() || dir.back() != '\\') dir += '\\';
  dir += stored;
  // Doubled backslashes collapse, except the two that open a UNC destination.
  const size_t keep = dir.compare(0, 2, "\\\\") == 0 ? 1 : 0;
  for (size_t at; (at = dir.find("\\\\", keep)) != std::string::npos;) dir.erase(at, 1);
  if (dir.size() > 1 && dir.back() == '\\') dir.pop_back();
  return dir;
}

std::string TZLibArchive::TargetOf(int index, const std::string& destination) const {
  TArchiveEntry entry;
  GetFileEntry(index, entry);
  return TargetDirectory(entry, destination) + '\\' + ShortString(entry.fileName);
}

void TZLibArchive::ExtractEntry(IArchiveFile& archive, int index,
                                const std::string& destination) {
  const TArchiveEntry& entry = entries_[static_cast<size_t>(index)];
  const std::string name = ShortString(entry.fileName);
  const std::string stored = ExtractWithPath ? ShortString(entry.storedPath) : std::string();

  // Everything the entry says is checked before anything is created for it.
  if (!IsSafeFileName(name) || !IsSafeStoredPath(stored) || entry.size < 0)
    throw Corrupt(index);
  const uint64_t size = static_cast<uint64_t>(entry.size);
  const uint64_t archiveSize = archive.Size();
  const uint64_t body = archiveSize >= kTrailerSize ? archiveSize - kTrailerSize : 0;
  if (entry.offset > body) throw Corrupt(index);
  const uint64_t available = body - entry.offset;
  const bool inflate = entry.storage == 0;
  if (size > (inflate ? available * kMaxInflateRatio : available)) throw Corrupt(index);

  const std::string dir = TargetDirectory(entry, destination);
  MakeDirectoryPath(io_, dir);
  if (!io_.DirectoryExists(dir)) throw TRunnerError("Unable to create destination path");

  const std::string target = dir + '\\' + name;
  if (io_.FileExists(target) || io_.DirectoryExists(target)) {
    bool replace = true;
    if (OnReplaceFile) {
      replace = false;
      OnReplaceFile(*this, target, replace);
    }
    if (!replace) return;
    io_.ClearAttributes(target);
  }
  std::unique_ptr<IArchiveFile> out = io_.Create(target);
  if (!out) throw TRunnerError("Cannot create file " + target);

  if (!archive.Seek(entry.offset)) throw Corrupt(index);
  // An empty entry reads nothing, whatever its storage byte says.
  std::unique_ptr<TInflater> inflater;
  if (inflate && size) inflater = std::make_unique<TInflater>(archive, available);
  phase_ = TPhase::Extracting;
  total_ = static_cast<uint32_t>(size);
  done_ = 0;
  status_ = "Extracting " + name;

  uint32_t crc = 0;
  unsigned char block[kBlockSize];
  for (uint64_t left = size; left;) {
    const size_t want = left < kBlockSize ? static_cast<size_t>(left) : kBlockSize;
    size_t got = 0;
    const unsigned char* data = block;
    try {
      // Inflated blocks are written straight from the inflater's buffer.
      if (inflater)
        data = inflater->Read(want, got, block);
      else
        got = archive.Read(block, want);
    } catch (const TRunnerError&) {
      throw Corrupt(index);
    }
    done_ += static_cast<uint32_t>(got);
    ReportProgress();
    if (got && !out->Write(data, got)) throw Corrupt(index);
    if (got != want) throw Corrupt(index);
    if (CheckCRC) crc = Crc32(crc, data, got);
    left -= want;
  }
  // The stream must end (its Adler-32 verified) exactly where the size says.
  if (inflater && !inflater->AtCleanEnd()) throw Corrupt(index);
  inflater.reset();
  if (!out->Flush()) throw Corrupt(index);
  // The bytes are checked as they are written rather than read back from the target:
  // the same bytes, without a second pass over the file.
  if (CheckCRC && crc != entry.crc) throw Corrupt(index);
  out.reset();
  if (OnFileExtracted) OnFileExtracted(*this, destination + name);
}

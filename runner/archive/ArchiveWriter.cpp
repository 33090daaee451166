#include "ArchiveWriter.h"

#include <algorithm>
#include <cstring>

#include "RunnerError.h"
#include "ZLibUtils.h"

namespace {
constexpr uint64_t kMaxArchiveSize = 0x7FFFFFFFu;
}

// Where an entry's bytes come from: a string in memory or a file read in blocks.
class TArchiveWriter::TSource {
 public:
  virtual ~TSource() = default;
  virtual size_t Read(void* buffer, size_t n) = 0;
};

namespace {

class TStringSource : public TArchiveWriter::TSource {
 public:
  explicit TStringSource(const std::string& s) : s_(s) {}
  size_t Read(void* buffer, size_t n) override {
    const size_t k = std::min(n, s_.size() - at_);
    std::memcpy(buffer, s_.data() + at_, k);
    at_ += k;
    return k;
  }

 private:
  const std::string& s_;
  size_t at_ = 0;
};

class TFileSource : public TArchiveWriter::TSource {
 public:
  explicit TFileSource(IArchiveFile& f) : f_(f) {}
  size_t Read(void* buffer, size_t n) override { return f_.Read(buffer, n); }

 private:
  IArchiveFile& f_;
};

}  // namespace

TArchiveWriter::TArchiveWriter(IArchiveIo& io, const std::string& path, int level)
    : out_(io.Create(path)), path_(path), level_(level) {
  if (!out_) throw TRunnerError("Cannot create file " + path);
}

TArchiveWriter::~TArchiveWriter() = default;

void TArchiveWriter::Put(const void* data, size_t n) {
  if (position_ + n > kMaxArchiveSize) throw TRunnerError("Archive would exceed 2 GiB");
  if (!out_->Write(data, n)) throw TRunnerError("Cannot write " + path_);
  crc_ = Crc32(crc_, data, n);
  position_ += n;
}

void TArchiveWriter::Add(TSource& source, const std::string& name,
                         const std::string& storedPath, bool compress) {
  if (!out_) throw TRunnerError("Archive already finished");
  if (name.size() > 255 || storedPath.size() > 255 || !IsSafeFileName(name) ||
      !IsSafeStoredPath(storedPath))
    throw TRunnerError("Name not allowed in an archive: " + storedPath + "\\" + name);
  TArchiveEntry e{};
  SetShortString(e.fileName, name);
  SetShortString(e.storedPath, storedPath);
  e.offset = static_cast<uint32_t>(position_);
  e.storage = compress ? 0 : 1;

  uint64_t size = 0;
  uint32_t crc = 0;
  std::vector<unsigned char> block(64 * 1024);
  // An empty file gets no data at all, stored or not.
  std::unique_ptr<TDeflater> deflater;
  for (;;) {
    const size_t got = source.Read(block.data(), block.size());
    if (!got) break;
    if (compress && !deflater)
      deflater = std::make_unique<TDeflater>(level_, [this](const void* d, size_t n) { Put(d, n); });
    size += got;
    if (size > kMaxArchiveSize) throw TRunnerError("File too large: " + name);
    crc = Crc32(crc, block.data(), got);
    if (deflater)
      deflater->Write(block.data(), got);
    else
      Put(block.data(), got);
  }
  if (deflater) deflater->Finish();
  e.size = static_cast<int32_t>(size);
  e.crc = crc;
  entries_.push_back(e);
}

void TArchiveWriter::AddData(const std::string& name, const std::string& storedPath,
                             const std::string& data, bool compress) {
  TStringSource source(data);
  Add(source, name, storedPath, compress);
}

void TArchiveWriter::AddFile(const std::string& sourcePath, const std::string& name,
                             const std::string& storedPath, bool compress) {
  std::unique_ptr<IArchiveFile> in = DefaultArchiveIo().OpenRead(sourcePath);
  if (!in) throw TRunnerError("Unable to open file (" + sourcePath + ")");
  TFileSource source(*in);
  Add(source, name, storedPath, compress);
}

void TArchiveWriter::Finish(bool compressList) {
  if (!out_) throw TRunnerError("Archive already finished");
  TArchiveTrailer t{};
  t.count = static_cast<int32_t>(entries_.size());
  t.listOffset = static_cast<uint32_t>(position_);
  t.listFlag = compressList ? 1 : 0;
  const size_t listBytes = entries_.size() * sizeof(TArchiveEntry);
  if (compressList) {
    TDeflater deflater(level_, [this](const void* d, size_t n) { Put(d, n); });
    deflater.Write(entries_.data(), listBytes);
    deflater.Finish();
  } else {
    Put(entries_.data(), listBytes);
  }
  t.crc = crc_;
  Put(&t, sizeof t);
  const bool flushed = out_->Flush();
  out_.reset();
  if (!flushed) throw TRunnerError("Cannot write " + path_);
}

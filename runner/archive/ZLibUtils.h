// CRC-32 and zlib stream helpers shared by the archive reader, the writer and the tools.
#pragma once
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

class IArchiveFile;

// The reflected CRC-32 of zlib and PKZIP (polynomial 0xEDB88320, initial value and final
// complement 0xFFFFFFFF), slicing by 8 bytes. Chain calls: Crc32(Crc32(0, a, n), b, m)
// equals the CRC of a followed by b. Crc32(0, nullptr, 0) is 0.
uint32_t Crc32(uint32_t crc, const void* data, size_t n);

// A zlib stream (RFC 1950, 15-bit window) read from a file, starting at the file's current
// position and never reading more than `available` bytes of it. Owns the z_stream.
// Inflates ahead into its own 64 KiB buffer: zlib's fast path needs room to run, and
// callers read in small blocks.
class TInflater {
 public:
  // Throws TRunnerError when zlib cannot be initialised.
  TInflater(IArchiveFile& source, uint64_t available);
  ~TInflater();
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;

  // Inflates up to `n` bytes into `out` and returns how many it got: fewer than `n` only
  // when the stream ended or its input ran out. Throws TRunnerError on damaged data.
  size_t Read(void* out, size_t n);
  // The same without a copy when it can: returns a pointer into the inflater's own buffer
  // (valid until the next call) when the `n` bytes lie there in one piece, else copies
  // into `scratch` (n bytes) and returns it. `got` as Read returns it.
  const unsigned char* Read(size_t n, size_t& got, unsigned char* scratch);
  // True when the stream ends exactly here: its Adler-32 check was read and verified and
  // nothing more would inflate. Never throws.
  bool AtCleanEnd();

 private:
  void Refill();
  // Inflates more into the empty output buffer; false when nothing more came.
  bool InflateMore();

  static constexpr size_t kBufferSize = 64 * 1024;
  z_stream z_{};
  IArchiveFile& source_;
  uint64_t left_;
  bool ended_ = false;
  std::unique_ptr<unsigned char[]> in_;
  std::unique_ptr<unsigned char[]> out_;
  size_t outStart_ = 0, outEnd_ = 0;
};

// Compresses into one zlib stream handed out through `sink`. Throws TRunnerError.
class TDeflater {
 public:
  using TSink = std::function<void(const void* data, size_t n)>;
  TDeflater(int level, TSink sink);
  ~TDeflater();
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;

  void Write(const void* data, size_t n);
  // Ends the stream; no Write after it.
  void Finish();

 private:
  void Run(int flush);

  z_stream z_{};
  TSink sink_;
  unsigned char out_[64 * 1024];
};

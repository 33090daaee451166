#include "ZLibUtils.h"

#include <array>
#include <cstring>

#include "ArchiveIo.h"
#include "RunnerError.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the slicing CRC below assumes a little-endian host"
#endif

namespace {

using TCrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr TCrcTables MakeCrcTables() {
  TCrcTables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][i] = c;
  }
  // t[k][i]: the CRC of byte i followed by k zero bytes.
  for (uint32_t i = 0; i < 256; ++i)
    for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  return t;
}

constexpr TCrcTables kCrc = MakeCrcTables();

}  // namespace

uint32_t Crc32(uint32_t crc, const void* data, size_t n) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  uint32_t c = ~crc;
  while (n && (reinterpret_cast<uintptr_t>(p) & 7)) {
    c = kCrc[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    --n;
  }
  while (n >= 8) {
    uint32_t lo, hi;
    std::memcpy(&lo, p, 4);
    std::memcpy(&hi, p + 4, 4);
    lo ^= c;
    c = kCrc[7][lo & 0xFF] ^ kCrc[6][(lo >> 8) & 0xFF] ^ kCrc[5][(lo >> 16) & 0xFF] ^
        kCrc[4][lo >> 24] ^ kCrc[3][hi & 0xFF] ^ kCrc[2][(hi >> 8) & 0xFF] ^
        kCrc[1][(hi >> 16) & 0xFF] ^ kCrc[0][hi >> 24];
    p += 8;
    n -= 8;
  }
  while (n--) c = kCrc[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
  return ~c;
}

TInflater::TInflater(IArchiveFile& source, uint64_t available)
    : source_(source), left_(available) {
  if (inflateInit(&z_) != Z_OK) throw TRunnerError("zlib inflateInit failed");
}

TInflater::~TInflater() { inflateEnd(&z_); }

void TInflater::Refill() {
  if (z_.avail_in || !left_) return;
  const size_t want = left_ < sizeof in_ ? static_cast<size_t>(left_) : sizeof in_;
  const size_t got = source_.Read(in_, want);
  left_ = got == want ? left_ - got : 0;  // a short read is the end of what we get
  z_.next_in = in_;
  z_.avail_in = static_cast<uInt>(got);
}

size_t TInflater::Read(void* out, size_t n) {
  z_.next_out = static_cast<Bytef*>(out);
  z_.avail_out = static_cast<uInt>(n);
  while (z_.avail_out && !ended_) {
    Refill();
    const int rc = inflate(&z_, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) {
      ended_ = true;
    } else if (rc == Z_BUF_ERROR) {
      break;  // no progress possible: the input ran out before the stream ended
    } else if (rc != Z_OK) {
      throw TRunnerError(z_.msg ? z_.msg : "zlib inflate failed");
    }
  }
  return n - z_.avail_out;
}

bool TInflater::AtCleanEnd() {
  unsigned char probe;
  try {
    // Up to this point the stream gave exactly what was asked for; it must now end.
    if (!ended_ && Read(&probe, 1) != 0) return false;
  } catch (const TRunnerError&) {
    return false;
  }
  return ended_;
}

TDeflater::TDeflater(int level, TSink sink) : sink_(std::move(sink)) {
  if (deflateInit(&z_, level) != Z_OK) throw TRunnerError("zlib deflateInit failed");
}

TDeflater::~TDeflater() { deflateEnd(&z_); }

void TDeflater::Run(int flush) {
  for (;;) {
    z_.next_out = out_;
    z_.avail_out = sizeof out_;
    const int rc = deflate(&z_, flush);
    if (rc == Z_STREAM_ERROR) throw TRunnerError("zlib deflate failed");
    const size_t have = sizeof out_ - z_.avail_out;
    if (have) sink_(out_, have);
    if (flush == Z_FINISH ? rc == Z_STREAM_END : (z_.avail_in == 0 && z_.avail_out != 0))
      return;
  }
}

void TDeflater::Write(const void* data, size_t n) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  while (n) {
    const uInt chunk = n > (1u << 30) ? (1u << 30) : static_cast<uInt>(n);
    z_.next_in = const_cast<Bytef*>(p);
    z_.avail_in = chunk;
    Run(Z_NO_FLUSH);
    p += chunk;
    n -= chunk;
  }
}

void TDeflater::Finish() {
  z_.next_in = nullptr;
  z_.avail_in = 0;
  Run(Z_FINISH);
}

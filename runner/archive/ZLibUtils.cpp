#include "ZLibUtils.h"

#include <algorithm>
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

// Product of two polynomials modulo the CRC polynomial, in the reflected representation
// (bit 31 is x^0).
// Without branches: the bits of `a` are data, and mispredicted jumps cost more than the
// arithmetic.
uint32_t MultModP(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (int i = 31; i >= 0; --i) {
    product ^= b & (0u - ((a >> i) & 1));
    b = (b >> 1) ^ (0xEDB88320u & (0u - (b & 1)));
  }
  return product;
}

// x^(8 n) modulo the polynomial: multiplying a CRC register by it is the same as running
// the register over n zero bytes.
uint32_t ShiftConstant(size_t n) {
  uint32_t result = 1u << 31;  // x^0
  uint32_t square = 1u << 23;  // x^8
  for (; n; n >>= 1) {
    if (n & 1) result = MultModP(result, square);
    square = MultModP(square, square);
  }
  return result;
}

inline uint32_t Slice8(uint32_t c, const unsigned char* p) {
  uint32_t lo, hi;
#if UINTPTR_MAX > 0xFFFFFFFFu
  uint64_t word;  // one load instead of two where registers are 64 bits wide
  std::memcpy(&word, p, 8);
  lo = static_cast<uint32_t>(word);
  hi = static_cast<uint32_t>(word >> 32);
#else
  std::memcpy(&lo, p, 4);
  std::memcpy(&hi, p + 4, 4);
#endif
  lo ^= c;
  return kCrc[7][lo & 0xFF] ^ kCrc[6][(lo >> 8) & 0xFF] ^ kCrc[5][(lo >> 16) & 0xFF] ^
         kCrc[4][lo >> 24] ^ kCrc[3][hi & 0xFF] ^ kCrc[2][(hi >> 8) & 0xFF] ^
         kCrc[1][(hi >> 16) & 0xFF] ^ kCrc[0][hi >> 24];
}

// Four lanes of this many bytes are run side by side: one lane is bound by the latency
// of its table look-ups, four independent ones keep the CPU busy. The lanes' registers
// are then joined by shifting the earlier ones over the later lanes' lengths.
constexpr size_t kLane = 1024;

}  // namespace

uint32_t Crc32(uint32_t crc, const void* data, size_t n) {
  static const uint32_t kShift1 = ShiftConstant(kLane);
  static const uint32_t kShift2 = ShiftConstant(2 * kLane);
  static const uint32_t kShift3 = ShiftConstant(3 * kLane);
  const unsigned char* p = static_cast<const unsigned char*>(data);
  uint32_t c = ~crc;
  while (n && (reinterpret_cast<uintptr_t>(p) & 7)) {
    c = kCrc[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    --n;
  }
  for (; n >= 4 * kLane; n -= 4 * kLane, p += 4 * kLane) {
    uint32_t a = c, b = 0, d = 0, e = 0;
    for (size_t k = 0; k < kLane; k += 8) {
      a = Slice8(a, p + k);
      b = Slice8(b, p + kLane + k);
      d = Slice8(d, p + 2 * kLane + k);
      e = Slice8(e, p + 3 * kLane + k);
    }
    c = MultModP(kShift3, a) ^ MultModP(kShift2, b) ^ MultModP(kShift1, d) ^ e;
  }
  for (; n >= 8; n -= 8, p += 8) c = Slice8(c, p);
  while (n--) c = kCrc[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
  return ~c;
}

TInflater::TInflater(IArchiveFile& source, uint64_t available)
    : source_(source),
      left_(available),
      in_(new unsigned char[kBufferSize]),
      out_(new unsigned char[kBufferSize]) {
  if (inflateInit(&z_) != Z_OK) throw TRunnerError("zlib inflateInit failed");
}

TInflater::~TInflater() { inflateEnd(&z_); }

void TInflater::Refill() {
  if (z_.avail_in || !left_) return;
  const size_t want = left_ < kBufferSize ? static_cast<size_t>(left_) : kBufferSize;
  const size_t got = source_.Read(in_.get(), want);
  left_ = got == want ? left_ - got : 0;  // a short read is the end of what we get
  z_.next_in = in_.get();
  z_.avail_in = static_cast<uInt>(got);
}

bool TInflater::InflateMore() {
  z_.next_out = out_.get();
  z_.avail_out = kBufferSize;
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
  outStart_ = 0;
  outEnd_ = kBufferSize - z_.avail_out;
  return outEnd_ != 0;
}

size_t TInflater::Read(void* out, size_t n) {
  unsigned char* to = static_cast<unsigned char*>(out);
  size_t got = 0;
  while (got < n) {
    if (outStart_ == outEnd_ && (ended_ || !InflateMore())) break;
    const size_t k = std::min(n - got, outEnd_ - outStart_);
    std::memcpy(to + got, out_.get() + outStart_, k);
    outStart_ += k;
    got += k;
  }
  return got;
}

const unsigned char* TInflater::Read(size_t n, size_t& got, unsigned char* scratch) {
  if (outStart_ == outEnd_ && !ended_) InflateMore();
  if (outEnd_ - outStart_ >= n) {
    const unsigned char* view = out_.get() + outStart_;
    outStart_ += n;
    got = n;
    return view;
  }
  got = Read(scratch, n);
  return scratch;
}

bool TInflater::AtCleanEnd() {
  if (outStart_ != outEnd_) return false;  // inflated data left over
  try {
    if (!ended_ && InflateMore()) return false;
  } catch (const TRunnerError&) {
    return false;
  }
  return ended_;
}

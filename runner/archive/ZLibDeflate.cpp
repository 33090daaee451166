// The deflater lives apart from the reader so that ZqRunner, which only inflates, links
// no compressor: the linker pulls zlib's deflate in as soon as an object refers to it.
#include "RunnerError.h"
#include "ZLibUtils.h"

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

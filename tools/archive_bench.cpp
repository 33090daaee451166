// Measurements for docs/archive.md (scripts/bench-archive.sh runs them):
//   archive_bench crc MIB             own CRC-32 against zlib's crc32() over MIB MiB
//   archive_bench data FILE MIB       writes MIB MiB of compressible text to FILE
//   archive_bench extract ARCHIVE DIR TZLibArchive open + ExtractFiles of ARCHIVE into DIR,
//                                     against a raw zlib inflate + fwrite of its first
//                                     entry's stream into DIR/raw.out
// Times are wall-clock, best of 7 runs (best of 3 for the CRC), the two taking turns.
#include <zlib.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ZLIBArchive.h"
#include "ZLibUtils.h"

namespace {

double Seconds(const std::chrono::steady_clock::time_point& since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

template <typename F>
double Time(F f) {
  const auto t = std::chrono::steady_clock::now();
  f();
  return Seconds(t);
}

template <typename F>
double BestOf3(F f) {
  double best = 1e9;
  for (int i = 0; i < 3; ++i) best = std::min(best, Time(f));
  return best;
}

int Crc(size_t mib) {
  std::vector<unsigned char> buf(mib << 20);
  uint32_t x = 12345;
  for (auto& b : buf) b = static_cast<unsigned char>((x = x * 1103515245u + 12345u) >> 24);
  uint32_t own = 0, theirs = 0;
  const double tOwn = BestOf3([&] { own = Crc32(0, buf.data(), buf.size()); });
  const double tZlib = BestOf3([&] {
    theirs = static_cast<uint32_t>(crc32(0, buf.data(), static_cast<uInt>(buf.size())));
  });
  std::printf("crc32 %zu MiB: own %.0f MB/s, zlib %.0f MB/s, ratio %.2f (%s)\n", mib,
              buf.size() / tOwn / 1e6, buf.size() / tZlib / 1e6, tZlib / tOwn,
              own == theirs ? "same value" : "VALUES DIFFER");
  return own == theirs ? 0 : 1;
}

int Data(const char* path, size_t mib) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return 1;
  // Log-like lines: compressible (about 10:1 at level 9) but not trivially so.
  uint32_t x = 1;
  std::string line;
  size_t written = 0;
  while (written < (mib << 20)) {
    x = x * 1103515245u + 12345u;
    line = "2026-12-07 09:" + std::to_string((x >> 8) % 60) + " backup block " +
           std::to_string((x >> 4) % 100000) + " stored, " + std::to_string(x % 997) +
           " KiB, status OK\n";
    const size_t n = std::min(line.size(), (mib << 20) - written);
    std::fwrite(line.data(), 1, n, f);
    written += n;
  }
  return std::fclose(f) == 0 ? 0 : 1;
}

void RawInflate(const char* archivePath, uint32_t offset, const std::string& outPath) {
  FILE* in = std::fopen(archivePath, "rb");
  FILE* out = std::fopen(outPath.c_str(), "wb");
  if (!in || !out) std::exit(1);
  std::fseek(in, static_cast<long>(offset), SEEK_SET);
  z_stream z{};
  inflateInit(&z);
  static unsigned char ib[65536], ob[65536];
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    z.avail_in = static_cast<uInt>(std::fread(ib, 1, sizeof ib, in));
    z.next_in = ib;
    if (!z.avail_in) break;
    do {
      z.next_out = ob;
      z.avail_out = sizeof ob;
      rc = inflate(&z, Z_NO_FLUSH);
      std::fwrite(ob, 1, sizeof ob - z.avail_out, out);
    } while (z.avail_out == 0 && rc == Z_OK);
    if (rc != Z_OK && rc != Z_STREAM_END) break;
  }
  inflateEnd(&z);
  std::fclose(in);
  std::fclose(out);
}

// Process CPU time (user + system), steadier than wall-clock on a shared machine.
double CpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

int Extract(const char* archivePath, const std::string& dir) {
  TArchiveEntry e;
  {
    TZLibArchive a;
    a.OpenArchive(archivePath);
    a.GetFileEntry(0, e);
  }
  double own = 1e9, raw = 1e9, ownCpu = 1e9, rawCpu = 1e9;
  for (int i = 0; i < 7; ++i) {
    double c = CpuSeconds();
    own = std::min(own, Time([&] {
      TZLibArchive a;
      a.OpenArchive(archivePath);
      a.ExtractFiles(dir, nullptr);
    }));
    ownCpu = std::min(ownCpu, CpuSeconds() - c);
    c = CpuSeconds();
    raw = std::min(raw, Time([&] { RawInflate(archivePath, e.offset, dir + "/raw.out"); }));
    rawCpu = std::min(rawCpu, CpuSeconds() - c);
  }
  std::printf("extract %d MiB: TZLibArchive open + extract %.3f s (cpu %.3f s), "
              "raw inflate + fwrite %.3f s (cpu %.3f s): ratio %.2f (cpu %.2f)\n",
              static_cast<int>(e.size >> 20), own, ownCpu, raw, rawCpu, own / raw,
              ownCpu / rawCpu);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string cmd = argc > 1 ? argv[1] : "";
  if (cmd == "crc" && argc == 3) return Crc(std::strtoul(argv[2], nullptr, 10));
  if (cmd == "data" && argc == 4) return Data(argv[2], std::strtoul(argv[3], nullptr, 10));
  if (cmd == "extract" && argc == 4) return Extract(argv[2], argv[3]);
  std::fputs("usage: archive_bench crc MIB | data FILE MIB | extract ARCHIVE DIR\n", stderr);
  return 2;
}

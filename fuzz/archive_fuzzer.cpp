// libFuzzer target: OpenArchive + ExtractFiles on arbitrary bytes, into a private
// temporary folder. Aborts when the reader asks to create a file or directory that is not
// below the destination (checked lexically at the I/O layer, with Windows separators and
// drive/stream colons in mind), when anything appears beside the destination folder, or
// when a progress report leaves 0-100.
//
// The whole-file CRC would stop nearly every mutated input at the door, so the harness
// writes the right CRC into the trailer unless bit 0 of trailer byte 8 (reserved) is set.
// Trailer byte 21 (reserved) picks the options: bit 0 CheckCRC, bit 1 without
// ExtractWithPath, bit 2 an OnReplaceFile handler that keeps existing files, bit 3 a skip
// list naming "skip.txt".
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "RunnerError.h"
#include "ZLIBArchive.h"
#include "ZLibUtils.h"

namespace {

std::string gRoot, gArchive, gDest;

void Setup() {
  char tmpl[] = "/tmp/zqfuzz.XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  gRoot = tmpl;
  gArchive = gRoot + "/arc.zlib";
  gDest = gRoot + "/out";
  // libFuzzer ends a timed run with exit(); a crash keeps the folder for inspection.
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(gRoot, ec);
  });
}

// Passes every call to the real file system, but first checks that whatever is created
// or changed lies strictly below the destination, as Windows would read the path.
class TGuardIo : public TStdioArchiveIo {
 public:
  std::unique_ptr<IArchiveFile> Create(const std::string& path) override {
    Check(path);
    return TStdioArchiveIo::Create(path);
  }
  bool MakeDirectory(const std::string& path) override {
    // MakeDirectoryPath walks up to existing ancestors but only creates below them.
    Check(path);
    return TStdioArchiveIo::MakeDirectory(path);
  }
  void ClearAttributes(const std::string& path) override {
    Check(path);
    TStdioArchiveIo::ClearAttributes(path);
  }

 private:
  static void Check(const std::string& path) {
    std::string p = path;
    for (char& c : p)
      if (c == '\\') c = '/';
    const std::string normal = std::filesystem::path(p).lexically_normal().string();
    const std::string below = gDest + "/";
    const bool inside = normal.compare(0, below.size(), below) == 0 && normal.size() > below.size();
    if (!inside || path.find(':') != std::string::npos) {
      std::fprintf(stderr, "escape: asked to create \"%s\"\n", path.c_str());
      std::abort();
    }
  }
};

// Only the archive and the destination may exist in the root.
void CheckNoEscape() {
  DIR* d = opendir(gRoot.c_str());
  if (!d) std::abort();
  while (dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n != "." && n != ".." && n != "arc.zlib" && n != "out") {
      std::fprintf(stderr, "escape: %s/%s\n", gRoot.c_str(), n.c_str());
      std::abort();
    }
  }
  closedir(d);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (gRoot.empty()) Setup();
  std::vector<uint8_t> bytes(data, data + size);
  uint8_t options = 0;
  if (size >= kTrailerSize) {
    uint8_t* trailer = bytes.data() + size - kTrailerSize;
    options = trailer[21];
    if (!(trailer[8] & 1)) {
      const uint32_t crc = Crc32(0, bytes.data(), size - kTrailerSize);
      std::memcpy(trailer, &crc, 4);
    }
  }
  FILE* f = std::fopen(gArchive.c_str(), "wb");
  if (!f) std::abort();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  std::error_code ec;
  std::filesystem::remove_all(gDest, ec);
  mkdir(gDest.c_str(), 0700);

  TGuardIo io;
  {
    TZLibArchive archive(io);
    archive.CheckCRC = options & 1;
    archive.ExtractWithPath = !(options & 2);
    if (options & 4) archive.OnReplaceFile = [](TZLibArchive&, const std::string&, bool& r) { r = false; };
    archive.OnProgress = [](TZLibArchive&, const std::string&, int percentage) {
      if (percentage < 0 || percentage > 100) std::abort();
    };
    const std::vector<std::string> skip = {"skip.txt"};
    try {
      if (archive.OpenArchive(gArchive)) {
        const int n = archive.FileCount();
        TArchiveEntry e;
        if (n > 0) archive.GetFileEntry(n - 1, e);
        archive.ExtractFiles(gDest, (options & 8) ? &skip : nullptr);
        // A second pass meets the files of the first one.
        archive.ExtractFiles(gDest, nullptr);
      }
    } catch (const TRunnerError&) {
    }
  }
  CheckNoEscape();
  return 0;
}

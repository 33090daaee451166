// zqarc: creates, lists, verifies and extracts update archives. See docs/archive.md.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ArchiveWriter.h"
#include "RunnerError.h"
#include "ZLIBArchive.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage:\n"
    "  zqarc create [-0..-9] [--store] [--store-list] ARCHIVE FOLDER\n"
    "      every file below FOLDER, with its directory as stored path; zlib entries at\n"
    "      level 9 unless --store or another level; --store-list keeps the list stored\n"
    "  zqarc list ARCHIVE\n"
    "  zqarc verify ARCHIVE\n"
    "      whole-file CRC, every entry's data and CRC, every name and path\n"
    "  zqarc extract [--flat] [--check-crc] [--keep] ARCHIVE DESTINATION\n"
    "      --flat: ignore stored paths; --keep: do not replace existing files\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

// Reads the archive itself, discards what an extraction would write, and pretends every
// directory exists: an extraction through it checks everything without touching the disk.
class TVerifyIo : public IArchiveIo {
 public:
  explicit TVerifyIo(const std::string& archive) : archive_(archive) {}
  std::unique_ptr<IArchiveFile> OpenRead(const std::string& path) override {
    return disk_.OpenRead(path);
  }
  std::unique_ptr<IArchiveFile> Create(const std::string&) override {
    return std::make_unique<TSink>();
  }
  bool FileExists(const std::string& path) override {
    return path == archive_ && disk_.FileExists(path);
  }
  bool DirectoryExists(const std::string&) override { return true; }
  bool MakeDirectory(const std::string&) override { return true; }
  void ClearAttributes(const std::string&) override {}

 private:
  class TSink : public IArchiveFile {
   public:
    size_t Read(void*, size_t) override { return 0; }
    bool Write(const void*, size_t) override { return true; }
    bool Flush() override { return true; }
    bool Seek(uint64_t) override { return true; }
    uint64_t Position() override { return 0; }
    uint64_t Size() override { return 0; }
  };
  std::string archive_;
  TStdioArchiveIo disk_;
};

int Create(int argc, char** argv) {
  int level = 9;
  bool store = false, storeList = false;
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.size() == 2 && a[0] == '-' && a[1] >= '0' && a[1] <= '9')
      level = a[1] - '0';
    else if (a == "--store")
      store = true;
    else if (a == "--store-list")
      storeList = true;
    else if (!a.empty() && a[0] == '-')
      return Usage();
    else
      args.push_back(a);
  }
  if (args.size() != 2) return Usage();
  const fs::path folder = args[1];
  if (!fs::is_directory(folder)) {
    std::fprintf(stderr, "zqarc: not a folder: %s\n", args[1].c_str());
    return 1;
  }
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());

  const std::string archivePath = args[0];
  std::error_code ec;
  const fs::path archiveAbs = fs::weakly_canonical(archivePath, ec);
  TArchiveWriter writer(DefaultArchiveIo(), archivePath, level);
  for (const fs::path& f : files) {
    if (!ec && fs::weakly_canonical(f) == archiveAbs) continue;
    const fs::path rel = f.lexically_relative(folder);
    std::string storedPath;
    for (const auto& part : rel.parent_path()) {
      if (!storedPath.empty()) storedPath += '\\';
      storedPath += part.string();
    }
    writer.AddFile(f.string(), rel.filename().string(), storedPath, !store);
    std::printf("  %s\n", rel.string().c_str());
  }
  writer.Finish(!storeList);
  std::printf("%zu files -> %s\n", writer.Entries().size(), archivePath.c_str());
  return 0;
}

int List(const std::string& path) {
  TZLibArchive archive;
  archive.OpenArchive(path);
  std::printf("list %s, %d entries\n", archive.Trailer().listFlag ? "zlib" : "stored",
              archive.FileCount());
  for (int i = 0; i < archive.FileCount(); ++i) {
    TArchiveEntry e;
    archive.GetFileEntry(i, e);
    std::string stored = ShortString(e.storedPath);
    if (!stored.empty() && stored.back() != '\\') stored += '\\';
    std::printf("%5d %-6s %10d %08x @%-10u %s%s\n", i, e.storage ? "stored" : "zlib",
                static_cast<int>(e.size), static_cast<unsigned>(e.crc),
                static_cast<unsigned>(e.offset), stored.c_str(),
                ShortString(e.fileName).c_str());
  }
  return 0;
}

int Verify(const std::string& path) {
  TVerifyIo io(path);
  TZLibArchive archive(io);
  archive.OpenArchive(path);
  archive.CheckCRC = true;
  archive.ExtractWithPath = true;
  archive.ExtractFiles("verify", nullptr);
  std::printf("OK: %s, %d entries\n", path.c_str(), archive.FileCount());
  return 0;
}

int Extract(int argc, char** argv) {
  TZLibArchive archive;
  archive.ExtractWithPath = true;
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--flat")
      archive.ExtractWithPath = false;
    else if (a == "--check-crc")
      archive.CheckCRC = true;
    else if (a == "--keep")
      archive.OnReplaceFile = [](TZLibArchive&, const std::string&, bool& r) { r = false; };
    else if (!a.empty() && a[0] == '-')
      return Usage();
    else
      args.push_back(a);
  }
  if (args.size() != 2) return Usage();
  int count = 0;
  archive.OnFileExtracted = [&count](TZLibArchive&, const std::string&) { ++count; };
  archive.OpenArchive(args[0]);
  archive.ExtractFiles(args[1], nullptr);
  std::printf("%d files extracted\n", count);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string cmd = argv[1];
  try {
    if (cmd == "create") return Create(argc - 2, argv + 2);
    if (cmd == "extract") return Extract(argc - 2, argv + 2);
    if (argc != 3) return Usage();
    if (cmd == "list") return List(argv[2]);
    if (cmd == "verify") return Verify(argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zqarc: %s\n", e.what());
    return 1;
  }
  return Usage();
}

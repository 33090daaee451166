// CRC-32, TArchiveWriter round trips, the archive written by the independent Python
// writer, and extraction through the real file system (TStdioArchiveIo).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "ArchiveBuilder.h"
#include "ArchiveWriter.h"
#include "MemArchiveIo.h"
#include "RunnerError.h"
#include "ZLIBArchive.h"
#include "ZLibUtils.h"

#ifdef _WIN32
// core_tests links only the portable library; the Win32 archive I/O is one
// self-contained file, so it is compiled in here to run the same cases through it.
#include "../../runner/archive/ArchiveIo_win.cpp"
#endif

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(Crc32Test, MatchesZlibForEveryLengthAndAlignment) {
  EXPECT_EQ(0u, Crc32(0, nullptr, 0));
  EXPECT_EQ(0xCBF43926u, Crc32(0, "123456789", 9));
  std::string buf(10000, '\0');
  for (size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<char>(i * 131 + i / 256 + 7);
  // Short tails, one and several four-lane chunks of 4096 bytes, and the sizes around them.
  const size_t lengths[] = {0, 1, 7, 8, 9, 63, 300, 4095, 4096, 4097, 4104, 8192, 8199, 9990};
  for (size_t start = 0; start < 9; ++start)
    for (size_t n : lengths) {
      const std::string part = buf.substr(start, n);
      EXPECT_EQ(ZlibCrc(part), Crc32(0, buf.data() + start, n)) << start << "+" << n;
    }
  // Chained calls equal one call over the whole.
  const uint32_t head = Crc32(0, buf.data(), 101);
  EXPECT_EQ(ZlibCrc(buf), Crc32(head, buf.data() + 101, buf.size() - 101));
}

// Every combination of entry storage, list storage and level reads back the same.
TEST(TArchiveWriterTest, RoundTripsThroughTheReader) {
  std::string big(100000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i % 251) ^ (i / 1000));
  const struct {
    const char* name;
    const char* path;
    std::string data;
  } files[] = {{"ZqRunner.exe", "", big}, {"empty.txt", "lib", ""}, {"a.properties", "lib\\x", "k=v\r\n"}};
  for (int level : {0, 1, 9})
    for (bool compress : {false, true})
      for (bool compressList : {false, true}) {
        TMemArchiveIo io;
        io.AddDir("C:");
        io.AddDir("C:\\Out");
        {
          TArchiveWriter writer(io, "C:\\a.zlib", level);
          for (const auto& f : files) writer.AddData(f.name, f.path, f.data, compress);
          writer.Finish(compressList);
        }
        TZLibArchive archive(io);
        archive.CheckCRC = true;
        archive.ExtractWithPath = true;
        ASSERT_TRUE(archive.OpenArchive("C:\\a.zlib"));
        EXPECT_EQ(compressList ? 1 : 0, archive.Trailer().listFlag);
        ASSERT_EQ(3, archive.FileCount());
        TArchiveEntry e;
        archive.GetFileEntry(0, e);
        EXPECT_EQ(compress ? 0 : 1, e.storage);
        archive.ExtractFiles("C:\\Out", nullptr);
        for (const auto& f : files) {
          const std::string dir = *f.path ? std::string("C:\\Out\\") + f.path + "\\" : "C:\\Out\\";
          EXPECT_EQ(f.data, io.Get(dir + f.name)) << level << compress << compressList << f.name;
        }
        if (compress && level == 9) {
          EXPECT_LT(io.Get("C:\\a.zlib").size(), big.size() / 4);
        }
      }
}

TEST(TArchiveWriterTest, RefusesNamesTheReaderWouldRefuse) {
  TMemArchiveIo io;
  io.AddDir("C:");
  TArchiveWriter writer(io, "C:\\a.zlib");
  for (const char* bad : {"..", "CON", "a\\b", "x:y", ""})
    EXPECT_THROW(writer.AddData(bad, "", "x", false), TRunnerError) << bad;
  EXPECT_THROW(writer.AddData("ok.txt", "..\\up", "x", false), TRunnerError);
  EXPECT_THROW(writer.AddData("ok.txt", std::string(256, 'a'), "x", false), TRunnerError);
  writer.AddData("ok.txt", "\\sub\\", "x", false);
  writer.Finish(true);
  EXPECT_THROW(writer.AddData("late.txt", "", "x", false), TRunnerError);
}

// The real file-system I/O implementations of this platform.
std::vector<std::pair<const char*, IArchiveIo*>> DiskIos() {
  static TStdioArchiveIo stdio;
#ifdef _WIN32
  static TWinArchiveIo win;
  return {{"stdio", &stdio}, {"win32", &win}};
#else
  return {{"stdio", &stdio}};
#endif
}

class TRealFsTest : public ::testing::Test {
 protected:
  fs::path root;
  void SetUp() override {
    root = fs::temp_directory_path() /
           ("zqarc-test-" + std::to_string(reinterpret_cast<uintptr_t>(this) & 0xFFFFFF) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root);
    fs::create_directories(root / "dest");
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  std::vector<std::string> Listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
      names.push_back(e.path().lexically_relative(dir).generic_string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

// Written by tests/archive/make_reference_archive.py with Python's own zlib and struct.
TEST_F(TRealFsTest, ExtractsTheIndependentlyWrittenArchive) {
 for (const auto& [ioName, io] : DiskIos()) {
  SCOPED_TRACE(ioName);
  fs::remove_all(root / "dest");
  TZLibArchive archive(*io);
  archive.CheckCRC = true;
  archive.ExtractWithPath = true;
  ASSERT_TRUE(archive.OpenArchive(SourceDir() + "/tests/archive/reference.zlib"));
  ASSERT_EQ(4, archive.FileCount());
  EXPECT_EQ(1, archive.Trailer().listFlag);
  archive.ExtractFiles((root / "dest").string(), nullptr);

  std::string data;
  for (int i = 0; i < 3000; ++i) data += static_cast<char>((i * 7) & 0xFF);
  std::string notes;
  for (int i = 0; i < 200; ++i) notes += "notes ";
  EXPECT_EQ("Reference archive written by Python's zlib.\r\n", ReadFile(root / "dest/readme.txt"));
  EXPECT_EQ(data + data + data, ReadFile(root / "dest/lib/x/data.bin"));
  EXPECT_EQ("", ReadFile(root / "dest/lib/empty.txt"));
  EXPECT_EQ(notes, ReadFile(root / "dest/doc/notes.txt"));
  EXPECT_EQ((std::vector<std::string>{"doc", "doc/notes.txt", "lib", "lib/empty.txt", "lib/x",
                                      "lib/x/data.bin", "readme.txt"}),
            Listing(root / "dest"));
 }
}

// On the real file system a refused entry leaves nothing beside the destination, and a
// read-only file is replaced.
TEST_F(TRealFsTest, HostileEntryWritesNothingOutsideTheDestination) {
 for (const auto& [ioName, ioPtr] : DiskIos()) {
  SCOPED_TRACE(ioName);
  IArchiveIo& io = *ioPtr;
  fs::remove_all(root / "dest");
  fs::create_directories(root / "dest");
  const std::string arc = (root / "a.zlib").string();
  for (const char* path : {"..", "..\\..", "../x", "sub\\..\\.."}) {
    {
      std::ofstream out(arc, std::ios::binary);
      out << BuildArchive({{"good.txt", "", "g"}, {"escape.txt", path, "bad"}}, true);
    }
    TZLibArchive archive(io);
    archive.ExtractWithPath = true;
    ASSERT_TRUE(archive.OpenArchive(arc));
    try {
      archive.ExtractFiles((root / "dest").string(), nullptr);
      ADD_FAILURE() << path;
    } catch (const TRunnerError& e) {
      EXPECT_STREQ("File (1) is corrupt", e.what());
    }
    EXPECT_EQ((std::vector<std::string>{"a.zlib", "dest", "dest/good.txt"}), Listing(root)) << path;
  }
  fs::permissions(root / "dest/good.txt", fs::perms::owner_read, fs::perm_options::replace);
#ifdef _WIN32
  // Windows refuses CREATE_ALWAYS over a hidden or system file unless the call asks for
  // the same attributes (msvcrt's fopen does not), so only the Win32 I/O, which resets the
  // attributes first, is given one. Wine 8 does not enforce that rule.
  if (std::string(ioName) == "win32")
    SetFileAttributesA((root / "dest/good.txt").string().c_str(),
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
#endif
  {
    std::ofstream out(arc, std::ios::binary);
    out << BuildArchive({{"good.txt", "", "replaced", true}}, false);
  }
  TZLibArchive archive(io);
  ASSERT_TRUE(archive.OpenArchive(arc));
  archive.ExtractFiles((root / "dest").string(), nullptr);
  EXPECT_EQ("replaced", ReadFile(root / "dest/good.txt"));
 }
}

}  // namespace

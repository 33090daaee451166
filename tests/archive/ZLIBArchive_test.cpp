// TZLibArchive: the byte layout, opening and extraction, the failure messages, and the
// refusals of hostile archives (each proving that nothing was created outside the
// destination and nothing at all for the refused entry).
#include <gtest/gtest.h>

#include <functional>

#include "ArchiveBuilder.h"
#include "ArchiveWriter.h"
#include "MemArchiveIo.h"
#include "NewZLib.h"
#include "RunnerError.h"

namespace {

const char kArc[] = "C:\\Upd\\NewVer.ZLib";
const char kDest[] = "C:\\App\\";

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const TRunnerError& e) {
    return e.what();
  }
  return "<no error>";
}

std::string Pattern(size_t n, unsigned seed = 1) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + seed * 7 + i / 97) & 0xFF);
  return s;
}

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
  return UpperAscii(s.substr(0, prefix.size())) == UpperAscii(prefix);
}

class TZLibArchiveTest : public ::testing::Test {
 protected:
  TMemArchiveIo io;
  TNewZLib archive{io};
  std::vector<std::pair<std::string, int>> progress;
  std::vector<std::string> extracted;

  void SetUp() override {
    io.AddDir("C:");
    io.AddDir("C:\\Upd");
    io.AddDir("C:\\App");
    archive.OnProgress = [this](TZLibArchive&, const std::string& m, int p) {
      progress.emplace_back(m, p);
    };
    archive.OnFileExtracted = [this](TZLibArchive&, const std::string& f) {
      extracted.push_back(f);
    };
  }
  void Open(const std::string& bytes) {
    io.Put(kArc, bytes);
    ASSERT_TRUE(archive.OpenArchive(kArc));
  }
  std::string Extract(const std::vector<TEntryPlan>& plans, bool compressList = false) {
    return ErrorOf([&] {
      Open(BuildArchive(plans, compressList));
      archive.ExtractFiles(kDest, nullptr);
    });
  }
};

// One file of 5 bytes stored at offset 0, a stored list at 5, the trailer at 535.
TEST_F(TZLibArchiveTest, FiveByteExampleIs568BytesAndExtractsUnchanged) {
  std::string bytes = "Hello";
  TArchiveEntry e{};
  SetShortString(e.fileName, "hello.txt");
  e.size = 5;
  e.offset = 0;
  e.crc = ZlibCrc("Hello");
  e.storage = 1;
  bytes += EntryBytes(e);
  TArchiveTrailer t{};
  t.count = 1;
  t.listOffset = 5;
  t.crc = ZlibCrc(bytes);  // bytes 0 to 534
  bytes += std::string(reinterpret_cast<const char*>(&t), sizeof t);
  ASSERT_EQ(568u, bytes.size());
  // Field positions, little-endian.
  EXPECT_EQ(9, bytes[5]);  // name length
  EXPECT_EQ("hello.txt", bytes.substr(6, 9));
  EXPECT_EQ(5, bytes[5 + 512]);  // size
  EXPECT_EQ(1, bytes[5 + 528]);  // storage byte
  EXPECT_EQ(static_cast<char>(t.crc & 0xFF), bytes[535]);
  EXPECT_EQ(1, bytes[535 + 4]);  // count
  EXPECT_EQ(5, bytes[535 + 16]);  // list offset
  EXPECT_EQ(0, bytes[535 + 20]);  // list flag

  // The project's writer and the independent Python writer give the same bytes.
  TMemArchiveIo out;
  out.AddDir("C:");
  TArchiveWriter writer(out, "C:\\a.zlib");
  writer.AddData("hello.txt", "", "Hello", false);
  writer.Finish(false);
  EXPECT_EQ(bytes, out.Get("C:\\a.zlib"));
  TStdioArchiveIo disk;
  auto seed = disk.OpenRead(SourceDir() + "/fuzz/corpus/stored-one.zlib");
  ASSERT_TRUE(seed);
  std::string python(568, '\0');
  ASSERT_EQ(568u, seed->Read(&python[0], 600));
  EXPECT_EQ(bytes, python);

  Open(bytes);
  EXPECT_EQ(1, archive.FileCount());
  archive.ExtractFiles(kDest, nullptr);
  EXPECT_EQ("Hello", io.Get("C:\\App\\hello.txt"));
  EXPECT_EQ(std::vector<std::string>{"C:\\App\\hello.txt"}, extracted);

  // The CRC covers byte 534 but not the trailer's reserved bytes.
  std::string flipped = bytes;
  flipped[534] ^= 1;
  io.Put(kArc, flipped);
  EXPECT_EQ("The archive file appears to be corrupted", ErrorOf([&] { archive.OpenArchive(kArc); }));
  flipped = bytes;
  flipped[535 + 8] ^= 0xFF;
  flipped[535 + 25] ^= 0xFF;
  io.Put(kArc, flipped);
  EXPECT_TRUE(archive.OpenArchive(kArc));
}

TEST_F(TZLibArchiveTest, CrcMismatchLeavesNoArchiveOpen) {
  const std::string good = BuildArchive({{"a.txt", "", "abc"}}, false);
  for (size_t at : {size_t{0}, size_t{3}, good.size() - 33, good.size() - 1 - 32}) {
    std::string bad = good;
    bad[at] ^= 0x40;
    io.Put(kArc, bad);
    EXPECT_EQ("The archive file appears to be corrupted",
              ErrorOf([&] { archive.OpenArchive(kArc); }))
        << at;
    EXPECT_EQ("No archive is currently open", ErrorOf([&] { archive.FileCount(); }));
    EXPECT_EQ(0, archive.Trailer().count);
  }
  for (size_t n : {0, 1, 32}) {  // too short to hold a trailer
    io.Put(kArc, std::string(n, '\0'));
    EXPECT_EQ("The archive file appears to be corrupted",
              ErrorOf([&] { archive.OpenArchive(kArc); }));
  }
}

TEST_F(TZLibArchiveTest, EmptyListOnlyReportsIdle) {
  for (int32_t count : {0, -1, INT32_MIN}) {
    Open(BuildArchive({}, false, [count](TArchiveTrailer& t) { t.count = count; }));
    EXPECT_EQ(0, archive.FileCount());
    progress.clear();
    archive.ExtractFiles(kDest, nullptr);
    EXPECT_EQ((std::vector<std::pair<std::string, int>>{{kArc, 0}}), progress);
  }
}

TEST_F(TZLibArchiveTest, StoredAndCompressedListsLoadTheSameEntries) {
  std::vector<TEntryPlan> plans;
  for (int i = 0; i < 12; ++i)  // 6360 bytes of list: two inflate blocks
    plans.push_back({"f" + std::to_string(i) + ".txt", i % 2 ? "sub" : "", Pattern(i * 10, i), i % 3 == 0});
  std::vector<std::vector<TArchiveEntry>> loaded;
  for (bool compressList : {false, true}) {
    Open(BuildArchive(plans, compressList));
    EXPECT_EQ(compressList ? 1 : 0, archive.Trailer().listFlag);
    std::vector<TArchiveEntry> entries(static_cast<size_t>(archive.FileCount()));
    for (size_t i = 0; i < entries.size(); ++i) archive.GetFileEntry(static_cast<int>(i), entries[i]);
    loaded.push_back(entries);
  }
  ASSERT_EQ(12u, loaded[0].size());
  ASSERT_EQ(loaded[0].size(), loaded[1].size());
  for (size_t i = 0; i < loaded[0].size(); ++i) {
    EXPECT_EQ(0, std::memcmp(&loaded[0][i], &loaded[1][i], sizeof(TArchiveEntry))) << i;
    EXPECT_EQ(plans[i].name, ShortString(loaded[1][i].fileName));
  }
  EXPECT_EQ("Index out of bounds", ErrorOf([&] { TArchiveEntry e; archive.GetFileEntry(-1, e); }));
  EXPECT_EQ("Index out of bounds", ErrorOf([&] { TArchiveEntry e; archive.GetFileEntry(12, e); }));
}

TEST_F(TZLibArchiveTest, StoredAndInflatedEntriesOfEverySize) {
  for (size_t n : {size_t{0}, size_t{1}, size_t{4095}, size_t{4096}, size_t{4097}, size_t{70000}}) {
    for (bool compress : {false, true}) {
      for (bool check : {false, true}) {
        archive.CheckCRC = check;
        const std::string data = Pattern(n, static_cast<unsigned>(n));
        io.Put("C:\\App\\f.bin", "old contents");
        EXPECT_EQ("<no error>", Extract({{"f.bin", "", data, compress}}))
            << n << " " << compress << " " << check;
        EXPECT_EQ(data, io.Get("C:\\App\\f.bin")) << n << " " << compress;
      }
    }
  }
}

TEST_F(TZLibArchiveTest, EmptyEntryCreatesEmptyFileAndCrcMustBeZero) {
  archive.CheckCRC = true;
  EXPECT_EQ("<no error>", Extract({{"e1.txt", "", ""}, {"e2.txt", "", "", true}}));
  EXPECT_EQ("", io.Get("C:\\App\\e1.txt"));
  EXPECT_EQ("", io.Get("C:\\App\\e2.txt"));
  TEntryPlan bad{"e3.txt", "", ""};
  bad.crc = 1;
  EXPECT_EQ("File (0) is corrupt", Extract({bad}));
  archive.CheckCRC = false;
  EXPECT_EQ("<no error>", Extract({bad}));
}

TEST_F(TZLibArchiveTest, ExtractWithPathJoinsDestinationAndStoredPath) {
  io.AddDir("\\\\srv");
  io.AddDir("\\\\srv\\share");
  struct TCase {
    const char* dest;
    const char* stored;
    bool withPath;
    const char* target;
    const char* reported;
  } cases[] = {
      {"C:\\App\\", "\\lib\\\\x\\", true, "C:\\App\\lib\\x\\f.txt", "C:\\App\\f.txt"},
      {"C:\\App\\", "\\lib\\\\x\\", false, "C:\\App\\f.txt", "C:\\App\\f.txt"},
      {"C:\\App", "lib", true, "C:\\App\\lib\\f.txt", "C:\\Appf.txt"},
      {"C:\\App\\\\", "", true, "C:\\App\\f.txt", "C:\\App\\\\f.txt"},
      {"C:\\App\\", "a/b/", true, "C:\\App\\a\\b\\f.txt", "C:\\App\\f.txt"},
      {"C:\\App\\", "\\\\\\deep\\er\\", true, "C:\\App\\deep\\er\\f.txt", "C:\\App\\f.txt"},
      {"C:\\New\\Dir\\", "x", true, "C:\\New\\Dir\\x\\f.txt", "C:\\New\\Dir\\f.txt"},
      {"\\\\srv\\share\\App\\", "lib", true, "\\\\srv\\share\\App\\lib\\f.txt",
       "\\\\srv\\share\\App\\f.txt"},
  };
  for (const TCase& c : cases) {
    io.files.clear();
    extracted.clear();
    archive.ExtractWithPath = c.withPath;
    io.Put(kArc, BuildArchive({{"f.txt", c.stored, "data"}}, true));
    archive.OpenArchive(kArc);
    EXPECT_EQ("<no error>", ErrorOf([&] { archive.ExtractFiles(c.dest, nullptr); })) << c.target;
    EXPECT_EQ("data", io.Get(c.target)) << c.target;
    EXPECT_EQ(std::vector<std::string>{c.reported}, extracted) << c.target;
  }
}

TEST_F(TZLibArchiveTest, MakeDirectoryPathCreatesOutermostFirst) {
  MakeDirectoryPath(io, "C:\\Prog\\App\\lib");
  EXPECT_EQ((std::vector<std::string>{"C:\\Prog\\", "C:\\Prog\\App\\", "C:\\Prog\\App\\lib"}),
            io.created);
  io.created.clear();
  MakeDirectoryPath(io, "C:\\Prog\\App\\lib");  // exists: nothing to do
  MakeDirectoryPath(io, "");
  EXPECT_TRUE(io.created.empty());
  MakeDirectoryPath(io, "Q:\\a\\b");  // no such drive: the walk ends, nothing is created
  EXPECT_TRUE(io.created.empty());
}

TEST_F(TZLibArchiveTest, ReplaceDecision) {
  const std::vector<TEntryPlan> plans = {{"old.txt", "", "new old"}, {"new.txt", "", "new"}};
  struct TCase {
    int handler;  // 0 none, 1 keeps, 2 replaces
    const char* old;
  } cases[] = {{0, "new old"}, {1, "kept"}, {2, "new old"}};
  for (const TCase& c : cases) {
    io.files.clear();
    io.cleared.clear();
    io.Put("C:\\App\\old.txt", "kept");
    std::vector<std::string> asked;
    archive.OnReplaceFile = nullptr;
    if (c.handler)
      archive.OnReplaceFile = [&asked, &c](TZLibArchive&, const std::string& f, bool& replace) {
        asked.push_back(f + (replace ? "+" : "-"));
        replace = c.handler == 2;
      };
    EXPECT_EQ("<no error>", Extract(plans));
    EXPECT_EQ(c.old, io.Get("C:\\App\\old.txt"));
    EXPECT_EQ("new", io.Get("C:\\App\\new.txt"));
    EXPECT_EQ(c.handler ? std::vector<std::string>{"C:\\App\\old.txt-"} : std::vector<std::string>{},
              asked);
    EXPECT_EQ(c.handler == 1 ? 1u : 2u, extracted.size());
    EXPECT_EQ(c.handler == 1 ? 0u : 1u, io.cleared.size());
    extracted.clear();
  }
}

TEST_F(TZLibArchiveTest, SkipListIgnoresCase) {
  Open(BuildArchive({{"ReadMe.txt", "", "r"}, {"keep.txt", "", "k"}}, false));
  const std::vector<std::string> skip = {"README.TXT"};
  archive.ExtractFiles(kDest, &skip);
  EXPECT_FALSE(io.Has("C:\\App\\ReadMe.txt"));
  EXPECT_EQ("k", io.Get("C:\\App\\keep.txt"));
}

// Hostile names and paths: entry 1 is refused before anything is created for it; entry 0
// stays; nothing ever lands outside the destination.
TEST_F(TZLibArchiveTest, RefusesNamesAndPathsThatLeaveTheDestination) {
  archive.ExtractWithPath = true;
  struct TCase {
    std::string name, path;
  } cases[] = {
      {"evil.txt", "..\\"},         {"evil.txt", "..\\..\\Windows"}, {"evil.txt", "a\\..\\..\\x"},
      {"evil.txt", "../x"},         {"evil.txt", "a/../../x"},       {"evil.txt", "\\..\\"},
      {"evil.txt", "C:\\Windows"},  {"evil.txt", "c:x"},             {"evil.txt", "x:stream"},
      {"evil.txt", "CON"},          {"evil.txt", "lib\\aux.dir"},   {"evil.txt", "x\\..."},
      {"evil.txt", "a\\."},         {"evil.txt", "a \\b"},           {"evil.txt", "a\x01"},
      {"..", ""},                   {".", ""},                       {"...", ""},
      {"", ""},                     {"a\\b.txt", ""},                {"a/b.txt", ""},
      {"..\\x.txt", ""},            {"../x.txt", ""},                {"CON", ""},
      {"nul.txt", ""},              {"Com1", ""},                    {"LPT9.log", ""},
      {"con .txt", ""},             {"CONOUT$", ""},                 {"com\xB9", ""},
      {"f.txt:stream", ""},         {"C:f.txt", ""},                 {"x.", ""},
      {"x ", ""},                   {"a*b", ""},                     {"a?b", ""},
      {"a\nb", ""},                 {"a|b", ""},                     {"a\"b", ""},
  };
  for (const TCase& c : cases) {
    io.files.clear();
    io.dirs = {"C:", "C:\\UPD", "C:\\APP"};
    io.created.clear();
    extracted.clear();
    EXPECT_EQ("File (1) is corrupt",
              Extract({{"good.txt", "ok", "fine", true}, {c.name, c.path, "bad data"}}))
        << c.name << " | " << c.path;
    EXPECT_EQ((std::vector<std::string>{"C:\\App\\ok", "C:\\App\\ok\\good.txt"}), io.created)
        << c.name << " | " << c.path;
    EXPECT_EQ(1u, extracted.size());
    for (const auto& f : io.files)
      EXPECT_TRUE(StartsWithNoCase(f.first, "C:\\App\\") || f.first == UpperAscii(kArc)) << f.first;
  }
  // Names that look odd but are plain files, and a stored path that is not used.
  archive.ExtractWithPath = false;
  for (const char* name : {"CONFIG.SYS", "com10", "nul-device.txt", ".hidden", "a..b", "x.y.z"}) {
    EXPECT_EQ("<no error>", Extract({{name, "..\\..\\", "ok"}})) << name;
    EXPECT_EQ("ok", io.Get(std::string("C:\\App\\") + name));
  }
}

// Sizes, offsets and counts that do not fit the file; damaged and mis-sized streams.
TEST_F(TZLibArchiveTest, RefusesWhatDoesNotFitTheFile) {
  const std::string big = Pattern(20000);
  const std::string stream = Compress(big);
  auto entry = [](TEntryPlan s, const std::function<void(TEntryPlan&)>& edit) {
    edit(s);
    return s;
  };
  const TEntryPlan ok{"ok.txt", "", "first", false};
  const TEntryPlan base{"f.bin", "", big, true};
  struct TCase {
    const char* what;
    TEntryPlan plan;
  } cases[] = {
      {"offset past the end", entry(base, [](TEntryPlan& s) { s.offset = 0x7FFFFFF0; })},
      {"stored size past the end", entry(base, [](TEntryPlan& s) { s.compress = false; s.size = 25000; })},
      {"stored offset + size past the end",
       entry(base, [](TEntryPlan& s) { s.compress = false; s.offset = 2000; })},
      {"negative size", entry(base, [](TEntryPlan& s) { s.size = -1; })},
      {"size beyond any inflate ratio", entry(base, [](TEntryPlan& s) { s.size = 0x7FFFFFFF; })},
      {"stream ends early", entry(base, [&](TEntryPlan& s) { s.size = 20001; })},
      {"data left when the size is reached", entry(base, [&](TEntryPlan& s) { s.size = 19999; })},
      {"truncated stream", entry(base, [&](TEntryPlan& s) { s.raw = stream.substr(0, stream.size() / 2); })},
      {"stream without its Adler-32",
       entry(base, [&](TEntryPlan& s) { s.raw = stream.substr(0, stream.size() - 4); })},
      {"damaged Adler-32",
       entry(base, [&](TEntryPlan& s) { s.raw = stream; (*s.raw)[stream.size() - 1] ^= 1; })},
      {"damaged deflate data", entry(base, [&](TEntryPlan& s) { s.raw = stream; (*s.raw)[2] = '\xFF'; })},
      {"not zlib at all", entry(base, [&](TEntryPlan& s) { s.raw = big.substr(0, 500); })},
      {"two streams", entry(base, [&](TEntryPlan& s) {
         s.data = "abc"; s.raw = Compress("abc") + Compress("def"); s.size = 6; })},
  };
  for (bool check : {false, true}) {
    archive.CheckCRC = check;
    for (const TCase& c : cases) {
      io.files.clear();
      io.created.clear();
      const std::string error = Extract({ok, c.plan});
      EXPECT_EQ("File (1) is corrupt", error) << c.what;
      EXPECT_EQ("first", io.Get("C:\\App\\ok.txt")) << c.what;
      // The checks that need no data refuse before the target is created.
      const bool upFront = c.plan.offset || c.plan.size.value_or(0) < 0 ||
                           c.plan.size.value_or(0) > 20001 || (!c.plan.compress && c.plan.size);
      if (upFront) {
        EXPECT_FALSE(io.Has("C:\\App\\f.bin")) << c.what;
      }
    }
  }
  // A CRC mismatch counts only with CheckCRC.
  TEntryPlan wrongCrc = base;
  wrongCrc.crc = 12345;
  archive.CheckCRC = false;
  EXPECT_EQ("<no error>", Extract({wrongCrc}));
  archive.CheckCRC = true;
  EXPECT_EQ("File (0) is corrupt", Extract({wrongCrc}));
}

TEST_F(TZLibArchiveTest, RefusesFileListsThatDoNotFit) {
  const std::vector<TEntryPlan> two = {{"a.txt", "", "a"}, {"b.txt", "", "b"}};
  const std::string list = EntryBytes(MakeEntry(two[0], 0)) + EntryBytes(MakeEntry(two[1], 1));
  struct TCase {
    const char* what;
    bool compressList;
    std::function<void(TArchiveTrailer&)> tweak;
    std::optional<std::string> listBytes;
  } cases[] = {
      {"count beyond the file", false, [](TArchiveTrailer& t) { t.count = 3; }, std::nullopt},
      {"count at the limit", false, [](TArchiveTrailer& t) { t.count = INT32_MAX; }, std::nullopt},
      {"count x 530 overflows 32 bits", false, [](TArchiveTrailer& t) { t.count = 0x01000000; },
       std::nullopt},
      {"compressed count x 530 overflows", true, [](TArchiveTrailer& t) { t.count = 0x7FFFFFF; },
       std::nullopt},
      {"list offset past the end", false, [](TArchiveTrailer& t) { t.listOffset = 0xFFFFFFF0; },
       std::nullopt},
      {"list offset inside the trailer", false, [](TArchiveTrailer& t) { t.listOffset = 1063; },
       std::nullopt},
      {"compressed count beyond the stream", true, [](TArchiveTrailer& t) { t.count = 3; },
       std::nullopt},
      {"compressed list with data left", true, [](TArchiveTrailer& t) { t.count = 1; }, std::nullopt},
      {"truncated compressed list", true, {}, Compress(list).substr(0, 30)},
      {"damaged compressed list", true, {}, std::string(40, 'x')},
  };
  for (const TCase& c : cases) {
    io.Put(kArc, BuildArchive(two, c.compressList, c.tweak, c.listBytes));
    EXPECT_EQ("Unable to read archive file list", ErrorOf([&] { archive.OpenArchive(kArc); }))
        << c.what;
    EXPECT_EQ("No archive is currently open", ErrorOf([&] { archive.FileCount(); })) << c.what;
  }
}

TEST_F(TZLibArchiveTest, FailureMessages) {
  const std::string good = BuildArchive({{"a.txt", "", "a"}, {"b.txt", "", "b"}}, false);
  EXPECT_FALSE(archive.OpenArchive(""));
  EXPECT_EQ("No archive is currently open", ErrorOf([&] { archive.FileCount(); }));
  EXPECT_EQ("No archive is currently open", ErrorOf([&] { archive.ExtractFiles(kDest, nullptr); }));
  EXPECT_EQ("Archive file not found", ErrorOf([&] { archive.OpenArchive("C:\\nothing.zlib"); }));
  EXPECT_EQ("No archive is currently open", ErrorOf([&] { archive.FileCount(); }));
  io.Put(kArc, good);
  io.locked.insert(TMemArchiveIo::Key(kArc));
  EXPECT_EQ(std::string("Unable to open file (") + kArc + ")",
            ErrorOf([&] { archive.OpenArchive(kArc); }));
  io.locked.clear();

  // The archive disappears between open and extraction.
  ASSERT_TRUE(archive.OpenArchive(kArc));
  io.files.erase(TMemArchiveIo::Key(kArc));
  EXPECT_EQ(std::string("Unable to open file (") + kArc + ")",
            ErrorOf([&] { archive.ExtractFiles(kDest, nullptr); }));

  // The handler of OnArchiveOpened fails.
  io.Put(kArc, good);
  archive.OnArchiveOpened = [](TZLibArchive&) { throw TRunnerError("handler"); };
  EXPECT_EQ("Unable to read archive file list", ErrorOf([&] { archive.OpenArchive(kArc); }));
  EXPECT_EQ("No archive is currently open", ErrorOf([&] { archive.FileCount(); }));
  int opened = 0;
  archive.OnArchiveOpened = [&opened](TZLibArchive&) { ++opened; };
  ASSERT_TRUE(archive.OpenArchive(kArc));
  EXPECT_EQ(1, opened);

  io.refuseDirs.insert(TMemArchiveIo::Key("C:\\Nope"));
  EXPECT_EQ("Unable to create destination path",
            ErrorOf([&] { archive.ExtractFiles("C:\\Nope\\", nullptr); }));

  io.locked.insert(TMemArchiveIo::Key("C:\\App\\b.txt"));
  EXPECT_EQ("Cannot create file C:\\App\\b.txt",
            ErrorOf([&] { archive.ExtractFiles(kDest, nullptr); }));
  EXPECT_EQ("a", io.Get("C:\\App\\a.txt"));  // extracted before the failure
  io.locked.clear();

  io.writeLimit = 1000;  // the disk fills up
  io.Put(kArc, BuildArchive({{"a.txt", "", "a"}, {"big.bin", "", Pattern(5000), true}}, false));
  ASSERT_TRUE(archive.OpenArchive(kArc));
  EXPECT_EQ("File (1) is corrupt", ErrorOf([&] { archive.ExtractFiles(kDest, nullptr); }));
  EXPECT_EQ(progress.back(), std::make_pair(std::string(kArc), 0));  // idle after a failure
}

TEST_F(TZLibArchiveTest, ProgressReports) {
  std::vector<TEntryPlan> plans;
  for (int i = 0; i < 10; ++i) plans.push_back({"f" + std::to_string(i), "", ""});
  plans[0].data = Pattern(10000);
  io.Put(kArc, BuildArchive(plans, true));  // 5300 bytes of list
  progress.clear();
  archive.OpenArchive(kArc);
  const std::vector<std::pair<std::string, int>> opening = {
      {"", 0},  // CloseArchive first
      {"Extracting archive registry", 77},  // 4096 / 5300 = 77.28 %
      {"Extracting archive registry", 100},
      {kArc, 0}};
  EXPECT_EQ(opening, progress);
  progress.clear();
  archive.ExtractFiles(kDest, nullptr);
  const std::vector<std::pair<std::string, int>> extracting = {
      {"Extracting f0", 41}, {"Extracting f0", 82}, {"Extracting f0", 100}, {kArc, 0}};
  EXPECT_EQ(extracting, progress);  // the empty files read no block
  progress.clear();
  archive.CloseArchive();
  EXPECT_EQ((std::vector<std::pair<std::string, int>>{{"", 0}}), progress);
}

TEST(TZLibArchivePercentage, RoundsHalvesToEven) {
  struct TCase {
    uint32_t done, total;
    int expected;
  } cases[] = {{0, 5, 0},     {5, 5, 100},   {1, 8, 12},    {3, 8, 38},     {5, 8, 62},
               {7, 8, 88},    {1, 200, 0},   {3, 200, 2},   {5, 200, 2},    {1, 3, 33},
               {2, 3, 67},    {4096, 5300, 77}, {0x7FFFFFFF, 0x7FFFFFFF, 100}, {1, 0x7FFFFFFF, 0}};
  for (const TCase& c : cases)
    EXPECT_EQ(c.expected, TZLibArchive::Percentage(c.done, c.total)) << c.done << "/" << c.total;
}

TEST(TZLibArchiveNames, SafeNamesAndPaths) {
  EXPECT_TRUE(IsSafeStoredPath(""));
  EXPECT_TRUE(IsSafeStoredPath("\\lib\\\\x\\"));
  EXPECT_TRUE(IsSafeStoredPath("a/b\\c"));
  EXPECT_FALSE(IsSafeStoredPath("a\\..\\b"));
  EXPECT_FALSE(IsSafeStoredPath("a/.."));
  EXPECT_TRUE(IsSafeFileName("ZqRunner.exe"));
  EXPECT_TRUE(IsSafeFileName("\xE4rger.txt"));  // ANSI letters are fine
  EXPECT_FALSE(IsSafeFileName("aux"));
  EXPECT_FALSE(IsSafeFileName("Lpt3.txt"));
}

}  // namespace

#include <gtest/gtest.h>

#include <cstring>

#include "ArchiveWriter.h"
#include "MaintenanceFakes.h"
#include "Update.h"

namespace {

// Archive I/O over the in-memory file system of the seam, so that the archive, the
// extracted files and the settings live in one place.
class TFsArchiveIo : public IArchiveIo {
 public:
  explicit TFsArchiveIo(TMemFileSystem& fs) : fs_(fs) {}
  std::unique_ptr<IArchiveFile> OpenRead(const std::string& path) override {
    if (!fs_.Has(path)) return nullptr;
    return std::make_unique<TFile>(fs_, path, fs_.Get(path), false);
  }
  std::unique_ptr<IArchiveFile> Create(const std::string& path) override {
    if (fs_.IsLocked(path)) return nullptr;
    fs_.Put(path, "");
    return std::make_unique<TFile>(fs_, path, "", true);
  }
  bool FileExists(const std::string& path) override { return fs_.Has(path); }
  bool DirectoryExists(const std::string& path) override {
    std::string p = path;
    while (p.size() > 3 && p.back() == '\\') p.pop_back();
    return fs_.DirectoryExists(p) || fs_.DirectoryExists(p + "\\");
  }
  bool MakeDirectory(const std::string& path) override {
    fs_.dirs.push_back(path);
    return true;
  }
  void ClearAttributes(const std::string&) override {}

 private:
  class TFile : public IArchiveFile {
   public:
    TFile(TMemFileSystem& fs, std::string path, std::string data, bool writing)
        : fs_(fs), path_(std::move(path)), data_(std::move(data)), writing_(writing) {}
    ~TFile() override {
      if (writing_) fs_.Put(path_, data_);
    }
    size_t Read(void* buffer, size_t n) override {
      if (pos_ >= data_.size()) return 0;
      const size_t k = std::min<size_t>(n, data_.size() - pos_);
      std::memcpy(buffer, data_.data() + pos_, k);
      pos_ += k;
      return k;
    }
    bool Write(const void* buffer, size_t n) override {
      data_.append(static_cast<const char*>(buffer), n);
      return writing_;
    }
    bool Flush() override { return true; }
    bool Seek(uint64_t position) override {
      pos_ = position;
      return true;
    }
    uint64_t Position() override { return pos_; }
    uint64_t Size() override { return data_.size(); }

   private:
    TMemFileSystem& fs_;
    std::string path_, data_;
    bool writing_;
    uint64_t pos_ = 0;
  };
  TMemFileSystem& fs_;
};

// The old executable stays in use for a number of delete attempts (or for ever).
class TBusyFileSystem : public TMemFileSystem {
 public:
  int busyDeletes = 0;
  bool Delete(const std::string& p) override {
    if (UpperAscii(p).find("ZQRUNNER.EXE") != std::string::npos && busyDeletes != 0) {
      if (busyDeletes > 0) --busyDeletes;
      return false;
    }
    return TMemFileSystem::Delete(p);
  }
};

struct TArchiveFile {
  std::string name, path, data;
};

class TUpdateTest : public TSeamTest {
 protected:
  TBusyFileSystem bfs;
  TFakeMaintenanceHost host{bfs};
  TFsArchiveIo io{bfs};
  TRecordingLauncher launcher;
  const std::string d = "C:\\Inst\\";

  void SetUp() override {
    TSeamTest::SetUp();
    seams::SetFs(&bfs);
    seams::SetLauncher(&launcher);
    bfs.dirs = {"C:\\Inst"};
    host.exePath = "C:\\Temp\\updSW.exe";
    bfs.Put("C:\\Temp\\updSW.exe", "MZ old runner");
    bfs.Put(d + "ZqRunner.exe", "MZ old runner");
  }
  void TearDown() override {
    seams::SetLauncher(nullptr);
    TSeamTest::TearDown();
  }
  void MakeArchive(const std::vector<TArchiveFile>& files) {
    TArchiveWriter writer(io, d + "NewVer.ZLib");
    bool compress = false;
    for (const auto& f : files) writer.AddData(f.name, f.path, f.data, compress = !compress);
    writer.Finish(true);
  }
  void ExpectRestarted() {
    ASSERT_EQ(launcher.starts.size(), 1u);
    EXPECT_EQ(launcher.starts[0].commandLine, "\"C:\\Inst\\ZqRunner.exe\"");
    EXPECT_EQ(launcher.starts[0].workDir, d);
    EXPECT_FALSE(launcher.starts[0].wait);
    EXPECT_FALSE(bfs.Has(d + "NewVer.ZLib"));
  }
};

}  // namespace

TEST(MergeDefaultsTest, KeepsValuesAddsNewKeysAndNeverPilesUp) {
  struct {
    const char* what;
    std::string old, neu, merged;
  } cases[] = {
      {"new key appended", "a=1\r\nb=2\r\n", "a=9\r\nc=3\r\n", "a=1\r\nb=2\r\nc=3\r\n"},
      {"names ignore case", "Key=old\r\n", "KEY=new\r\n", "Key=old\r\n"},
      {"empty old takes all", "", "#c\r\nx=1\r\n", "#c\r\nx=1\r\n"},
      {"comment once", "#c\r\nx=1\r\n", "#c\r\nx=1\r\n", "#c\r\nx=1\r\n"},
      {"new comment once", "x=1\r\n", "#new\r\n\r\nx=2\r\n", "x=1\r\n#new\r\n\r\n"},
      {"comment differs", "#v1\r\n", "#v2\r\n", "#v1\r\n#v2\r\n"},
      {"empty value is a name", "e=\r\n", "e=full\r\n", "e=\r\n"},
      {"old line starting with =", "=z\r\n", "=y\r\nn\r\n", "=z\r\nn\r\n"},
  };
  for (const auto& c : cases) {
    TPropertyList old, neu;
    old.SetText(c.old);
    neu.SetText(c.neu);
    MergeDefaults(old, neu);
    EXPECT_EQ(old.Text(), c.merged) << c.what;
    MergeDefaults(old, neu);  // the next update with the same file adds nothing
    EXPECT_EQ(old.Text(), c.merged) << c.what << " (again)";
  }
}

TEST_F(TUpdateTest, OldRunnerDeletionRetries) {
  struct {
    int busy;
    bool removed;
    int sleeps;
    size_t warnings;
  } cases[] = {{0, true, 0, 0}, {3, true, 3, 0}, {50, true, 50, 0}, {51, false, 51, 1},
               {-1, false, 51, 1}};
  for (const auto& c : cases) {
    ui.shown.clear();
    host.sleeps = 0;
    bfs.Put(d + "zqrunner.exe", "MZ");
    bfs.busyDeletes = c.busy;
    EXPECT_EQ(RemoveOldRunner(d, host), c.removed) << c.busy;
    EXPECT_EQ(host.sleeps, c.sleeps) << c.busy;
    ASSERT_EQ(ui.shown.size(), c.warnings) << c.busy;
    if (c.warnings) {
      EXPECT_EQ(ui.shown[0].caption, "Warning");
      EXPECT_EQ(ui.shown[0].text, "Could not update all files properly");
      EXPECT_EQ(ui.shown[0].flags, 0x40030u);
    }
  }
  bfs.busyDeletes = 0;
}

TEST_F(TUpdateTest, KeepsSettingsAndRestartsTheNewRunner) {
  const std::string system2 = "cancel=ON\nsnooze=2\r\n\x01\x02 no line end";
  bfs.Put(d + "defaults.properties", "#settings\r\nSERVER_IP=my.server\r\nuser=me\r\n");
  bfs.Put(d + "system2.properties", system2);
  MakeArchive({{"ZqRunner.exe", "", "MZ new runner"},
               {"defaults.properties", "", "#settings\r\nSERVER_IP=new.server\r\nnewkey=42\r\n"},
               {"system2.properties", "", "cancel=OFF\r\n"},
               {"a.jar", "lib\\ext", "jar bytes"}});
  ApplyUpdate("C:\\Inst", host, io);  // without its trailing backslash, too
  EXPECT_EQ(bfs.Get(d + "ZqRunner.exe"), "MZ new runner");
  EXPECT_EQ(bfs.Get(d + "lib\\ext\\a.jar"), "jar bytes");
  EXPECT_EQ(bfs.Get(d + "defaults.properties"),
            "#settings\r\nSERVER_IP=my.server\r\nuser=me\r\nnewkey=42\r\n");
  EXPECT_EQ(bfs.Get(d + "system2.properties"), system2);
  EXPECT_TRUE(ui.shown.empty());
  ExpectRestarted();
}

TEST_F(TUpdateTest, CorruptArchiveChangesNothingButIsDeleted) {
  bfs.Put(d + "defaults.properties", "#c\r\nx=1\r\n");
  bfs.Put(d + "system2.properties", "cancel=ON");
  MakeArchive({{"ZqRunner.exe", "", "MZ new runner"}, {"evil.txt", "", "x"}});
  std::string bytes = bfs.Get(d + "NewVer.ZLib");
  bytes[3] ^= 0x20;
  bfs.Put(d + "NewVer.ZLib", bytes);
  const auto before = bfs.files;
  ApplyUpdate(d, host, io);
  EXPECT_EQ(bfs.Get(d + "ZqRunner.exe"), "MZ old runner");
  EXPECT_FALSE(bfs.Has(d + "evil.txt"));
  for (const auto& l : host.log) EXPECT_EQ(l.find("zqrunner.exe"), std::string::npos) << l;
  auto after = bfs.files;
  auto expected = before;
  expected.erase(TMemFileSystem::Key(d + "NewVer.ZLib"));
  EXPECT_EQ(after, expected);  // defaults rewritten to the same bytes: no comment repeated
  ExpectRestarted();
}

TEST_F(TUpdateTest, MissingRunnerInTheArchiveIsPutBack) {
  MakeArchive({{"readme.txt", "", "hello"}});
  ApplyUpdate(d, host, io);
  EXPECT_EQ(bfs.Get(d + "readme.txt"), "hello");
  EXPECT_EQ(bfs.Get(d + "ZqRunner.exe"), "MZ old runner");
  EXPECT_NE(std::find(host.log.begin(), host.log.end(),
                      "copy C:\\Temp\\updSW.exe -> C:\\Inst\\ZqRunner.exe"),
            host.log.end());
  // No settings before and none in the archive: an empty defaults file afterwards.
  EXPECT_TRUE(bfs.Has(d + "defaults.properties"));
  EXPECT_EQ(bfs.Get(d + "defaults.properties"), "");
  ExpectRestarted();
}

TEST_F(TUpdateTest, MissingArchiveStillRestarts) {
  ApplyUpdate(d, host, io);
  EXPECT_EQ(bfs.Get(d + "ZqRunner.exe"), "MZ old runner");
  ExpectRestarted();
}

// Settings that cannot be read before the update (the client holds them) are neither merged
// nor restored afterwards, so the archive must leave them alone; the rest is extracted.
TEST_F(TUpdateTest, UnreadableSettingsAreNotReplacedByTheArchive) {
  bfs.Put(d + "defaults.properties", "SERVER_IP=my.server\r\n");
  bfs.Put(d + "system2.properties", "killrunner=ON\r\n");
  MakeArchive({{"defaults.properties", "", "SERVER_IP=new.server\r\n"},
               {"system2.properties", "", "killrunner=OFF\r\n"},
               {"ZqRunner.exe", "", "MZ new runner"}});
  bfs.locked = {d + "defaults.properties", d + "system2.properties"};
  ApplyUpdate(d, host, io);
  bfs.locked.clear();
  EXPECT_EQ(bfs.Get(d + "defaults.properties"), "SERVER_IP=my.server\r\n");
  EXPECT_EQ(bfs.Get(d + "system2.properties"), "killrunner=ON\r\n");
  EXPECT_EQ(bfs.Get(d + "ZqRunner.exe"), "MZ new runner");  // extraction went on past them
  ExpectRestarted();
}

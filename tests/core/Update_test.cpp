#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "ArchiveWriter.h"
#include "MaintenanceFakes.h"
#include "Update.h"
#include "UpdateJournal.h"
#include "ZLibUtils.h"

namespace {

struct TKilled {};  // the updater was killed: nothing after it happens

// In-memory files with what other processes and a kill bring: a file open for reading is
// held against writes and deletes (the archive's FILE_SHARE_READ), listed files cannot be
// deleted, and the whole process dies at its Nth write of any kind (a file written, a
// block of a file, a rename, a copy, a delete, a folder made).
class TUpdateFs : public TMemFileSystem {
 public:
  int killAt = 0, writes = 0;
  std::map<std::string, int> readers;
  std::vector<std::string> undeletable;
  // Another process, say; told the path and whether the write is a delete.
  std::function<void(const std::string&, bool)> beforeWrite;

  void Write(const std::string& path, bool removal = false) {
    if (++writes >= killAt && killAt) throw TKilled{};
    if (beforeWrite) beforeWrite(path, removal);
  }
  bool Held(const std::string& p) const {
    const auto it = readers.find(Key(p));
    return it != readers.end() && it->second > 0;
  }
  bool WriteAll(const std::string& p, const std::string& data) override {
    Write(p);
    return !Held(p) && TMemFileSystem::WriteAll(p, data);
  }
  bool Delete(const std::string& p) override {
    Write(p, true);
    return !Held(p) && !Listed(undeletable, p) && TMemFileSystem::Delete(p);
  }
};

// Archive I/O over those files: every block is written through at once, so a kill
// leaves exactly what was written before it.
class TFsArchiveIo : public IArchiveIo {
 public:
  explicit TFsArchiveIo(TUpdateFs& fs) : fs_(fs) {}
  std::unique_ptr<IArchiveFile> OpenRead(const std::string& path) override {
    if (!fs_.Has(path)) return nullptr;
    return std::make_unique<TFile>(fs_, path, false);
  }
  std::unique_ptr<IArchiveFile> Create(const std::string& path) override {
    fs_.Write(path);
    if (fs_.IsLocked(path) || fs_.Held(path)) return nullptr;
    fs_.Put(path, "");
    return std::make_unique<TFile>(fs_, path, true);
  }
  bool FileExists(const std::string& path) override { return fs_.Has(path); }
  bool DirectoryExists(const std::string& path) override {
    std::string p = path;
    while (p.size() > 3 && p.back() == '\\') p.pop_back();
    return fs_.DirectoryExists(p) || fs_.DirectoryExists(p + "\\");
  }
  bool MakeDirectory(const std::string& path) override {
    fs_.Write(path);
    fs_.dirs.push_back(path);
    return true;
  }
  void ClearAttributes(const std::string&) override {}

 private:
  class TFile : public IArchiveFile {
   public:
    TFile(TUpdateFs& fs, std::string path, bool writing)
        : fs_(fs), key_(TMemFileSystem::Key(path)), data_(fs.Get(path)), writing_(writing) {
      if (!writing_) ++fs_.readers[key_];
    }
    ~TFile() override {
      if (!writing_) --fs_.readers[key_];
    }
    size_t Read(void* buffer, size_t n) override {
      if (pos_ >= data_.size()) return 0;
      const size_t k = std::min<size_t>(n, data_.size() - pos_);
      std::memcpy(buffer, data_.data() + pos_, k);
      pos_ += k;
      return k;
    }
    bool Write(const void* buffer, size_t n) override {
      fs_.Write(key_);
      fs_.files[key_].append(static_cast<const char*>(buffer), n);
      return writing_;
    }
    bool Flush() override { return true; }
    bool Seek(uint64_t position) override {
      pos_ = position;
      return true;
    }
    uint64_t Position() override { return pos_; }
    uint64_t Size() override { return writing_ ? fs_.Get(key_).size() : data_.size(); }

   private:
    TUpdateFs& fs_;
    std::string key_, data_;  // a reader sees the bytes as they were when it opened
    bool writing_;
    uint64_t pos_ = 0;
  };
  TUpdateFs& fs_;
};

struct TArchiveFile {
  std::string name, path, data;
};

// Files and folders, by upper-cased name.
using TSnapshot = std::pair<std::map<std::string, std::string>, std::set<std::string>>;

class TUpdateTest : public TSeamTest {
 protected:
  TUpdateFs bfs;
  TFakeMaintenanceHost host{bfs};
  TFsArchiveIo io{bfs};
  TRecordingLauncher launcher;
  const std::string d = "C:\\Inst\\";

  void SetUp() override {
    TSeamTest::SetUp();
    seams::SetFs(&bfs);
    seams::SetLauncher(&launcher);
    host.beforeChange = [this](const std::string& path) { bfs.Write(path); };
    UpdateBlocked = UpdateWarningShown = UpdateHandedOver = false;
    bfs.dirs = {"C:\\Inst"};
    host.exePath = "C:\\Temp\\updSW.exe";
    bfs.Put("C:\\Temp\\updSW.exe", "MZ old runner");
    bfs.Put(d + "ZqRunner.exe", "MZ old runner");
  }
  void TearDown() override {
    seams::SetLauncher(nullptr);
    TSeamTest::TearDown();
  }
  void MakeArchive(const std::vector<TArchiveFile>& files, bool compressList = true) {
    TArchiveWriter writer(io, d + "NewVer.ZLib");
    bool compress = false;
    for (const auto& f : files) writer.AddData(f.name, f.path, f.data, compress = !compress);
    writer.Finish(compressList);
  }
  TSnapshot Snapshot() const {
    TSnapshot s{bfs.files, {}};
    for (const auto& dir : bfs.dirs) s.second.insert(TMemFileSystem::Key(dir));
    return s;
  }
  void Restore(const TSnapshot& s) {
    bfs.files = s.first;
    bfs.dirs.assign(s.second.begin(), s.second.end());
  }
  // Update files left behind: staged files, copies, kept settings, the journal.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> left;
    for (const auto& f : bfs.files)
      if (f.first.find("\\~ZQ") != std::string::npos) left.push_back(f.first);
    return left;
  }
  void ExpectRestarted() {
    ASSERT_EQ(launcher.starts.size(), 1u);
    EXPECT_EQ(launcher.starts[0].commandLine, "\"C:\\Inst\\ZqRunner.exe\"");
    EXPECT_EQ(launcher.starts[0].workDir, d);
    EXPECT_FALSE(launcher.starts[0].wait);
    EXPECT_FALSE(bfs.Has(d + "NewVer.ZLib"));
    EXPECT_EQ(Leftovers(), std::vector<std::string>());
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

TEST_F(TUpdateTest, WaitsAboutFiveSecondsForTheOldRunnerToEnd) {
  struct {
    int busyLooks;
    bool free;
    int sleeps;
  } cases[] = {{0, true, 0}, {3, true, 3}, {50, true, 50}, {51, false, 51}, {-1, false, 51}};
  host.inUse = {d + "zqrunner.exe"};
  for (const auto& c : cases) {
    host.sleeps = 0;
    host.inUseLooks = c.busyLooks;
    EXPECT_EQ(WaitForOldRunner(d, host), c.free) << c.busyLooks;
    EXPECT_EQ(host.sleeps, c.sleeps) << c.busyLooks;
  }
  EXPECT_TRUE(ui.shown.empty());
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

TEST_F(TUpdateTest, ArchiveWithoutTheRunnerLeavesTheOldOne) {
  MakeArchive({{"readme.txt", "", "hello"}});
  ApplyUpdate(d, host, io);
  EXPECT_EQ(bfs.Get(d + "readme.txt"), "hello");
  EXPECT_EQ(bfs.Get(d + "ZqRunner.exe"), "MZ old runner");
  for (const auto& l : host.log) EXPECT_EQ(l.find("copy"), std::string::npos) << l;
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

// The updater is killed at each of its writes in turn. At that moment every file of the
// installation is whole (old, as the archive has it, or final) and "ZqRunner.exe" is
// there; the user's settings are on disk; and the next start, followed by the update
// that it hands over again if the archive is still there, gives the uninterrupted result.
TEST_F(TUpdateTest, KilledAtAnyWriteTheNextStartCompletesTheUpdate) {
  const std::string user = "#mine\r\nSERVER_IP=my.server\r\n";
  bfs.dirs.push_back(d + "lib");
  bfs.Put(d + "defaults.properties", user);
  bfs.Put(d + "system2.properties", "cancel=ON");
  bfs.Put(d + "Nativa.dll", std::string(9000, 'o'));
  bfs.Put(d + "lib\\a.jar", "old a");
  bfs.Put(d + "kept.txt", "not in the archive");
  const std::vector<TArchiveFile> entries = {
      {"Nativa.dll", "", std::string(10000, 'n')},  // three blocks of 4096 bytes
      {"ZqRunner.exe", "", "MZ new runner"},
      {"a.jar", "lib", "new a"},
      {"b.jar", "lib\\ext", "new b"},
      {"defaults.properties", "", "SERVER_IP=theirs\r\nnewkey=1\r\n"},
      {"system2.properties", "", "cancel=OFF"}};
  MakeArchive(entries);
  const TSnapshot start = Snapshot();
  bfs.writes = 0;
  ApplyUpdate(d, host, io);
  const int total = bfs.writes;
  RecoverAtStart(d, host, io);  // the normal start that follows removes the updater copy
  const TSnapshot done = Snapshot();
  ASSERT_EQ(bfs.Get(d + "defaults.properties"), user + "newkey=1\r\n");
  ASSERT_EQ(bfs.Get(d + "ZqRunner.exe"), "MZ new runner");
  ASSERT_GT(total, 30);

  for (int n = 1; n <= total; ++n) {
    Restore(start);
    launcher.starts.clear();
    ui.shown.clear();
    UpdateBlocked = UpdateWarningShown = false;
    bfs.writes = 0;
    bfs.killAt = n;
    EXPECT_THROW(ApplyUpdate(d, host, io), TKilled) << n;
    bfs.killAt = 0;
    for (const auto& e : entries) {
      const std::string target = d + (e.path.empty() ? "" : e.path + "\\") + e.name;
      const std::string key = TMemFileSystem::Key(target);
      const std::string now = bfs.Has(target) ? bfs.Get(target) : "<absent>";
      const auto was = start.first.find(key);
      EXPECT_TRUE(now == (was == start.first.end() ? "<absent>" : was->second) ||
                  now == e.data || now == done.first.at(key))
          << n << " " << target << " holds " << now.size() << " bytes";
    }
    EXPECT_TRUE(bfs.Has(d + "ZqRunner.exe")) << n;
    EXPECT_TRUE(bfs.Get(d + "defaults.properties").find("my.server") != std::string::npos ||
                bfs.Get(d + "~zqdefaults.keep") == user)
        << n;
    RecoverAtStart(d, host, io);
    if (bfs.Has(d + "NewVer.ZLib")) ApplyUpdate(d, host, io);
    EXPECT_TRUE(Snapshot() == done) << n;
    EXPECT_TRUE(ui.shown.empty()) << n;
    EXPECT_FALSE(UpdateBlocked) << n;
  }
}

// Whatever stops the update part-way leaves the old version whole, with one warning that
// names the file (and its holder where the host can tell) and the old program restarted.
// An archive at fault is removed; one stopped by a cause that may pass (a file in use, no
// room) stays for a later run, recorded, as is one that cannot be removed, so that the
// next start neither hands it over again nor warns.
TEST_F(TUpdateTest, AnUpdateThatCannotBeAppliedIsUndoneAndToldOnce) {
  bfs.Put(d + "defaults.properties", "SERVER_IP=my.server\r\n");
  bfs.Put(d + "a.jar", "old a");
  const std::string first = "Could not update all files properly";
  struct {
    const char* what;
    std::function<void()> arrange;
    bool archiveStays;
    std::string detail;  // the warning's second part
  } cases[] = {
      {"a jar held open by another program",
       [&] { host.inUse = {d + "a.jar"}, host.holders[TMemFileSystem::Key(d + "a.jar")] = "Stash9 (javaw.exe)"; },
       true, "a.jar is in use by Stash9 (javaw.exe)"},
      {"the old program still running",
       [&] { host.inUse = {d + "ZqRunner.exe"}, host.inUseLooks = -1; }, true,
       "ZqRunner.exe is in use"},
      {"no room for a staged file", [&] { bfs.locked = {d + "~zq2.new"}; }, true,
       "a.jar could not be written"},
      {"an entry that does not match its CRC",
       [&] {
         std::string bytes = bfs.Get(d + "NewVer.ZLib");
         const size_t list = bytes.size() - kTrailerSize - 3 * kEntrySize;
         bytes[list + kEntrySize + 524] ^= 1;  // the second entry's CRC
         const uint32_t crc = Crc32(0, bytes.data(), bytes.size() - kTrailerSize);
         std::memcpy(&bytes[bytes.size() - kTrailerSize], &crc, 4);
         bfs.Put(d + "NewVer.ZLib", bytes);
       },
       false, ""},
      {"an archive that cannot be removed",
       [&] { host.inUse = {d + "a.jar"}, bfs.undeletable = {d + "NewVer.ZLib"}; }, true,
       "a.jar is in use"},
  };
  for (const auto& c : cases) {
    MakeArchive({{"defaults.properties", "", "SERVER_IP=theirs\r\n"},
                 {"ZqRunner.exe", "", "MZ new runner"}, {"a.jar", "", "new a"}}, false);
    c.arrange();
    TSnapshot expected = Snapshot();
    if (!c.archiveStays) expected.first.erase(TMemFileSystem::Key(d + "NewVer.ZLib"));
    launcher.starts.clear();
    ui.shown.clear();
    UpdateBlocked = UpdateWarningShown = false;
    ApplyUpdate(d, host, io);
    bfs.locked.clear();
    TSnapshot installation = Snapshot();
    installation.first.erase(TMemFileSystem::Key(d + "~zqupdate.jnl"));
    EXPECT_TRUE(installation == expected) << c.what;
    ASSERT_EQ(ui.shown.size(), 1u) << c.what;
    EXPECT_EQ(ui.shown[0].text, c.detail.empty() ? first : first + "\r\n\r\n" + c.detail) << c.what;
    ASSERT_EQ(launcher.starts.size(), 1u) << c.what;
    EXPECT_EQ(launcher.starts[0].commandLine, "\"C:\\Inst\\ZqRunner.exe\"");
    // The scheduler started next neither hands the archive over nor warns again.
    ui.shown.clear();
    EXPECT_TRUE(RecoverAtStart(d, host, io)) << c.what;
    EXPECT_EQ(UpdateBlocked, c.archiveStays) << c.what;
    EXPECT_TRUE(ui.shown.empty()) << c.what;
    EXPECT_EQ(Leftovers(), std::vector<std::string>()) << c.what;
    host.inUse.clear();
    host.holders.clear();
    host.inUseLooks = 0;
    bfs.undeletable.clear();
    bfs.Delete(d + "NewVer.ZLib");
  }
}

// The archive is held from its check to the end of the extraction: another program
// cannot replace it with other bytes or delete it in between.
TEST_F(TUpdateTest, TheArchiveCannotChangeBetweenItsCheckAndItsExtraction) {
  MakeArchive({{"ZqRunner.exe", "", "MZ new runner"}, {"a.jar", "", std::string(9000, 'a')}});
  const std::string archive = d + "NewVer.ZLib";
  const std::string cut = bfs.Get(archive).substr(0, 200);
  int tries = 0, changed = 0;
  // The rival acts while the settings are kept and the entries staged: from just after
  // the check to the end of the extraction.
  bfs.beforeWrite = [&](const std::string& path, bool removal) {
    const std::string key = TMemFileSystem::Key(path);
    const size_t dot = key.rfind('.');
    if (removal || key.find("\\~ZQ") == std::string::npos || dot == std::string::npos ||
        (key.compare(dot, 4, ".NEW") != 0 && key.compare(dot, 5, ".KEEP") != 0))
      return;
    ++tries;
    auto rival = std::move(bfs.beforeWrite);  // the rival's own writes are plain ones
    changed += bfs.WriteAll(archive, cut) + bfs.Delete(archive);
    bfs.beforeWrite = std::move(rival);
  };
  ApplyUpdate(d, host, io);
  bfs.beforeWrite = nullptr;
  EXPECT_GT(tries, 3);
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(bfs.Get(d + "a.jar"), std::string(9000, 'a'));
  EXPECT_TRUE(ui.shown.empty());
  ExpectRestarted();
}

// The hand-over starts only a copy that holds this program's bytes: in the temporary
// directory, else in the installation directory; when no folder takes it, the user is
// told once and no update is handed over again in this run.
TEST_F(TUpdateTest, HandOverStartsOnlyACopyOfThisProgram) {
  host.exePath = d + "ZqRunner.exe";
  struct {
    std::string temp;
    std::vector<std::string> refused;  // copies that cannot be replaced
    std::string folder;                // where the copy starts; "" for none
  } cases[] = {{"C:\\Temp\\", {}, "C:\\Temp\\"},
               {"", {}, d},  // no temporary directory that the ANSI calls reach
               {"C:\\Temp\\", {"C:\\Temp\\updSW.exe"}, d},
               {"C:\\Temp\\", {"C:\\Temp\\updSW.exe", d + "updSW.exe"}, ""}};
  for (const auto& c : cases) {
    bfs.Put("C:\\Temp\\updSW.exe", "MZ stale runner");  // left by an older version
    bfs.locked = c.refused;
    host.tempDir = c.temp;
    launcher.starts.clear();
    host.log.clear();
    UpdateBlocked = UpdateWarningShown = UpdateHandedOver = false;
    EXPECT_EQ(HandOverUpdate("C:\\Inst", host), !c.folder.empty()) << c.folder;
    EXPECT_EQ(UpdateBlocked, c.folder.empty());
    EXPECT_EQ(ui.shown.size(), c.folder.empty() ? 1u : 0u);
    // The update's mark is taken before the copy starts and passed on to it.
    ASSERT_FALSE(host.log.empty());
    EXPECT_EQ(host.log.front(), "mark " + d);
    EXPECT_EQ(host.log.back(), c.folder.empty() ? "unmark" : "share mark 42");
    if (c.folder.empty()) {
      EXPECT_TRUE(launcher.starts.empty());
      host.log.clear();
      EXPECT_FALSE(HandOverUpdate("C:\\Inst", host));  // blocked: no copy, no second box
      EXPECT_TRUE(host.log.empty());
      EXPECT_EQ(ui.shown.size(), 1u);
      continue;
    }
    // A second WM_RUNNER_UPDATE already queued starts no second updater.
    EXPECT_TRUE(HandOverUpdate("C:\\Inst", host));
    ASSERT_EQ(launcher.starts.size(), 1u) << c.folder;
    EXPECT_EQ(launcher.starts[0].commandLine, "\"" + c.folder + "updSW.exe\" -update \"" + d + "\"");
    EXPECT_EQ(launcher.starts[0].workDir, c.folder);
    EXPECT_EQ(bfs.Get(c.folder + "updSW.exe"), "MZ old runner");
    bfs.locked.clear();
    RecoverAtStart("C:\\Inst", host, io);  // the next start removes the copy again
    EXPECT_FALSE(bfs.Has(c.folder + "updSW.exe")) << c.folder;
  }
  EXPECT_EQ(ui.shown[0].text, "Could not update all files properly");
}

// A journal that does not prove itself whole is never taken at its word. The update is
// stopped part-way (after two files were put in place, or after every file), the whole
// journal replaced by a damaged one: cut after each of its lines (the last cut is a
// journal of the previous version, without the check line), cut inside a line, garbage,
// empty, a file line changed under the old check line. The next start leaves the old
// version with the user's settings (or, when every file was new already, the new version
// with them merged), no update file, the archive kept and no warning; the update handed
// over again then ends exactly as an uninterrupted one.
TEST_F(TUpdateTest, ADamagedJournalIsUndoneFromTheCopiesAndTheArchiveAppliedAgain) {
  const std::string user = "#mine\r\nSERVER_IP=my.server\r\n";
  bfs.dirs.push_back(d + "lib");
  bfs.Put(d + "defaults.properties", user);
  bfs.Put(d + "system2.properties", "cancel=ON");
  bfs.Put(d + "lib\\a.jar", "old a");
  bfs.Put(d + "b.jar", "old b");
  MakeArchive({{"a.jar", "lib", "new a"},
               {"b.jar", "", "new b"},
               {"c.jar", "lib\\ext", "new c"},
               {"defaults.properties", "", "SERVER_IP=theirs\r\nnewkey=1\r\n"},
               {"system2.properties", "", "cancel=OFF"},
               {"ZqRunner.exe", "", "MZ new runner"}});
  const TSnapshot start = Snapshot();
  ApplyUpdate(d, host, io);
  RecoverAtStart(d, host, io);
  const TSnapshot done = Snapshot();
  ASSERT_EQ(bfs.Get(d + "defaults.properties"), user + "newkey=1\r\n");

  // Stopped at the third file put in place, or at the merge after the last one.
  for (const bool allPlaced : {false, true}) {
    Restore(start);
    int placed = 0;
    host.beforeChange = [&](const std::string& path) {
      bfs.Write(path);
      if (host.log.back().rfind("replace", 0) == 0 && host.log.back().find(".new ") != std::string::npos &&
          ++placed == 3 && !allPlaced)
        throw TKilled{};
    };
    bfs.beforeWrite = [&](const std::string& path, bool removal) {
      if (allPlaced && placed == 6 && !removal && TMemFileSystem::Key(path) == TMemFileSystem::Key(d + "defaults.properties"))
        throw TKilled{};
    };
    EXPECT_THROW(ApplyUpdate(d, host, io), TKilled);
    host.beforeChange = [this](const std::string& path) { bfs.Write(path); };
    bfs.beforeWrite = nullptr;
    const TSnapshot killed = Snapshot();
    const std::string whole = bfs.Get(d + "~zqupdate.jnl");
    ASSERT_NE(whole.find("state=switch"), std::string::npos);
    ASSERT_EQ(bfs.Get(d + "ZqRunner.exe"), allPlaced ? "MZ new runner" : "MZ old runner");

    std::vector<std::pair<std::string, std::string>> damaged;
    for (size_t end = whole.find("\r\n"); end != std::string::npos; end = whole.find("\r\n", end + 2))
      if (end + 2 < whole.size()) damaged.push_back({"cut at byte " + std::to_string(end + 2), whole.substr(0, end + 2)});
    damaged.push_back({"cut inside a line", whole.substr(0, whole.size() / 2)});
    damaged.push_back({"empty", ""});
    damaged.push_back({"garbage", std::string("\x8f\x02zq\xff\r\n\0\x13 update", 15)});
    std::string changed = whole;
    changed[changed.find("file=1|") + 5] = '0';
    damaged.push_back({"a changed line under the old check", changed});
    ASSERT_GT(damaged.size(), 10u);

    for (const auto& [what, text] : damaged) {
      const std::string c = std::string(allPlaced ? "all placed, " : "") + what;
      Restore(killed);
      bfs.Put(d + "~zqupdate.jnl", text);
      ui.shown.clear();
      UpdateBlocked = UpdateWarningShown = false;
      EXPECT_TRUE(RecoverAtStart(d, host, io)) << c;
      EXPECT_TRUE(ui.shown.empty()) << c;
      EXPECT_FALSE(UpdateBlocked) << c;
      EXPECT_EQ(Leftovers(), std::vector<std::string>()) << c;
      EXPECT_TRUE(bfs.Has(d + "NewVer.ZLib")) << c;
      EXPECT_EQ(bfs.Get(d + "system2.properties"), "cancel=ON") << c;
      // Every file of the version kept is as it was; files the old version did not have may stay.
      for (const auto& [key, data] : (allPlaced ? done : start).first)
        if (key.rfind("C:\\INST\\", 0) == 0) {
          EXPECT_EQ(bfs.Get(key), data) << c << " " << key;
        }
      ApplyUpdate(d, host, io);
      RecoverAtStart(d, host, io);
      EXPECT_TRUE(Snapshot() == done) << c;
      EXPECT_TRUE(ui.shown.empty()) << c;
    }
  }
}

// While an update runs (its mark held by another process), a start recovers, cleans up
// and warns about nothing: it ends quietly, also when the update began between its first
// look and its recovery. Only the updater's own start at its end waits, up to two
// minutes, for the updater to end; it belongs to the run that handed over: it hands no
// archive over and warns not.
TEST_F(TUpdateTest, AStartDuringAnUpdateLeavesEveryFileAlone) {
  struct {
    bool byUpdater;
    int markedLooks;
    bool free;
    int sleeps;
  } waits[] = {{false, 0, true, 0},       {false, 1, false, 0},     {true, 0, true, 0},
               {true, 5, true, 5},        {true, 1200, true, 1200}, {true, -1, false, 1200}};
  for (const auto& w : waits) {
    host.sleeps = 0;
    host.otherMarkLooks = w.markedLooks;
    EXPECT_EQ(WaitWhileUpdating(d, host, w.byUpdater), w.free) << w.markedLooks;
    EXPECT_EQ(host.sleeps, w.sleeps) << w.markedLooks;
  }

  bfs.Put(d + "defaults.properties", "SERVER_IP=my.server\r\n");
  MakeArchive({{"defaults.properties", "", "SERVER_IP=theirs\r\n"}, {"a.jar", "", "new a"},
               {"ZqRunner.exe", "", "MZ new runner"}});
  // The updater at work: staged files, copies, the journal at "switch", one file placed.
  int placed = 0;
  host.beforeChange = [&](const std::string& path) {
    bfs.Write(path);
    if (host.log.back().rfind("replace", 0) == 0 && ++placed == 2) throw TKilled{};
  };
  EXPECT_THROW(ApplyUpdate(d, host, io), TKilled);
  host.beforeChange = [this](const std::string& path) { bfs.Write(path); };
  const TSnapshot during = Snapshot();
  ASSERT_FALSE(Leftovers().empty());
  host.otherMarkLooks = -1;
  host.log.clear();
  bfs.writes = 0;
  EXPECT_FALSE(RecoverAtStart(d, host, io));
  EXPECT_TRUE(Snapshot() == during);
  EXPECT_EQ(bfs.writes, 0);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_FALSE(UpdateBlocked);
  EXPECT_EQ(host.log, std::vector<std::string>{"marked? " + d});

  // The update ends (here: as the next start finishes it); the archive is back, held.
  host.otherMarkLooks = 0;
  EXPECT_TRUE(RecoverAtStart(d, host, io));
  MakeArchive({{"a.jar", "", "newer a"}});
  UpdateBlocked = UpdateWarningShown = false;
  EXPECT_TRUE(RecoverAtStart(d, host, io, true));
  EXPECT_TRUE(UpdateBlocked && UpdateWarningShown);
  EXPECT_TRUE(ui.shown.empty());
}

// An updater that finds the record of an archive declined in this run (a second updater,
// started from a second hand-over) neither applies it again nor warns: it passes the
// record on to the scheduler it starts, which hands nothing over.
TEST_F(TUpdateTest, ASecondUpdaterLeavesADeclinedArchiveAlone) {
  MakeArchive({{"ZqRunner.exe", "", "MZ new runner"}});
  TUpdateJournal declined;
  ASSERT_TRUE(SaveJournal(TUpdatePaths(d), declined, TUpdateState::Declined));
  const TSnapshot before = Snapshot();
  ApplyUpdate(d, host, io);
  EXPECT_TRUE(Snapshot() == before);
  EXPECT_TRUE(ui.shown.empty());
  ASSERT_EQ(launcher.starts.size(), 1u);
  EXPECT_TRUE(RecoverAtStart(d, host, io));
  EXPECT_TRUE(UpdateBlocked);
  EXPECT_TRUE(ui.shown.empty());
}

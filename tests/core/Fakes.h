// In-memory stand-ins for the seams, shared by the portable-core tests.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Globals.h"
#include "Properties.h"
#include "Seams.h"

// A file of the sample installation (sample/install) in the source tree; "" when missing.
inline std::string ReadSample(const std::string& name) {
  const char* src = std::getenv("ZQ_SOURCE_DIR");
  std::ifstream in(std::string(src ? src : ".") + "/sample/install/" + name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class TFakeClock : public IClock {
 public:
  TDateTime now = 0;
  TDateTime Now() const override { return now; }
};

// Windows-like: names compare without regard to ASCII case.
class TMemFileSystem : public IFileSystem {
 public:
  std::map<std::string, std::string> files;
  std::map<std::string, TDateTime> times;
  std::vector<std::string> dirs;
  std::vector<std::string> locked;    // present but cannot be opened (its time still reads)
  std::vector<std::string> timeless;  // present but its last-write time cannot be read
  mutable int reads = 0;              // ReadAll calls, also those behind Read
  // Runs in WriteIfUnchanged before the comparison: another process writing in between.
  std::function<void()> beforeWrite;

  static std::string Key(const std::string& p) { return UpperAscii(p); }
  void Put(const std::string& p, const std::string& data, TDateTime t = 1.0) {
    files[Key(p)] = data;
    times[Key(p)] = t;
  }
  std::string Get(const std::string& p) const {
    auto it = files.find(Key(p));
    return it == files.end() ? std::string() : it->second;
  }
  bool Has(const std::string& p) const { return files.count(Key(p)) != 0; }
  static bool Listed(const std::vector<std::string>& list, const std::string& p) {
    for (const auto& l : list)
      if (Key(l) == Key(p)) return true;
    return false;
  }
  bool IsLocked(const std::string& p) const { return Listed(locked, p); }

  mutable int timeReads = 0;  // FileTime and Exists questions
  bool Exists(const std::string& p) const override {
    ++timeReads;
    return Has(p) || DirectoryExists(p);
  }
  bool DirectoryExists(const std::string& p) const override {
    for (const auto& d : dirs)
      if (Key(d) == Key(p)) return true;
    return false;
  }
  std::optional<std::string> ReadAll(const std::string& p) const override {
    ++reads;
    if (!Has(p) || IsLocked(p)) return std::nullopt;
    return Get(p);
  }
  TWriteResult WriteIfUnchanged(const std::string& p, const std::string& data,
                                const TFileStamp& readAs) override {
    if (beforeWrite) beforeWrite();
    if (Read(p, 0).stamp != readAs) return TWriteResult::Changed;
    return WriteAll(p, data) ? TWriteResult::Written : TWriteResult::Failed;
  }
  bool WriteAll(const std::string& p, const std::string& data) override {
    if (IsLocked(p)) return false;
    Put(p, data, times.count(Key(p)) ? times[Key(p)] + 1 : 1.0);
    return true;
  }
  bool Delete(const std::string& p) override { return files.erase(Key(p)) != 0; }
  TDateTime FileTime(const std::string& p) const override {
    ++timeReads;
    if (!Has(p) || Listed(timeless, p)) return 0;
    return times.at(Key(p));
  }
};

struct TBox {
  std::string text, caption;
  unsigned flags;
};

// Records every message box and answers from a queue (IDOK = 1 when the queue is empty).
class TScriptedUi : public IUi {
 public:
  std::vector<TBox> shown;
  std::deque<int> answers;
  int ShowBox(const std::string& text, const std::string& caption, unsigned flags) override {
    shown.push_back({text, caption, flags});
    if (answers.empty()) return 1;
    const int a = answers.front();
    answers.pop_front();
    return a;
  }
};

// Installs fresh fakes and resets the process-wide settings for each test.
class TSeamTest : public ::testing::Test {
 protected:
  TFakeClock clock;
  TMemFileSystem fs;
  TScriptedUi ui;

  void SetUp() override {
    seams::SetClock(&clock);
    seams::SetFs(&fs);
    seams::SetUi(&ui);
    InstallDir = "C:\\Inst";
    ProductName = "Stash9";
    ServerAddress.clear();
  }
  void TearDown() override {
    seams::SetClock(nullptr);
    seams::SetFs(nullptr);
    seams::SetUi(nullptr);
  }
};

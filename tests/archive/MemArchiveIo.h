// An in-memory IArchiveIo for the archive tests: Windows-like (names compare without
// regard to ASCII case, "\" separates, a file needs an existing parent directory), and it
// records every directory and file it is asked to create.
#pragma once
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ArchiveIo.h"
#include "Properties.h"

class TMemArchiveIo : public IArchiveIo {
 public:
  std::map<std::string, std::string> files;  // by Key()
  std::set<std::string> dirs;  // by Key()
  std::set<std::string> locked;  // by Key(): cannot be opened or created
  std::set<std::string> refuseDirs;  // by Key(): MakeDirectory fails
  std::vector<std::string> created;  // every file and directory created, in order
  std::vector<std::string> cleared;  // ClearAttributes calls
  size_t writeLimit = SIZE_MAX;  // bytes a created file takes before writes fail

  // Upper case, without trailing backslashes ("C:\App\" and "c:\app" are one directory).
  static std::string Key(std::string p) {
    while (p.size() > 1 && p.back() == '\\') p.pop_back();
    return UpperAscii(p);
  }
  static std::string Parent(const std::string& p) {
    const std::string k = Key(p);
    const size_t at = k.rfind('\\');
    return at == std::string::npos ? std::string() : k.substr(0, at);
  }
  void AddDir(const std::string& p) { dirs.insert(Key(p)); }
  void Put(const std::string& p, const std::string& data) { files[Key(p)] = data; }
  bool Has(const std::string& p) const { return files.count(Key(p)) != 0; }
  std::string Get(const std::string& p) const {
    auto it = files.find(Key(p));
    return it == files.end() ? std::string("<missing>") : it->second;
  }

  std::unique_ptr<IArchiveFile> OpenRead(const std::string& path) override {
    if (!Has(path) || locked.count(Key(path))) return nullptr;
    return std::make_unique<TFile>(files[Key(path)], SIZE_MAX, false);
  }
  std::unique_ptr<IArchiveFile> Create(const std::string& path) override {
    const std::string k = Key(path);
    if (locked.count(k) || dirs.count(k) || !dirs.count(Parent(path))) return nullptr;
    files[k].clear();
    created.push_back(path);
    return std::make_unique<TFile>(files[k], writeLimit, true);
  }
  bool FileExists(const std::string& path) override { return Has(path); }
  bool DirectoryExists(const std::string& path) override { return dirs.count(Key(path)) != 0; }
  bool MakeDirectory(const std::string& path) override {
    const std::string k = Key(path);
    if (dirs.count(k) || files.count(k) || refuseDirs.count(k) || !dirs.count(Parent(path)))
      return false;
    dirs.insert(k);
    created.push_back(path);
    return true;
  }
  void ClearAttributes(const std::string& path) override { cleared.push_back(path); }

 private:
  // Reads a snapshot, or writes into the map's string (map nodes do not move).
  class TFile : public IArchiveFile {
   public:
    TFile(std::string& data, size_t limit, bool writing)
        : data_(data), snapshot_(writing ? std::string() : data), limit_(limit),
          writing_(writing) {}
    size_t Read(void* buffer, size_t n) override {
      const std::string& s = writing_ ? data_ : snapshot_;
      if (pos_ >= s.size()) return 0;
      const size_t k = std::min(n, s.size() - static_cast<size_t>(pos_));
      std::memcpy(buffer, s.data() + pos_, k);
      pos_ += k;
      return k;
    }
    bool Write(const void* buffer, size_t n) override {
      if (!writing_ || data_.size() + n > limit_) return false;
      data_.append(static_cast<const char*>(buffer), n);
      return true;
    }
    bool Flush() override { return true; }
    bool Seek(uint64_t position) override {
      pos_ = position;
      return true;
    }
    uint64_t Position() override { return pos_; }
    uint64_t Size() override { return writing_ ? data_.size() : snapshot_.size(); }

   private:
    std::string& data_;
    std::string snapshot_;
    size_t limit_;
    bool writing_;
    uint64_t pos_ = 0;
  };
};

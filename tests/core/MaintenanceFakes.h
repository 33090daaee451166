// In-memory registry and maintenance host for the update, uninstall and runtime tests.
#pragma once
#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Fakes.h"
#include "JavaSetup.h"
#include "Maintenance.h"
#include "Registry.h"

// Keys are "ROOT\PATH" upper-cased (the registry ignores case); values as (type, data).
class TMemRegistry : public IRegistry {
 public:
  struct TValue {
    bool isString = true;
    std::string data;
  };
  std::map<std::string, std::map<std::string, TValue>> keys;  // key -> value name -> value

  static std::string K(TRegRoot root, const std::string& key) {
    return std::to_string(static_cast<int>(root)) + "\\" + UpperAscii(key);
  }
  void Put(TRegRoot root, const std::string& key, const std::string& name,
           const std::string& data, bool isString = true) {
    // Creating a key creates its ancestors, as RegCreateKeyEx does.
    for (size_t p = key.find('\\'); p != std::string::npos; p = key.find('\\', p + 1))
      keys[K(root, key.substr(0, p))];
    keys[K(root, key)][UpperAscii(name)] = {isString, data};
  }
  bool Has(TRegRoot root, const std::string& key) const { return keys.count(K(root, key)) != 0; }

  std::optional<std::vector<std::string>> SubKeyNames(TRegRoot root,
                                                      const std::string& key) override {
    if (!Has(root, key)) return std::nullopt;
    const std::string prefix = K(root, key) + "\\";
    std::vector<std::string> names;
    for (const auto& [k, v] : keys)
      if (k.compare(0, prefix.size(), prefix) == 0 &&
          k.find('\\', prefix.size()) == std::string::npos)
        names.push_back(k.substr(prefix.size()));
    std::reverse(names.begin(), names.end());  // the registry promises no order
    return names;
  }
  TRegRead ReadString(TRegRoot root, const std::string& key, const std::string& name,
                      std::string& value) override {
    auto k = keys.find(K(root, key));
    if (k == keys.end()) return TRegRead::NoKey;
    auto v = k->second.find(UpperAscii(name));
    if (v == k->second.end()) return TRegRead::NoValue;
    if (!v->second.isString) return TRegRead::WrongType;
    value = v->second.data;
    return TRegRead::Ok;
  }
  bool WriteString(TRegRoot root, const std::string& key, const std::string& name,
                   const std::string& value) override {
    Put(root, key, name, value);
    return true;
  }
  bool DeleteTree(TRegRoot root, const std::string& key) override {
    const std::string k = K(root, key);
    bool found = false;
    for (auto it = keys.begin(); it != keys.end();) {
      if (it->first == k || it->first.compare(0, k.size() + 1, k + "\\") == 0) {
        it = keys.erase(it);
        found = true;
      } else {
        ++it;
      }
    }
    return found;
  }
};

// Records what the host is asked to do; file operations act on the TMemFileSystem.
class TFakeMaintenanceHost : public IMaintenanceHost {
 public:
  explicit TFakeMaintenanceHost(TMemFileSystem& fs) : fs_(fs) {}
  std::vector<std::string> log;
  int sleeps = 0;
  int schedulerLooks = 0;
  bool schedulerRunning = false;
  bool schedulerEndsOnDestroy = true;
  std::string exePath = "C:\\Inst\\ZqRunner.exe";
  std::function<void(const std::string&)> beforeChange;  // runs before each change of a file

  std::string tempDir = "C:\\Temp\\";
  std::string TempDir() override { return tempDir; }
  std::string ExePath() override { return exePath; }
  void Sleep(unsigned ms) override {
    ++sleeps;
    log.push_back("sleep " + std::to_string(ms));
  }
  void SetArchiveAttribute(const std::string& path) override { log.push_back("attrib " + path); }
  bool CopyFileOver(const std::string& from, const std::string& to) override {
    log.push_back("copy " + from + " -> " + to);
    if (beforeChange) beforeChange(to);
    if (!fs_.Has(from) || fs_.IsLocked(to)) return false;
    fs_.Put(to, fs_.Get(from));
    return true;
  }
  // Replaces in one step, unless the target is listed as held (open elsewhere).
  bool ReplaceWith(const std::string& from, const std::string& to) override {
    log.push_back("replace " + from + " -> " + to);
    if (beforeChange) beforeChange(to);
    if (!fs_.Has(from) || fs_.IsLocked(to) || TMemFileSystem::Listed(inUse, to)) return false;
    fs_.Put(to, fs_.Get(from));
    fs_.files.erase(TMemFileSystem::Key(from));
    return true;
  }
  bool KeepCopy(const std::string& from, const std::string& to) override {
    log.push_back("keep " + from + " -> " + to);
    if (beforeChange) beforeChange(to);
    if (!fs_.Has(from) || fs_.IsLocked(from)) return false;
    fs_.Put(to, fs_.Get(from));
    return true;
  }
  bool SameContent(const std::string& a, const std::string& b) override {
    return fs_.Has(a) && fs_.Has(b) && fs_.Get(a) == fs_.Get(b);
  }
  // Files listed in `inUse` count as running programs: they cannot be replaced either.
  std::vector<std::string> inUse;
  int inUseLooks = 0;  // FileInUse answers true this many times for a listed file (-1: always)
  bool FileInUse(const std::string& path) override {
    if (!TMemFileSystem::Listed(inUse, path) || inUseLooks == 0) return false;
    if (inUseLooks > 0) --inUseLooks;
    return true;
  }
  void RemoveTree(const std::string& dir) override { log.push_back("rmtree " + dir); }
  // Removes the folder from the file system's list when no file lies below it.
  bool RemoveEmptyDirectory(const std::string& dir) override {
    log.push_back("rmdir " + dir);
    if (beforeChange) beforeChange(dir);
    const std::string below = TMemFileSystem::Key(dir) + "\\";
    for (const auto& f : fs_.files)
      if (f.first.compare(0, below.size(), below) == 0) return false;
    auto& dirs = fs_.dirs;
    dirs.erase(std::remove_if(dirs.begin(), dirs.end(),
                              [&](const std::string& d) {
                                return TMemFileSystem::Key(d) == TMemFileSystem::Key(dir);
                              }),
               dirs.end());
    return true;
  }
  bool SchedulerWindowExists() override {
    ++schedulerLooks;
    return schedulerRunning;
  }
  void PostDestroyToScheduler() override {
    log.push_back("destroy scheduler");
    if (schedulerEndsOnDestroy) schedulerRunning = false;
  }
  // Another process's mark: held for this many looks (-1: throughout).
  int otherMarkLooks = 0;
  std::string ownMark;  // the mark this process holds, "" for none
  bool UpdateMarked(const std::string& dir) override {
    log.push_back("marked? " + dir);
    if (otherMarkLooks == 0) return false;
    if (otherMarkLooks > 0) --otherMarkLooks;
    return true;
  }
  void MarkUpdate(const std::string& dir) override {
    log.push_back("mark " + dir);
    ownMark = UpdateMarkName(dir);
  }
  void UnmarkUpdate() override {
    log.push_back("unmark");
    ownMark.clear();
  }
  void ShareUpdateMark(unsigned long processId) override {
    log.push_back("share mark " + std::to_string(processId));
  }
  std::map<std::string, std::string> holders;  // upper-cased path -> holder
  std::string FileHolder(const std::string& path) override {
    const auto it = holders.find(TMemFileSystem::Key(path));
    return it == holders.end() ? std::string() : it->second;
  }

 private:
  TMemFileSystem& fs_;
};

// Records the commands it is asked to start.
class TRecordingLauncher : public IProcessLauncher {
 public:
  struct TStart {
    std::string commandLine, workDir;
    bool wait;
  };
  std::vector<TStart> starts;
  TProcessResult Start(const std::string& commandLine, const std::string& workDir,
                       bool wait) override {
    starts.push_back({commandLine, workDir, wait});
    TProcessResult r;
    r.started = true;
    r.processId = 42;
    return r;
  }
};

// A file system that also records deletions in order.
class TLoggingFileSystem : public TMemFileSystem {
 public:
  std::vector<std::string> deleted;
  bool Delete(const std::string& p) override {
    deleted.push_back(p);
    return TMemFileSystem::Delete(p);
  }
};

#include "FolderWatch.h"

#include "Properties.h"

void TWatchedFileSystem::Watch(const std::string& folder, std::unique_ptr<IFolderWatch> watch) {
  watch_ = std::move(watch);
  folderKey_ = watch_ ? UpperAscii(folder) + "\\" : std::string();
  times_.clear();
  exists_.clear();
  lookedUpMs_ = clock_.RealMs();
}

void TWatchedFileSystem::Look() {
  if (!watch_) return;
  const uint32_t now = clock_.RealMs();
  // Asked every time, so that it is armed again after each change it reports.
  const bool changed = watch_->Changed();
  if (changed || now - lookedUpMs_ >= kFileTimesMaxAgeMs) {
    times_.clear();
    exists_.clear();
    lookedUpMs_ = now;
  }
}

std::string TWatchedFileSystem::KeyOf(const std::string& path) const {
  if (folderKey_.empty() || path.size() <= folderKey_.size()) return {};
  const std::string key = UpperAscii(path);
  // Files directly in the folder: the watch does not cover subfolders.
  if (key.compare(0, folderKey_.size(), folderKey_) != 0 ||
      key.find('\\', folderKey_.size()) != std::string::npos)
    return {};
  return key;
}

void TWatchedFileSystem::Forget(const std::string& path) {
  const std::string key = KeyOf(path);
  times_.erase(key);
  exists_.erase(key);
}

namespace {
// The remembered answer for `key`, asked of `lookUp` only the first time; "" is never kept.
template <typename T, typename F>
T Remembered(std::map<std::string, T>& known, const std::string& key, F lookUp) {
  if (key.empty()) return lookUp();
  auto it = known.find(key);
  if (it == known.end()) it = known.emplace(key, lookUp()).first;
  return it->second;
}
}  // namespace

bool TWatchedFileSystem::Exists(const std::string& path) const {
  return Remembered(exists_, KeyOf(path), [&] { return inner_.Exists(path); });
}

TDateTime TWatchedFileSystem::FileTime(const std::string& path) const {
  return Remembered(times_, KeyOf(path), [&] { return inner_.FileTime(path); });
}

bool TWatchedFileSystem::WriteAll(const std::string& path, const std::string& data) {
  Forget(path);
  return inner_.WriteAll(path, data);
}

TWriteResult TWatchedFileSystem::WriteIfUnchanged(const std::string& path,
                                                  const std::string& data,
                                                  const TFileStamp& readAs) {
  Forget(path);
  return inner_.WriteIfUnchanged(path, data, readAs);
}

bool TWatchedFileSystem::Delete(const std::string& path) {
  Forget(path);
  return inner_.Delete(path);
}

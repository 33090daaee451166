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

bool TWatchedFileSystem::Exists(const std::string& path) const {
  const std::string key = KeyOf(path);
  if (key.empty()) return inner_.Exists(path);
  auto it = exists_.find(key);
  if (it == exists_.end()) it = exists_.emplace(key, inner_.Exists(path)).first;
  return it->second;
}

TDateTime TWatchedFileSystem::FileTime(const std::string& path) const {
  const std::string key = KeyOf(path);
  if (key.empty()) return inner_.FileTime(path);
  auto it = times_.find(key);
  if (it == times_.end()) it = times_.emplace(key, inner_.FileTime(path)).first;
  return it->second;
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

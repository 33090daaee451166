// File times of the installation folder, looked up again only after the folder changed.
// Every 5-second tick asks for the times of the schedule, the control files and the
// last-backup record, which change a few times a day: a change notification of the folder
// (FolderWatch_win.cpp) says when to look again. Portable; GUI thread only.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "Seams.h"

// Whether anything in one folder may have changed.
class IFolderWatch {
 public:
  virtual ~IFolderWatch() = default;
  // True when a file of the folder was written, created, renamed or deleted since the
  // previous call (the watch is then armed again). Never waits.
  virtual bool Changed() = 0;
};

// The longest a remembered file time is used without looking: the safety net for a
// change the watch did not report.
constexpr uint32_t kFileTimesMaxAgeMs = 60 * 1000;

// Passes everything to `inner`, except that FileTime and Exists of the watched folder's
// files come from what was looked up last, until the watch reports a change, a minute has
// passed, or this program writes or deletes the file. Without a watch (none could be had:
// a network drive, a folder that refuses it) every question goes to `inner`.
class TWatchedFileSystem : public IFileSystem {
 public:
  // Keeps references to `inner` and `clock` (RealMs for the minute).
  TWatchedFileSystem(IFileSystem& inner, IClock& clock) : inner_(inner), clock_(clock) {}
  // Starts watching `folder` (no trailing backslash); null stops it.
  void Watch(const std::string& folder, std::unique_ptr<IFolderWatch> watch);
  // Once a tick, before its questions: one look at the watch.
  void Look();

  bool Exists(const std::string& path) const override;
  bool DirectoryExists(const std::string& path) const override {
    return inner_.DirectoryExists(path);
  }
  std::optional<std::string> ReadAll(const std::string& path) const override {
    return inner_.ReadAll(path);
  }
  TFileRead Read(const std::string& path, unsigned patienceMs) const override {
    return inner_.Read(path, patienceMs);
  }
  bool WriteAll(const std::string& path, const std::string& data) override;
  TWriteResult WriteIfUnchanged(const std::string& path, const std::string& data,
                                const TFileStamp& readAs) override;
  bool Delete(const std::string& path) override;
  TDateTime FileTime(const std::string& path) const override;

 private:
  // The key of a path in the watched folder, "" for any other path.
  std::string KeyOf(const std::string& path) const;
  void Forget(const std::string& path);

  IFileSystem& inner_;
  IClock& clock_;
  std::string folderKey_;
  std::unique_ptr<IFolderWatch> watch_;
  uint32_t lookedUpMs_ = 0;  // RealMs when the remembered values were last all forgotten
  mutable std::map<std::string, TDateTime> times_;
  mutable std::map<std::string, bool> exists_;
};

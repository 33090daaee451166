// Win32 file I/O for the archive reader (CreateFileA and friends). Win32 layer only.
#pragma once
#include "ArchiveIo.h"

class TWinArchiveIo : public IArchiveIo {
 public:
  // FILE_SHARE_READ only, so nobody rewrites the archive while it is read.
  std::unique_ptr<IArchiveFile> OpenRead(const std::string& path) override;
  // CREATE_ALWAYS with no sharing.
  std::unique_ptr<IArchiveFile> Create(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  bool DirectoryExists(const std::string& path) override;
  bool MakeDirectory(const std::string& path) override;
  // SetFileAttributesA(FILE_ATTRIBUTE_ARCHIVE).
  void ClearAttributes(const std::string& path) override;
};

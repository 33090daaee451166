// TArchiveWriter: produces update archives (for the release tool and the tests). Data are
// written first, in the order added, then the file list and the trailer.
#pragma once
#include <string>
#include <vector>

#include "ArchiveIo.h"
#include "ZLIBArchive.h"

class TArchiveWriter {
 public:
  // Creates `path` anew through `io`; `level` (0-9) is the zlib level of compressed
  // entries and of a compressed list. Throws TRunnerError.
  TArchiveWriter(IArchiveIo& io, const std::string& path, int level = 9);
  ~TArchiveWriter();
  TArchiveWriter(const TArchiveWriter&) = delete;
  TArchiveWriter& operator=(const TArchiveWriter&) = delete;

  // Adds a file under `storedPath` ("" or e.g. "lib\x"); `compress`: one zlib stream,
  // else stored as it is. Names and paths that the reader would refuse, and archives
  // that outgrow 2 GiB, throw TRunnerError.
  void AddData(const std::string& name, const std::string& storedPath, const std::string& data,
               bool compress);
  // The same, streaming the bytes from `sourcePath`.
  void AddFile(const std::string& sourcePath, const std::string& name,
               const std::string& storedPath, bool compress);
  // Writes the list (one zlib stream when `compressList`) and the trailer; closes the file.
  void Finish(bool compressList);

  const std::vector<TArchiveEntry>& Entries() const { return entries_; }

  // Where an entry's bytes come from (ArchiveWriter.cpp).
  class TSource;

 private:
  void Add(TSource& source, const std::string& name, const std::string& storedPath,
           bool compress);
  void Put(const void* data, size_t n);

  std::unique_ptr<IArchiveFile> out_;
  std::string path_;
  int level_;
  uint64_t position_ = 0;
  uint32_t crc_ = 0;
  std::vector<TArchiveEntry> entries_;
};

// Builds archive bytes in memory for the tests, with every field under the test's
// control (zlib's compress() for the streams, as an independent path from TArchiveWriter).
#pragma once
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ZLIBArchive.h"

// ctest passes the source tree; run by hand, the tree this file was compiled from.
inline std::string SourceDir() {
  if (const char* src = std::getenv("ZQ_SOURCE_DIR")) return src;
  const std::string self = __FILE__;
  return self.substr(0, self.rfind("/tests/archive/"));
}

struct TEntryPlan {
  TEntryPlan(std::string n, std::string p, std::string d, bool c = false)
      : name(std::move(n)), path(std::move(p)), data(std::move(d)), compress(c) {}
  std::string name;
  std::string path;
  std::string data;
  bool compress = false;
  // Overrides of what the builder would write.
  std::optional<int32_t> size;
  std::optional<uint32_t> offset;
  std::optional<uint32_t> crc;
  std::optional<std::string> raw;  // bytes written as the entry's data region
};

inline std::string Compress(const std::string& data, int level = 9) {
  uLongf n = compressBound(static_cast<uLong>(data.size()));
  std::string out(n, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &n, reinterpret_cast<const Bytef*>(data.data()),
            static_cast<uLong>(data.size()), level);
  out.resize(n);
  return out;
}

inline uint32_t ZlibCrc(const std::string& s) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

inline TArchiveEntry MakeEntry(const TEntryPlan& s, uint32_t offset) {
  TArchiveEntry e{};
  SetShortString(e.fileName, s.name);
  SetShortString(e.storedPath, s.path);
  e.size = s.size.value_or(static_cast<int32_t>(s.data.size()));
  e.offset = s.offset.value_or(offset);
  e.crc = s.crc.value_or(ZlibCrc(s.data));
  e.storage = s.compress ? 0 : 1;
  return e;
}

inline std::string EntryBytes(const TArchiveEntry& e) {
  return std::string(reinterpret_cast<const char*>(&e), sizeof e);
}

// `listBytes` (optional) replaces the list region; `tweak` edits the trailer before its
// CRC is computed; `fixCrc` false leaves the CRC as `tweak` set it.
inline std::string BuildArchive(const std::vector<TEntryPlan>& plans, bool compressList,
                                const std::function<void(TArchiveTrailer&)>& tweak = {},
                                std::optional<std::string> listBytes = std::nullopt,
                                bool fixCrc = true) {
  std::string body, list;
  for (const TEntryPlan& s : plans) {
    const uint32_t offset = static_cast<uint32_t>(body.size());
    if (s.raw)
      body += *s.raw;
    else if (!s.data.empty())
      body += s.compress ? Compress(s.data) : s.data;
    list += EntryBytes(MakeEntry(s, offset));
  }
  TArchiveTrailer t{};
  t.count = static_cast<int32_t>(plans.size());
  t.listOffset = static_cast<uint32_t>(body.size());
  t.listFlag = compressList ? 1 : 0;
  body += listBytes ? *listBytes : (compressList ? Compress(list) : list);
  if (tweak) tweak(t);
  if (fixCrc) t.crc = ZlibCrc(body);
  return body + std::string(reinterpret_cast<const char*>(&t), sizeof t);
}

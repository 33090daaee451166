#include "ArchiveIo.h"

#include <sys/stat.h>

#include <cstdio>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <share.h>
#else
#include <unistd.h>
#endif

namespace {

std::string NativePath(const std::string& path) {
#ifdef _WIN32
  return path;
#else
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
#endif
}

class TStdioFile : public IArchiveFile {
 public:
  // `buffered`: writes go through a 64 KiB buffer of the file's own (glibc ignores the
  // size given to setvbuf without a buffer and would write 4 KiB at a time).
  TStdioFile(FILE* f, bool buffered) : f_(f) {
    if (buffered) {
      buffer_.reset(new char[kWriteBuffer]);
      std::setvbuf(f_, buffer_.get(), _IOFBF, kWriteBuffer);
    }
  }
  ~TStdioFile() override { std::fclose(f_); }
  TStdioFile(const TStdioFile&) = delete;
  TStdioFile& operator=(const TStdioFile&) = delete;

  size_t Read(void* buffer, size_t n) override { return std::fread(buffer, 1, n, f_); }
  bool Write(const void* buffer, size_t n) override {
    return std::fwrite(buffer, 1, n, f_) == n;
  }
  bool Flush() override { return std::fflush(f_) == 0; }
  bool Seek(uint64_t position) override {
#ifdef _WIN32
    return _fseeki64(f_, static_cast<__int64>(position), SEEK_SET) == 0;
#else
    return fseeko(f_, static_cast<off_t>(position), SEEK_SET) == 0;
#endif
  }
  uint64_t Position() override {
#ifdef _WIN32
    const __int64 p = _ftelli64(f_);
#else
    const off_t p = ftello(f_);
#endif
    return p < 0 ? 0 : static_cast<uint64_t>(p);
  }
  uint64_t Size() override {
    const uint64_t here = Position();
#ifdef _WIN32
    if (_fseeki64(f_, 0, SEEK_END) != 0) return 0;
#else
    if (fseeko(f_, 0, SEEK_END) != 0) return 0;
#endif
    const uint64_t size = Position();
    Seek(here);
    return size;
  }

 private:
  static constexpr size_t kWriteBuffer = 64 * 1024;
  FILE* f_;
  std::unique_ptr<char[]> buffer_;  // freed after fclose (members die after the body)
};

IArchiveIo* gDefault = nullptr;

}  // namespace

std::unique_ptr<IArchiveFile> TStdioArchiveIo::OpenRead(const std::string& path) {
#ifdef _WIN32
  FILE* f = _fsopen(path.c_str(), "rb", _SH_DENYWR);
#else
  FILE* f = std::fopen(NativePath(path).c_str(), "rb");
#endif
  if (!f) return nullptr;
  return std::make_unique<TStdioFile>(f, false);
}

std::unique_ptr<IArchiveFile> TStdioArchiveIo::Create(const std::string& path) {
#ifdef _WIN32
  FILE* f = _fsopen(path.c_str(), "wb", _SH_DENYRW);
#else
  FILE* f = std::fopen(NativePath(path).c_str(), "wb");
#endif
  if (!f) return nullptr;
  // The extraction writes 4096-byte blocks; the disk gets them 64 KiB at a time.
  return std::make_unique<TStdioFile>(f, true);
}

bool TStdioArchiveIo::FileExists(const std::string& path) {
  struct stat st;
  return ::stat(NativePath(path).c_str(), &st) == 0 && (st.st_mode & S_IFMT) == S_IFREG;
}

bool TStdioArchiveIo::DirectoryExists(const std::string& path) {
  struct stat st;
  return ::stat(NativePath(path).c_str(), &st) == 0 && (st.st_mode & S_IFMT) == S_IFDIR;
}

bool TStdioArchiveIo::MakeDirectory(const std::string& path) {
#ifdef _WIN32
  return _mkdir(path.c_str()) == 0;
#else
  return ::mkdir(NativePath(path).c_str(), 0777) == 0;
#endif
}

void TStdioArchiveIo::ClearAttributes(const std::string& path) {
#ifdef _WIN32
  _chmod(path.c_str(), _S_IREAD | _S_IWRITE);
#else
  struct stat st;
  const std::string p = NativePath(path);
  if (::stat(p.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == S_IFREG)
    ::chmod(p.c_str(), (st.st_mode & 07777) | S_IWUSR);
#endif
}

IArchiveIo& DefaultArchiveIo() {
  static TStdioArchiveIo stdio;
  return gDefault ? *gDefault : stdio;
}

void SetDefaultArchiveIo(IArchiveIo* io) { gDefault = io; }

#include "ArchiveIo_win.h"

#include "WinUtil.h"

namespace {

class TWinFile : public IArchiveFile {
 public:
  explicit TWinFile(HANDLE h) : h_(h) {}

  size_t Read(void* buffer, size_t n) override {
    DWORD got = 0;
    if (!::ReadFile(h_.get(), buffer, static_cast<DWORD>(n), &got, nullptr)) return 0;
    return got;
  }
  bool Write(const void* buffer, size_t n) override {
    DWORD put = 0;
    return ::WriteFile(h_.get(), buffer, static_cast<DWORD>(n), &put, nullptr) && put == n;
  }
  // WriteFile reports its own failures; this puts the bytes on the disk, so that a file
  // renamed into place afterwards survives a power loss whole.
  bool Flush() override { return ::FlushFileBuffers(h_.get()) != 0; }
  bool Seek(uint64_t position) override {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(position);
    return ::SetFilePointerEx(h_.get(), to, nullptr, FILE_BEGIN) != 0;
  }
  uint64_t Position() override {
    LARGE_INTEGER zero, at;
    zero.QuadPart = 0;
    if (!::SetFilePointerEx(h_.get(), zero, &at, FILE_CURRENT)) return 0;
    return static_cast<uint64_t>(at.QuadPart);
  }
  uint64_t Size() override {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(h_.get(), &size)) return 0;
    return static_cast<uint64_t>(size.QuadPart);
  }

 private:
  TFileHandle h_;
};

}  // namespace

std::unique_ptr<IArchiveFile> TWinArchiveIo::OpenRead(const std::string& path) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<TWinFile>(h);
}

std::unique_ptr<IArchiveFile> TWinArchiveIo::Create(const std::string& path) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_ARCHIVE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<TWinFile>(h);
}

bool TWinArchiveIo::FileExists(const std::string& path) {
  const DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool TWinArchiveIo::DirectoryExists(const std::string& path) {
  const DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool TWinArchiveIo::MakeDirectory(const std::string& path) {
  return ::CreateDirectoryA(path.c_str(), nullptr) != 0;
}

void TWinArchiveIo::ClearAttributes(const std::string& path) {
  // CREATE_ALWAYS fails with ERROR_ACCESS_DENIED on a hidden or system file unless the
  // same attributes are asked for, and on a read-only one in any case.
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
}

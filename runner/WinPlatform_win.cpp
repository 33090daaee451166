#include "WinPlatform.h"

#include "MyDialogs.h"
#include "RunnerError.h"
#include "WinUtil.h"

[[noreturn]] void ThrowLastError(const char* what) {
  const DWORD code = ::GetLastError();
  char* buffer = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n && buffer ? std::string(buffer, n) : std::string("error ") + std::to_string(code);
  if (buffer) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  throw TRunnerError(std::string(what) + ": " + text, code);
}

TDateTime TWinClock::Now() const {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return EncodeDateTime({st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                         st.wMilliseconds});
}

bool TWinFileSystem::Exists(const std::string& path) const {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool TWinFileSystem::DirectoryExists(const std::string& path) const {
  const DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<std::string> TWinFileSystem::ReadAll(const std::string& path) const {
  TFileHandle file;
  for (int attempt = 0; attempt < 6; ++attempt) {
    file.reset(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file || ::GetLastError() != ERROR_SHARING_VIOLATION) break;
    ::Sleep(100);  // the Java client is rewriting the file; it takes a moment
  }
  if (!file) return std::nullopt;
  std::string data;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    data.append(buffer, got);
  return data;
}

bool TWinFileSystem::WriteAll(const std::string& path, const std::string& data) {
  TFileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  size_t done = 0;
  while (done < data.size()) {
    DWORD wrote = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 20));
    if (!::WriteFile(file.get(), data.data() + done, chunk, &wrote, nullptr) || wrote == 0)
      return false;
    done += wrote;
  }
  return true;
}

bool TWinFileSystem::Delete(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

TDateTime TWinFileSystem::FileTime(const std::string& path) const {
  // Opened without sharing: a file that another process (the Java client rewriting it)
  // has open reads as 0 for this tick, so callers never take the time of a half-written
  // file. A missing file fails the same way; no separate existence test, as the schedule
  // and the control flags ask on every tick.
  TFileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 0;
  FILETIME write, local;
  WORD dosDate = 0, dosTime = 0;
  if (!::GetFileTime(file.get(), nullptr, nullptr, &write) ||
      !::FileTimeToLocalFileTime(&write, &local) ||
      !::FileTimeToDosDateTime(&local, &dosDate, &dosTime))
    return 0;
  return FromDosDateTime(dosDate, dosTime);
}

int TWinUi::ShowBox(const std::string& text, const std::string& caption, unsigned flags) {
  return ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
}

void InstallWinSeams() {
  static TWinClock clock;
  static TWinFileSystem fs;
  static TWinUi ui;
  seams::SetClock(&clock);
  seams::SetFs(&fs);
  seams::SetUi(&ui);
  InstallWinTemplateHooks();
}

std::string TempDir() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD n = ::GetTempPathA(MAX_PATH, buffer);
  if (n == 0 || n > MAX_PATH) return {};
  return std::string(buffer, n);
}

std::string ExePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::string ExeDirectory() {
  const std::string exe = ExePath();
  const size_t slash = exe.find_last_of('\\');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

void RemoveDirectoryTree(const std::string& dirIn) {
  std::string dir = dirIn;
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  const DWORD self = ::GetFileAttributesA(dir.c_str());
  if (self == INVALID_FILE_ATTRIBUTES) return;
  if (self & FILE_ATTRIBUTE_REPARSE_POINT) {
    // A junction or directory link: remove the link, never what it points to.
    ::RemoveDirectoryA(dir.c_str());
    return;
  }
  WIN32_FIND_DATAA fd;
  TFindHandle find(::FindFirstFileA((dir + "\\*.*").c_str(), &fd));
  if (!find) return;
  DWORD lastError = ERROR_SUCCESS;
  do {
    const std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    const std::string full = dir + "\\" + name;
    const bool isDir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (isDir && isLink)
      ::RemoveDirectoryA(full.c_str());
    else if (isDir)
      RemoveDirectoryTree(full);
    else
      ::DeleteFileA(full.c_str());
  } while (::FindNextFileA(find.get(), &fd) || (lastError = ::GetLastError(), false));
  if (lastError == ERROR_NO_MORE_FILES) {
    find.reset();
    ::RemoveDirectoryA(dir.c_str());
  }
}

#include "WinTestUtil.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "WinPlatform.h"

namespace wt {

void DeleteRegistryTree(HKEY root, const char* path) {
  using TRegDeleteTreeA = LONG(WINAPI*)(HKEY, LPCSTR);
  auto deleteTree = reinterpret_cast<TRegDeleteTreeA>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("advapi32.dll"), "RegDeleteTreeA")));
  ASSERT_NE(deleteTree, nullptr);
  deleteTree(root, path);
}

namespace {
struct TChildSearch {
  int id;
  const char* cls;
  HWND found;
};
BOOL CALLBACK FindChildProc(HWND child, LPARAM param) {
  auto* s = reinterpret_cast<TChildSearch*>(param);
  char cls[64] = {};
  ::GetClassNameA(child, cls, sizeof cls);
  if (::GetDlgCtrlID(child) == s->id && lstrcmpiA(cls, s->cls) == 0) {
    s->found = child;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

HWND Child(HWND dialog, int id, const char* cls) {
  TChildSearch s{id, cls, nullptr};
  ::EnumChildWindows(dialog, FindChildProc, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

std::string TextOf(HWND window) {
  char text[512] = {};
  ::GetWindowTextA(window, text, sizeof text);
  return text;
}

bool CreateDirectoryLink(const std::string& link, const std::string& target) {
  using TCreateSymbolicLinkA = BOOLEAN(WINAPI*)(LPCSTR, LPCSTR, DWORD);
  auto createLink = reinterpret_cast<TCreateSymbolicLinkA>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA")));
  if (!createLink) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
  }
  const DWORD kDirectory = 1;  // SYMBOLIC_LINK_FLAG_DIRECTORY
  return createLink(link.c_str(), target.c_str(), kDirectory) != 0;
}

TTempDir::TTempDir(const std::string& tag) {
  static int counter = 0;
  path_ = TempDir() + "zqtest_" + tag + "_" + std::to_string(::GetCurrentProcessId()) + "_" +
          std::to_string(++counter);
  RemoveDirectoryTree(path_);
  ::CreateDirectoryA(path_.c_str(), nullptr);
}

TTempDir::~TTempDir() { RemoveDirectoryTree(path_); }

void TTempDir::Write(const std::string& name, const std::string& data) const {
  TFileHandle f(::CreateFileA(File(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD wrote = 0;
  if (f) ::WriteFile(f.get(), data.data(), static_cast<DWORD>(data.size()), &wrote, nullptr);
}

std::string TTempDir::Read(const std::string& name) const {
  TFileHandle f(::CreateFileA(File(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
  std::string data;
  if (!f) return data;
  char buf[4096];
  DWORD got = 0;
  while (::ReadFile(f.get(), buf, sizeof buf, &got, nullptr) && got) data.append(buf, got);
  return data;
}

long TProcess::Wait(DWORD ms) const {
  if (!process) return -1;
  if (::WaitForSingleObject(process.get(), ms) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  return static_cast<long>(code);
}

TProcess Start(const std::string& exe, const std::string& args, const std::string& workDir,
               DWORD flags) {
  std::string cmd = "\"" + exe + "\"";
  if (!args.empty()) cmd += " " + args;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  TProcess p;
  // Wine under load now and then loses a new process before it has started.
  BOOL ok = FALSE;
  for (int i = 0; i < 3; ++i) {
    ok = ::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, flags, nullptr,
                          workDir.empty() ? nullptr : workDir.c_str(), &si, &pi);
    if (ok || ::GetLastError() != ERROR_INTERNAL_ERROR) break;
  }
  if (ok) {
    p.thread.reset(pi.hThread);
    p.process.reset(pi.hProcess);
    p.pid = pi.dwProcessId;
  }
  return p;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line); lines.push_back(line))
    if (!line.empty() && line.back() == '\r') line.pop_back();
  return lines;
}

bool WaitUntil(const std::function<bool()>& pred, DWORD ms) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    if (pred()) return true;
    if (::GetTickCount() - start > ms) return false;
    ::Sleep(20);
  }
}

namespace {
struct TWindowSearch {
  DWORD pid;
  std::vector<HWND> found;
};
BOOL CALLBACK CollectWindowOf(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<TWindowSearch*>(p);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(w, &owner);
  if (owner == s->pid) s->found.push_back(w);
  return TRUE;
}
}  // namespace

std::vector<HWND> WindowsOf(DWORD pid) {
  TWindowSearch search{pid, {}};
  ::EnumWindows(CollectWindowOf, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindProcessWindow(DWORD pid, const std::string& caption) {
  for (HWND w : WindowsOf(pid))
    if (TextOf(w) == caption && ::IsWindowVisible(w)) return w;
  return nullptr;
}

std::string MessageBoxText(HWND box) {
  char text[1024] = {};
  ::GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  return text;
}

void THookedImport::Install(const char* dll, const char* function, const void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
  const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); d->Name && !slot_; ++d) {
    if (lstrcmpiA(reinterpret_cast<char*>(base + d->Name), dll) != 0) continue;
    // The names stay in the lookup table; the loader wrote the addresses over the other.
    auto* slot = reinterpret_cast<const void**>(base + d->FirstThunk);
    for (auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
         name->u1.AddressOfData && !slot_; ++name, ++slot)
      if (!IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) &&
          lstrcmpA(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name, function) == 0)
        slot_ = slot;
  }
  if (slot_) original_ = Swap(replacement);
}

const void* THookedImport::Swap(const void* value) {
  DWORD was = 0;
  ::VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &was);
  const void* old = *slot_;
  *slot_ = value;  // one aligned pointer: other threads see the old entry or the new one
  ::VirtualProtect(slot_, sizeof *slot_, was, &was);
  return old;
}

bool LoopbackEchoes() {
  TModule icmp(::LoadLibraryA("icmp.dll"));
  if (!icmp) return false;
  using TCreate = HANDLE(WINAPI*)();
  using TSend = DWORD(WINAPI*)(HANDLE, ULONG, LPVOID, WORD, LPVOID, LPVOID, DWORD, DWORD);
  using TClose = BOOL(WINAPI*)(HANDLE);
  auto create = reinterpret_cast<TCreate>(
      reinterpret_cast<void*>(::GetProcAddress(icmp.get(), "IcmpCreateFile")));
  auto send = reinterpret_cast<TSend>(
      reinterpret_cast<void*>(::GetProcAddress(icmp.get(), "IcmpSendEcho")));
  auto close = reinterpret_cast<TClose>(
      reinterpret_cast<void*>(::GetProcAddress(icmp.get(), "IcmpCloseHandle")));
  if (!create || !send || !close) return false;
  HANDLE h = create();
  if (h == INVALID_HANDLE_VALUE) return false;
  char payload[32] = {};
  std::vector<unsigned char> reply(4096);
  const ULONG loopback = 0x0100007F;  // 127.0.0.1 in network order
  const DWORD count = send(h, loopback, payload, sizeof payload, nullptr, reply.data(),
                           static_cast<DWORD>(reply.size()), 1000);
  close(h);
  return count > 0;
}

}  // namespace wt

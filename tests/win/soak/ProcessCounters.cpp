#include "ProcessCounters.h"

#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <vector>

#include "WinUtil.h"

namespace {

using TQuerySystemInformation = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);

constexpr ULONG kSystemProcessInformation = 5;
constexpr ULONG kSystemHandleInformation = 16;
constexpr ULONG kSystemExtendedHandleInformation = 64;

// The layouts of the two handle lists (winternl.h declares neither).
struct THandleEntry {
  USHORT processId;
  USHORT creatorBackTraceIndex;
  UCHAR objectType;
  UCHAR flags;
  USHORT handle;
  PVOID object;
  ACCESS_MASK access;
};
struct THandleEntryEx {
  PVOID object;
  ULONG_PTR processId;
  ULONG_PTR handle;
  ACCESS_MASK access;
  USHORT creatorBackTraceIndex;
  USHORT objectType;
  ULONG attributes;
  ULONG reserved;
};

TQuerySystemInformation QuerySystemInformation() {
  static const auto query = reinterpret_cast<TQuerySystemInformation>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  return query;
}

// One system information class into a buffer that grows until it fits; empty on failure.
std::vector<char> SystemInformation(ULONG kind) {
  TQuerySystemInformation query = QuerySystemInformation();
  if (!query) return {};
  std::vector<char> buffer(1 << 16);
  for (int i = 0; i < 12; ++i) {
    ULONG needed = 0;
    const NTSTATUS status =
        query(kind, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == 0) return buffer;
    if (status != static_cast<NTSTATUS>(0xC0000004L)) return {};  // not a length mismatch
    buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
  }
  return {};
}

// Handles of this process in the system's handle list: the extended list where there is
// one (it carries whole process ids), else the old one (16-bit ids).
long long HandlesInSystemList(std::string& source) {
  const ULONG_PTR self = ::GetCurrentProcessId();
  std::vector<char> ex = SystemInformation(kSystemExtendedHandleInformation);
  if (ex.size() >= 2 * sizeof(ULONG_PTR)) {
    const ULONG_PTR count = *reinterpret_cast<const ULONG_PTR*>(ex.data());
    const auto* entries =
        reinterpret_cast<const THandleEntryEx*>(ex.data() + 2 * sizeof(ULONG_PTR));
    if (count > 0 && 2 * sizeof(ULONG_PTR) + count * sizeof(THandleEntryEx) <= ex.size()) {
      long long n = 0;
      for (ULONG_PTR i = 0; i < count; ++i) n += entries[i].processId == self;
      if (n > 0) {
        source = "system handle list (extended)";
        return n;
      }
    }
  }
  std::vector<char> plain = SystemInformation(kSystemHandleInformation);
  if (plain.size() >= sizeof(ULONG_PTR)) {
    const ULONG count = *reinterpret_cast<const ULONG*>(plain.data());
    const auto* entries = reinterpret_cast<const THandleEntry*>(plain.data() + sizeof(ULONG_PTR));
    if (sizeof(ULONG_PTR) + count * sizeof(THandleEntry) <= plain.size()) {
      long long n = 0;
      for (ULONG i = 0; i < count; ++i) n += entries[i].processId == static_cast<USHORT>(self);
      source = "system handle list";
      return n;
    }
  }
  source = "none";
  return -1;
}

struct TWindowCount {
  DWORD pid;
  long long n;
};

BOOL CALLBACK CountChild(HWND, LPARAM p) {
  ++reinterpret_cast<TWindowCount*>(p)->n;
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND w, LPARAM p) {
  auto* c = reinterpret_cast<TWindowCount*>(p);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(w, &pid);
  if (pid != c->pid) return TRUE;
  ++c->n;
  ::EnumChildWindows(w, CountChild, p);
  return TRUE;
}

// Windows of this process: top-level ones, their children, and message-only windows.
long long WindowsOfProcess() {
  TWindowCount c{::GetCurrentProcessId(), 0};
  ::EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&c));
  for (HWND w = nullptr; (w = ::FindWindowExA(HWND_MESSAGE, w, nullptr, nullptr));) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(w, &pid);
    if (pid == c.pid) ++c.n;
  }
  return c.n;
}

// Committed private memory of the address space: what Windows calls private bytes.
long long CommittedPrivateBytes() {
  long long total = 0;
  MEMORY_BASIC_INFORMATION mbi;
  const char* p = nullptr;
  while (::VirtualQuery(p, &mbi, sizeof mbi) == sizeof mbi) {
    if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE)
      total += static_cast<long long>(mbi.RegionSize);
    const char* next = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize;
    if (next <= p) break;
    p = next;
  }
  return total;
}

}  // namespace

long long HeapBytesInUse() {
  std::vector<HANDLE> heaps(64);
  DWORD n = ::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
  if (n > heaps.size()) {
    heaps.resize(n);
    n = ::GetProcessHeaps(n, heaps.data());
  }
  long long total = 0;
  for (DWORD i = 0; i < n && i < heaps.size(); ++i) {
    if (!::HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY e = {};
    while (::HeapWalk(heaps[i], &e))
      if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += e.cbData;
    ::HeapUnlock(heaps[i]);
  }
  return total;
}

namespace {

using TQueryObject = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

long long Owned(std::initializer_list<int> kinds) {
  long long n = 0;
  for (int k : kinds) n += OwnedHandles[k].load();
  return n;
}

}  // namespace

std::map<std::string, long long> HandlesByType() {
  std::map<std::string, long long> types;
  const auto query = reinterpret_cast<TQueryObject>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
  std::vector<char> ex = SystemInformation(kSystemExtendedHandleInformation);
  if (!query || ex.size() < 2 * sizeof(ULONG_PTR)) return types;
  const ULONG_PTR count = *reinterpret_cast<const ULONG_PTR*>(ex.data());
  const auto* entries = reinterpret_cast<const THandleEntryEx*>(ex.data() + 2 * sizeof(ULONG_PTR));
  if (2 * sizeof(ULONG_PTR) + count * sizeof(THandleEntryEx) > ex.size()) return types;
  for (ULONG_PTR i = 0; i < count; ++i) {
    if (entries[i].processId != ::GetCurrentProcessId()) continue;
    // ObjectTypeInformation (2): a UNICODE_STRING with the type's name comes first.
    alignas(8) char info[512] = {};
    std::string name = "?";
    if (query(reinterpret_cast<HANDLE>(entries[i].handle), 2, info, sizeof info, nullptr) == 0) {
      const auto* u = reinterpret_cast<const UNICODE_STRING*>(info);
      name.clear();
      for (USHORT k = 0; k < u->Length / 2; ++k) name += static_cast<char>(u->Buffer[k]);
    }
    ++types[name];
  }
  return types;
}

long long HandleCount() {
  DWORD n = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &n) && n > 0) return n;
  std::string source;
  return HandlesInSystemList(source);
}

long long ThreadCount() {
  std::vector<char> info = SystemInformation(kSystemProcessInformation);
  const HANDLE self = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(::GetCurrentProcessId()));
  for (size_t offset = 0; offset + sizeof(SYSTEM_PROCESS_INFORMATION) <= info.size();) {
    const auto* p = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(info.data() + offset);
    if (p->UniqueProcessId == self) return p->NumberOfThreads;
    if (p->NextEntryOffset == 0) break;
    offset += p->NextEntryOffset;
  }
  return -1;
}

std::vector<TReading> ReadProcessCounters() {
  std::vector<TReading> r;
  const HANDLE self = ::GetCurrentProcess();

  DWORD handleCount = 0;
  if (::GetProcessHandleCount(self, &handleCount) && handleCount > 0) {
    r.push_back({"handles", handleCount, "GetProcessHandleCount", true});
  } else {
    // Wine answers GetProcessHandleCount with success and 0; its system handle list is real.
    std::string source;
    const long long n = HandlesInSystemList(source);
    r.push_back({"handles", n, source + " (GetProcessHandleCount reports 0)", true});
  }

  // GetGuiResources: a process with windows always has GDI and USER objects, so 0 means
  // the system does not count them (Wine fails it with ERROR_CALL_NOT_IMPLEMENTED).
  const DWORD gdi = ::GetGuiResources(self, GR_GDIOBJECTS);
  const DWORD user = ::GetGuiResources(self, GR_USEROBJECTS);
  if (gdi > 0)
    r.push_back({"GDI objects", gdi, "GetGuiResources", true});
  else
    r.push_back({"GDI objects", Owned({kHandleGdi}),
                 "counted: GDI objects held by TGdiObject owners", false});
  if (user > 0)
    r.push_back({"USER objects", user, "GetGuiResources", true});
  else
    r.push_back({"USER objects", WindowsOfProcess() + Owned({kHandleMenu}),
                 "counted: windows of the process + menus held by TMenu owners", false});

  r.push_back({"threads", ThreadCount(), "NtQuerySystemInformation (process list)", true});

  PROCESS_MEMORY_COUNTERS_EX pmc = {};
  pmc.cb = sizeof pmc;
  const bool memOk = ::GetProcessMemoryInfo(self, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc),
                                            sizeof pmc) != FALSE;
  if (memOk && pmc.PrivateUsage > 0)
    r.push_back({"private bytes", static_cast<long long>(pmc.PrivateUsage),
                 "GetProcessMemoryInfo PrivateUsage", true});
  else
    r.push_back({"private bytes", CommittedPrivateBytes(),
                 "counted: committed private pages (VirtualQuery walk; PrivateUsage reports 0)",
                 false});

  // Always counted as well: they see what the system's totals blur.
  r.push_back({"kernel handles held by owners",
               Owned({kHandleFile, kHandleKernel, kHandleFind, kHandleRegKey, kHandleModule}),
               "counted: TOwned file, kernel, find, registry and module owners", false});
  r.push_back({"windows", WindowsOfProcess(), "counted: EnumWindows / EnumChildWindows", false});
  r.push_back({"heap bytes in use", HeapBytesInUse(), "counted: HeapWalk over every heap", false});
  return r;
}

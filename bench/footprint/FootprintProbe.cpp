// Measures tray programs for scripts/bench-footprint.sh. It stands in for the notification
// area: it owns the "Shell_TrayWnd" window that Shell_NotifyIcon sends its WM_COPYDATA to,
// so "the icon is added" is the moment that message arrives from the program's window.
//   footprint_probe SETTLE_S IDLE_S STARTS LABEL EXE DIR [LABEL EXE DIR ...]
// For each program: STARTS starts (each timed from just before CreateProcess to the first
// tray message of its window; all but the last are ended again by WM_DESTROY to their
// window). Then, with every program running, SETTLE_S seconds of waiting, the memory
// figures, IDLE_S seconds of idle residence with the CPU time (GetProcessTimes) before and
// after, and the tray messages counted meanwhile. Output: "key value" lines per program, and
// "IDLE-START" / "IDLE-END" lines that the script uses to read the Linux side at the same
// moments. Every program it started is ended at the end.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct TProgram {
  std::string label, exe, dir;
  HANDLE process = nullptr;
  DWORD pid = 0;
  HWND window = nullptr;  // the window its tray messages come from
  int trayMessages = 0;
  std::vector<double> startMs;
};

std::vector<TProgram> gPrograms;
LARGE_INTEGER gFrequency;

double NowMs() {
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(gFrequency.QuadPart);
}

LRESULT CALLBACK TrayProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COPYDATA) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(reinterpret_cast<HWND>(wParam), &pid);
    for (auto& p : gPrograms)
      if (p.pid == pid && pid != 0) {
        if (!p.window) p.window = reinterpret_cast<HWND>(wParam);
        ++p.trayMessages;
      }
    return TRUE;
  }
  return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

void Pump(DWORD ms) {
  const DWORD start = ::GetTickCount();
  do {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  } while (::GetTickCount() - start < ms);
}

bool Start(TProgram& p) {
  std::string cmd = "\"" + p.exe + "\" -min";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  p.window = nullptr;
  p.trayMessages = 0;
  const double t0 = NowMs();
  if (!::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, p.dir.c_str(), &si,
                        &pi))
    return false;
  p.process = pi.hProcess;
  p.pid = pi.dwProcessId;
  ::CloseHandle(pi.hThread);
  // Sent messages are delivered while this thread waits in MsgWaitForMultipleObjects.
  while (!p.window) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
    if (p.window) break;
    if (NowMs() - t0 > 60000) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT | QS_SENDMESSAGE);
  }
  p.startMs.push_back(NowMs() - t0);
  return true;
}

void Stop(TProgram& p) {
  if (!p.process) return;
  if (p.window) ::PostMessageA(p.window, WM_DESTROY, 0, 0);
  for (int i = 0; i < 400 && ::WaitForSingleObject(p.process, 0) == WAIT_TIMEOUT; ++i) Pump(25);
  if (::WaitForSingleObject(p.process, 0) == WAIT_TIMEOUT) ::TerminateProcess(p.process, 1);
  ::CloseHandle(p.process);
  p.process = nullptr;
}

// Committed private pages of another process (Wine reports no PrivateUsage).
long long PrivateBytes(HANDLE process) {
  long long total = 0;
  MEMORY_BASIC_INFORMATION mbi;
  const char* a = nullptr;
  while (::VirtualQueryEx(process, a, &mbi, sizeof mbi) == sizeof mbi) {
    if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE) {
      total += static_cast<long long>(mbi.RegionSize);
      // ZQ_FOOTPRINT_REGIONS set: the larger private regions, to tell where the bytes go.
      if (std::getenv("ZQ_FOOTPRINT_REGIONS") && mbi.RegionSize >= 64 * 1024)
        std::printf("  region %p +%zu KiB (allocation %p, protect %lx)\n", mbi.BaseAddress,
                    static_cast<size_t>(mbi.RegionSize / 1024), mbi.AllocationBase,
                    static_cast<unsigned long>(mbi.Protect));
    }
    const char* next = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize;
    if (next <= a) break;
    a = next;
  }
  return total;
}

double CpuMs(HANDLE process) {
  FILETIME c, e, k, u;
  if (!::GetProcessTimes(process, &c, &e, &k, &u)) return -1;
  const auto ms = [](const FILETIME& f) {
    const unsigned long long ticks =
        (static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
    return static_cast<double>(ticks) / 1e4;  // 100 ns units
  };
  return ms(k) + ms(u);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 7 || (argc - 4) % 3 != 0) {
    std::fprintf(stderr, "usage: footprint_probe SETTLE_S IDLE_S STARTS LABEL EXE DIR [...]\n");
    return 2;
  }
  ::QueryPerformanceFrequency(&gFrequency);
  const DWORD settle = static_cast<DWORD>(std::atoi(argv[1]));
  const DWORD idle = static_cast<DWORD>(std::atoi(argv[2]));
  const int starts = std::max(1, std::atoi(argv[3]));
  for (int i = 4; i + 2 < argc; i += 3) {
    TProgram p;
    p.label = argv[i];
    p.exe = argv[i + 1];
    p.dir = argv[i + 2];
    gPrograms.push_back(p);
  }

  WNDCLASSA wc = {};
  wc.lpfnWndProc = TrayProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = "Shell_TrayWnd";
  ::RegisterClassA(&wc);
  HWND tray = ::CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, "", WS_POPUP,
                                0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
  if (::FindWindowA("Shell_TrayWnd", nullptr) != tray) {
    std::printf("error another Shell_TrayWnd is found first\n");
    return 1;
  }

  for (auto& p : gPrograms) {
    for (int i = 0; i < starts; ++i) {
      if (!Start(p)) {
        std::printf("error %s did not add its tray icon\n", p.label.c_str());
        for (auto& q : gPrograms) Stop(q);
        return 1;
      }
      if (i + 1 < starts) Stop(p);
      Pump(300);
    }
    std::vector<double> sorted = p.startMs;
    std::sort(sorted.begin(), sorted.end());
    std::printf("%s start_to_tray_ms_median %.1f\n", p.label.c_str(), sorted[sorted.size() / 2]);
    std::printf("%s start_to_tray_ms_all", p.label.c_str());
    for (double ms : p.startMs) std::printf(" %.1f", ms);
    std::printf("\n%s windows_pid %lu\n", p.label.c_str(), p.pid);
    std::fflush(stdout);
  }
  Pump(settle * 1000);
  std::vector<double> cpu0;
  for (auto& p : gPrograms) {
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    ::GetProcessMemoryInfo(p.process, &pmc, sizeof pmc);
    std::printf("%s private_bytes %lld\n", p.label.c_str(), PrivateBytes(p.process));
    std::printf("%s working_set_bytes %llu\n", p.label.c_str(),
                static_cast<unsigned long long>(pmc.WorkingSetSize));
    std::printf("%s pagefile_usage_bytes %llu\n", p.label.c_str(),
                static_cast<unsigned long long>(pmc.PagefileUsage));
    cpu0.push_back(CpuMs(p.process));
    p.trayMessages = 0;
  }
  std::printf("IDLE-START %lu\n", idle);
  std::fflush(stdout);
  Pump(idle * 1000);
  std::printf("IDLE-END\n");
  for (size_t i = 0; i < gPrograms.size(); ++i) {
    auto& p = gPrograms[i];
    std::printf("%s idle_cpu_ms_windows %.1f\n", p.label.c_str(), CpuMs(p.process) - cpu0[i]);
    std::printf("%s idle_tray_messages %d\n", p.label.c_str(), p.trayMessages);
    const bool running = ::WaitForSingleObject(p.process, 0) == WAIT_TIMEOUT;
    std::printf("%s still_running %d\n", p.label.c_str(), running ? 1 : 0);
    DWORD code = 0;
    if (!running && ::GetExitCodeProcess(p.process, &code))
      std::printf("%s exit_code 0x%08lX\n", p.label.c_str(), code);
  }
  std::fflush(stdout);
  for (auto& p : gPrograms) Stop(p);
  return 0;
}

// What this process holds, for the long-run test: each figure read the way the system
// offers it and, where the system does not report it (Wine reports neither GDI nor USER
// object counts, nor private bytes, nor a handle count through GetProcessHandleCount),
// counted by other means that still see a leak. Win32, test code only.
#pragma once
#include <map>
#include <string>
#include <vector>

struct TReading {
  std::string name;
  long long value = 0;
  std::string source;  // where the figure comes from
  bool reported = true;  // false: the system reports nothing; the test counts it itself
};

// Reads every figure now. Cheap enough to call a few times per run (one system handle
// list, one walk of the address space and of the heaps).
std::vector<TReading> ReadProcessCounters();

// This process's handles by object type ("Event", "Thread", "File", ...), to tell what a
// growing handle count is made of.
std::map<std::string, long long> HandlesByType();

// Bytes in busy blocks of every heap of the process (HeapWalk).
long long HeapBytesInUse();

// The handle count alone, as "handles" in ReadProcessCounters.
long long HandleCount();

// Threads of this process as the system lists them (NtQuerySystemInformation; Toolhelp
// under Wine lists only the first thread).
long long ThreadCount();

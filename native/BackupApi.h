// Win32 backup-stream functions as a replaceable table, so that tests can check how the
// natives marshal buffers and contexts where the system (Wine) does not implement them.
#pragma once
#include <windows.h>

namespace nativa {

using TBackupStreamFn = BOOL(WINAPI*)(HANDLE file, LPBYTE buffer, DWORD bytes, LPDWORD done,
                                      BOOL abort, BOOL processSecurity, LPVOID* context);
struct TBackupCalls {
  TBackupStreamFn read;
  TBackupStreamFn write;
};
// The functions BackupRead, BackupWrite and writeSecurityDescriptor call; the system's by default.
TBackupCalls& BackupCalls();

}  // namespace nativa

// Process-wide state of Nativa.dll, set when the library is loaded.
#pragma once
#include <windows.h>
#include <jni.h>

namespace nativa {

// True on the NT family: the file enumeration natives then use the wide Win32 functions.
extern bool WideApiMode;
// The module handle the loader passed to DllMain (instance for icon extraction).
extern HINSTANCE LibraryInstance;
// Heap copy of the title given to SetTitle, or null. Replaced without synchronisation: the
// Java side must not call SetTitle while newInstance or nativeRestoreWindow runs.
extern char* StoredTitle;

// Process attach: platform check, RAS binding, LibraryInstance. Detach releases RAS.
void AttachProcess(HINSTANCE instance);
void DetachProcess();

// Win32 handles cross as Java int (sign-extended back, as kernel handles are on Win64) or as
// Java long, of which the low 32 bits count on 32-bit Windows. On Win64 a long carries the
// whole value: a directory-search handle is a heap address there, often above 4 GB.
inline HANDLE HandleFromInt(jint value) { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(value)); }
inline jint JavaIntOf(HANDLE h) { return static_cast<jint>(reinterpret_cast<LONG_PTR>(h)); }
#ifdef _WIN64
inline HANDLE HandleFromLong(jlong value) { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(value)); }
inline jlong JavaLongOf(HANDLE h) { return static_cast<jlong>(reinterpret_cast<LONG_PTR>(h)); }
#else
inline HANDLE HandleFromLong(jlong value) { return HandleFromInt(static_cast<jint>(value)); }
inline jlong JavaLongOf(HANDLE h) { return static_cast<jlong>(JavaIntOf(h)); }
#endif

}  // namespace nativa

namespace nativa {
// The top-level window titled StoredTitle, or null (also when no title is stored).
HWND FindStoredTitleWindow();
}  // namespace nativa

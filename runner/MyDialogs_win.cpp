// Win32 half of the dialog-template writers: ANSI conversion and dialog base units.
#include <windows.h>

#include "MyDialogs.h"

namespace {

std::u16string AnsiToUtf16(const std::string& ansi) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");
  const int size = static_cast<int>(ansi.size());
  const int n = ::MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, ansi.data(), size, nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<size_t>(n), u'\0');
  ::MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, ansi.data(), size,
                        reinterpret_cast<wchar_t*>(&out[0]), n);
  return out;
}

uint32_t WinDialogBaseUnits() { return static_cast<uint32_t>(::GetDialogBaseUnits()); }

}  // namespace

void InstallWinTemplateHooks() { SetTemplateHooks({&AnsiToUtf16, &WinDialogBaseUnits}); }

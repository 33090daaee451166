// Fitting a tooltip text into the tray icon's fixed tip field. Portable: the Win32 half
// passes the ANSI code page's lead-byte test (IsDBCSLeadByte).
#pragma once
#include <cstddef>
#include <string>

// Tip field of the first-version NOTIFYICONDATAA: 63 characters and the terminator.
constexpr size_t kTrayTipBytes = 64;

using TLeadBytePredicate = bool (*)(unsigned char);

// The longest prefix of `text` that fits `fieldBytes` - 1 bytes, ending before the first
// NUL, never splitting a double-byte character (a lead byte is kept only together with
// its trail byte). `isLeadByte` may be null for a single-byte code page.
std::string FitTipText(const std::string& text, size_t fieldBytes, TLeadBytePredicate isLeadByte);

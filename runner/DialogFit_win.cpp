#include "DialogFit.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "WinUtil.h"

namespace {

int gDpiOverride = 0;
const char* const kDpiProp = "ZqDialogDpi";

using TGetDpiForWindow = UINT(WINAPI*)(HWND);

// The dialogs' fonts scaled to another DPI, one per font and DPI, kept for the process's
// life: a handful at most, and a dialog's controls use them until it is gone.
std::map<std::pair<std::string, int>, TGdiObject>& ScaledFonts() {
  static std::map<std::pair<std::string, int>, TGdiObject> fonts;
  return fonts;
}

HFONT ScaledFont(HFONT font, int fromDpi, int toDpi) {
  LOGFONTA lf = {};
  if (!font || !::GetObjectA(font, sizeof lf, &lf)) return nullptr;
  lf.lfHeight = ::MulDiv(lf.lfHeight, toDpi, fromDpi);
  lf.lfWidth = ::MulDiv(lf.lfWidth, toDpi, fromDpi);
  const auto key = std::make_pair(std::string(lf.lfFaceName) + "/" + std::to_string(lf.lfHeight) +
                                      "/" + std::to_string(lf.lfWeight),
                                  toDpi);
  TGdiObject& slot = ScaledFonts()[key];
  if (!slot) slot.reset(::CreateFontIndirectA(&lf));
  return static_cast<HFONT>(slot.get());
}

std::string TextOfWindow(HWND w) {
  const int n = ::GetWindowTextLengthA(w);
  std::string text(static_cast<size_t>(n) + 1, '\0');
  text.resize(static_cast<size_t>(::GetWindowTextA(w, &text[0], n + 1)));
  return text;
}

bool IsClass(HWND w, const char* name) {
  char cls[32] = {};
  ::GetClassNameA(w, cls, sizeof cls);
  return lstrcmpiA(cls, name) == 0;
}

struct TItem {
  HWND window;
  RECT rect;      // in the dialog's client coordinates
  int extra = 0;  // a combo box: the height of its list below the closed box
};

std::vector<TItem> Items(HWND dialog) {
  std::vector<TItem> items;
  for (HWND w = ::GetWindow(dialog, GW_CHILD); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
    TItem item{w, {}};
    ::GetWindowRect(w, &item.rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&item.rect), 2);
    if (IsClass(w, "ComboBox")) {
      // Measured from the top of the closed box: Windows gives the whole dropped control,
      // Wine the list alone below the box; the bottom is the same.
      RECT dropped = {};
      ::SendMessageA(w, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
      RECT screen;
      ::GetWindowRect(w, &screen);
      item.extra = std::max(0L, dropped.bottom - screen.bottom);
    }
    items.push_back(item);
  }
  return items;
}

void Place(const TItem& item) {
  const RECT& r = item.rect;
  ::MoveWindow(item.window, r.left, r.top, r.right - r.left, r.bottom - r.top + item.extra, TRUE);
}

// The size that the text of a label or check box needs at the control's width (which it
// only exceeds for a word longer than the line), as the control draws it.
SIZE NeededSize(HWND control, int width, int& textWidth) {
  const LONG style = ::GetWindowLongA(control, GWL_STYLE);
  textWidth = width;
  UINT format = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS;
  if (IsClass(control, "Button")) {
    // The box and the gap before the text.
    textWidth = width - (::GetSystemMetrics(SM_CXMENUCHECK) + 2 * ::GetSystemMetrics(SM_CXEDGE));
  }
  if (style & SS_NOPREFIX && IsClass(control, "Static")) format |= DT_NOPREFIX;
  const std::string text = TextOfWindow(control);
  SIZE size = {0, 0};
  if (text.empty() || textWidth <= 0) return size;
  HDC dc = ::GetDC(control);
  HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(control, WM_GETFONT, 0, 0)));
  RECT r = {0, 0, textWidth, 0};
  ::DrawTextA(dc, text.c_str(), -1, &r, format);
  ::SelectObject(dc, old);
  ::ReleaseDC(control, dc);
  size.cx = r.right - r.left;
  size.cy = r.bottom - r.top;
  return size;
}

bool IsTextLabel(HWND w) {
  const LONG style = ::GetWindowLongA(w, GWL_STYLE);
  if (IsClass(w, "Static")) {
    const LONG type = style & SS_TYPEMASK;
    return type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT;
  }
  if (IsClass(w, "Button")) {
    const LONG type = style & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
           type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE;
  }
  return false;
}

RECT WorkArea() {
  RECT work = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

bool Overlap(LONG a0, LONG a1, LONG b0, LONG b1) { return a0 < b1 && b0 < a1; }

LONG Extent(const std::vector<TItem>& items, LONG RECT::*edge, LONG least) {
  for (const TItem& item : items) least = std::max(least, item.rect.*edge);
  return least;
}

// Grows the labels that their texts do not fit, moving what is beside or below them;
// returns the client size needed. The dialog grows only by what its controls then reach
// beyond what they reached before (a control may stand over the edge by design).
SIZE GrowLabels(std::vector<TItem>& items, SIZE client, SIZE limit) {
  const LONG right0 = Extent(items, &RECT::right, client.cx);
  const LONG bottom0 = Extent(items, &RECT::bottom, client.cy);
  for (size_t i = 0; i < items.size(); ++i) {
    if (!IsTextLabel(items[i].window)) continue;
    RECT& r = items[i].rect;
    int textWidth = 0;
    const SIZE need = NeededSize(items[i].window, r.right - r.left, textWidth);
    const LONG wider = std::min(need.cx - textWidth, limit.cx - client.cx);
    if (wider > 0) {
      // A word longer than the line: wider, moving what stands to its right in its row.
      const LONG right = r.right;
      for (TItem& other : items)
        if (&other != &items[i] && other.rect.left >= right &&
            Overlap(other.rect.top, other.rect.bottom, r.top, r.bottom)) {
          other.rect.left += wider;
          other.rect.right += wider;
        }
      r.right += wider;
    }
    const LONG taller = std::min(need.cy - (r.bottom - r.top), limit.cy - client.cy);
    if (taller > 0) {
      const LONG bottom = r.bottom;
      for (TItem& other : items)
        if (&other != &items[i] && other.rect.top >= bottom) {
          other.rect.top += taller;
          other.rect.bottom += taller;
        }
      r.bottom += taller;
    }
  }
  client.cx += std::max(0L, Extent(items, &RECT::right, 0) - right0);
  client.cy += std::max(0L, Extent(items, &RECT::bottom, 0) - bottom0);
  return client;
}

// The title, cut and ended in "..." where the caption cannot show it whole.
void FitTitle(HWND dialog, const std::string& title) {
  NONCLIENTMETRICSA metrics = {};
  // The size of the record before Vista's last field: accepted by every version.
  metrics.cbSize = offsetof(NONCLIENTMETRICSA, lfMessageFont) + sizeof(LOGFONTA);
  if (!::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) return;
  RECT window;
  ::GetWindowRect(dialog, &window);
  const LONG style = ::GetWindowLongA(dialog, GWL_STYLE);
  // Borders, the icon and the close box (with the system menu) take their share.
  int room = window.right - window.left - 4 * ::GetSystemMetrics(SM_CXFRAME) - 8;
  if (style & WS_SYSMENU) room -= ::GetSystemMetrics(SM_CXSMICON) + 2 * metrics.iCaptionWidth;
  TGdiObject font(::CreateFontIndirectA(&metrics.lfCaptionFont));
  HDC dc = ::GetDC(dialog);
  HGDIOBJ old = ::SelectObject(dc, font.get());
  auto width = [&](const std::string& s) {
    SIZE size = {};
    ::GetTextExtentPoint32A(dc, s.c_str(), static_cast<int>(s.size()), &size);
    return size.cx;
  };
  std::string shown = title;
  if (width(title) > room) {
    // Shortened a character at a time (never inside a double-byte one) until it fits.
    std::string head = title;
    while (!head.empty() && width(head + "...") > room) {
      const char* prev = ::CharPrevA(head.c_str(), head.c_str() + head.size());
      head.resize(static_cast<size_t>(prev - head.c_str()));
    }
    shown = head + "...";
  }
  ::SelectObject(dc, old);
  ::ReleaseDC(dialog, dc);
  if (shown != title) ::SetWindowTextA(dialog, shown.c_str());
}

}  // namespace

int SystemDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kBaseDpi;
}

int WindowDpi(HWND window) {
  if (gDpiOverride) return gDpiOverride;
  static const auto getDpi = reinterpret_cast<TGetDpiForWindow>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  if (window && getDpi)
    if (const UINT dpi = getDpi(window)) return static_cast<int>(dpi);
  return SystemDpi();
}

void SetDpiOverride(int dpi) { gDpiOverride = dpi; }

void FitDialog(HWND dialog, int dpi, const RECT* around) {
  if (!dialog || dpi <= 0) return;
  // The dialog manager laid it out at the system DPI; a later fit at the DPI it noted.
  const auto noted = reinterpret_cast<INT_PTR>(::GetPropA(dialog, kDpiProp));
  const int fromDpi = noted > 0 ? static_cast<int>(noted) : SystemDpi();
  ::SetPropA(dialog, kDpiProp, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(dpi)));
  std::vector<TItem> items = Items(dialog);
  RECT client;
  ::GetClientRect(dialog, &client);
  SIZE size = {client.right, client.bottom};
  if (fromDpi != dpi) {
    HFONT font = ScaledFont(reinterpret_cast<HFONT>(::SendMessageA(dialog, WM_GETFONT, 0, 0)),
                            fromDpi, dpi);
    for (TItem& item : items) {
      RECT& r = item.rect;
      r = {::MulDiv(r.left, dpi, fromDpi), ::MulDiv(r.top, dpi, fromDpi),
           ::MulDiv(r.right, dpi, fromDpi), ::MulDiv(r.bottom, dpi, fromDpi)};
      item.extra = ::MulDiv(item.extra, dpi, fromDpi);
      if (font) ::SendMessageA(item.window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    if (font) ::SendMessageA(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    size = {::MulDiv(size.cx, dpi, fromDpi), ::MulDiv(size.cy, dpi, fromDpi)};
  }
  // The frame around the client area, to keep the whole window within the work area.
  RECT window;
  ::GetWindowRect(dialog, &window);
  const SIZE frame = {window.right - window.left - client.right,
                      window.bottom - window.top - client.bottom};
  const RECT work = WorkArea();
  const SIZE limit = {std::max(size.cx, work.right - work.left - frame.cx),
                      std::max(size.cy, work.bottom - work.top - frame.cy)};
  const SIZE needed = GrowLabels(items, size, limit);
  const bool changed = fromDpi != dpi || needed.cx != client.right || needed.cy != client.bottom;
  if (changed) {
    for (const TItem& item : items) Place(item);
    const int cx = needed.cx + frame.cx, cy = needed.cy + frame.cy;
    // Centred again, as it came up: on the work area, or where Windows suggests.
    const RECT& centre = around ? *around : work;
    int x = centre.left + (centre.right - centre.left - cx) / 2;
    int y = centre.top + (centre.bottom - centre.top - cy) / 2;
    if (!around) {
      x = std::max(x, static_cast<int>(work.left));
      y = std::max(y, static_cast<int>(work.top));
    }
    ::SetWindowPos(dialog, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(dialog, nullptr, TRUE);
  }
  if (::GetWindowLongA(dialog, GWL_STYLE) & WS_CAPTION) FitTitle(dialog, TextOfWindow(dialog));
}

void OnDialogDpiChanged(HWND dialog, WPARAM wParam, LPARAM lParam) {
  FitDialog(dialog, LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
}

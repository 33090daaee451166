#include "MyDialogs.h"

#include "Seams.h"

namespace {
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
}  // namespace

void ShowInfoMessage(const std::string& text) {
  seams::Ui().ShowBox(text, "Message", kMbIconInformation);
}

bool AskConfirm(const std::string& text) {
  return seams::Ui().ShowBox(text, "Confirm", kMbYesNoQuestion) == kIdYes;
}

bool ShowWarning(const std::string& caption, const std::string& text, bool ask) {
  const int answer =
      seams::Ui().ShowBox(text, caption, ask ? kMbTopmostWarningYesNo : kMbTopmostWarning);
  return ask ? answer == kIdYes : answer == kIdOk;
}

namespace {

// Windows-1252 bytes 0x80..0x9F; the five unassigned ones map to the C1 controls, as
// MultiByteToWideChar does.
constexpr char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint32_t DefaultBaseUnits() { return 0x00100008; }

TTemplateHooks gHooks{&Windows1252ToUtf16, &DefaultBaseUnits};

void PutU16(TTemplateStream& s, uint16_t v) {
  s.push_back(static_cast<uint8_t>(v));
  s.push_back(static_cast<uint8_t>(v >> 8));
}

void PutU32(TTemplateStream& s, uint32_t v) {
  PutU16(s, static_cast<uint16_t>(v));
  PutU16(s, static_cast<uint16_t>(v >> 16));
}

// The converted text cut to `maxUnits` (never in the middle of a surrogate pair), then
// the zero unit; an empty text is the zero unit alone.
void PutText(TTemplateStream& s, const std::string& text, size_t maxUnits) {
  if (!text.empty()) {
    std::u16string units = gHooks.toUtf16(text);
    if (units.size() > maxUnits) {
      units.resize(maxUnits);
      if (!units.empty() && units.back() >= 0xD800 && units.back() <= 0xDBFF) units.pop_back();
    }
    for (char16_t u : units) PutU16(s, static_cast<uint16_t>(u));
  }
  PutU16(s, 0);
}

// The writers only ever leave the stream at an even position, so one unit is enough.
void PadToDword(TTemplateStream& s) {
  if (s.size() % 4 != 0) PutU16(s, 0);
}

}  // namespace

void SetTemplateHooks(const TTemplateHooks& hooks) {
  gHooks.toUtf16 = hooks.toUtf16 ? hooks.toUtf16 : &Windows1252ToUtf16;
  gHooks.dialogBaseUnits = hooks.dialogBaseUnits ? hooks.dialogBaseUnits : &DefaultBaseUnits;
}

std::u16string Windows1252ToUtf16(const std::string& ansi) {
  std::u16string out;
  out.reserve(ansi.size());
  for (char c : ansi) {
    const unsigned char b = static_cast<unsigned char>(c);
    out.push_back(b >= 0x80 && b < 0xA0 ? k1252High[b - 0x80] : static_cast<char16_t>(b));
  }
  return out;
}

void WriteDialogHeader(TTemplateStream& stream, int x, int y, int cx, int cy, int itemCount,
                       uint32_t style, const std::string& title, const std::string& className) {
  uint32_t width = static_cast<uint32_t>(cx), height = static_cast<uint32_t>(cy);
  if (!(style & kDsSetFont)) {
    // Pixels to dialog units. A base unit of 0 (never returned by Windows) leaves the
    // value as it is instead of dividing by zero.
    const uint32_t units = gHooks.dialogBaseUnits();
    const uint32_t vertical = units >> 16, horizontal = units & 0xFF;
    if (vertical) height = height * 8 / vertical;
    if (horizontal) width = width * 4 / horizontal;
  }
  PutU32(stream, style);
  PutU32(stream, 0);  // extended style
  PutU16(stream, static_cast<uint16_t>(itemCount));
  PutU16(stream, static_cast<uint16_t>(x));
  PutU16(stream, static_cast<uint16_t>(y));
  PutU16(stream, static_cast<uint16_t>(width));
  PutU16(stream, static_cast<uint16_t>(height));
  PutU16(stream, 0);  // no menu
  PutText(stream, className, kMaxTemplateName);
  PutText(stream, title, kMaxTemplateName);
  if (style & kDsSetFont) {
    PutU16(stream, 8);
    PutText(stream, "MS Sans Serif", kMaxTemplateName);
  }
  PadToDword(stream);
}

void WriteDialogItem(TTemplateStream& stream, int16_t x, int16_t y, int16_t cx, int16_t cy,
                     uint16_t id, uint32_t style, uint16_t classAtom, const std::string& text) {
  PutU32(stream, style);
  PutU32(stream, 0);  // extended style
  PutU16(stream, static_cast<uint16_t>(x));
  PutU16(stream, static_cast<uint16_t>(y));
  PutU16(stream, static_cast<uint16_t>(cx));
  PutU16(stream, static_cast<uint16_t>(cy));
  PutU16(stream, id);
  PutU16(stream, 0xFFFF);  // a predefined class atom follows
  PutU16(stream, classAtom);
  PutText(stream, text, kMaxTemplateText);
  PutU16(stream, 0);  // no creation data
  PadToDword(stream);
}

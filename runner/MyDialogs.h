// Message boxes with fixed captions and flags. Texts come in already localised. All three
// block the calling thread until answered (tests answer through the IUi seam).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr unsigned kMbIconInformation = 0x40;
constexpr unsigned kMbYesNoQuestion = 0x24;
constexpr unsigned kMbTopmostWarning = 0x40030;
constexpr unsigned kMbTopmostWarningYesNo = 0x40034;

// "Message" box, information icon, OK only.
void ShowInfoMessage(const std::string& text);
// "Confirm" box, Yes/No with question icon; true exactly on Yes.
bool AskConfirm(const std::string& text);
// Topmost warning with the given caption; with `ask` Yes/No (true on Yes), else OK (true on OK).
bool ShowWarning(const std::string& caption, const std::string& text, bool ask);

// --- in-memory dialog templates (DLGTEMPLATE / DLGITEMTEMPLATE for
// CreateDialogIndirectParamA) ---

using TTemplateStream = std::vector<uint8_t>;

constexpr uint32_t kDsSetFont = 0x40;
constexpr uint16_t kAtomButton = 0x0080;
constexpr uint16_t kAtomStatic = 0x0082;
constexpr uint16_t kAtomComboBox = 0x0085;
// Longest texts written, in UTF-16 units without the terminating zero: the title and class
// name buffers hold 100 units, a control text buffer 32000. Longer texts are cut.
constexpr size_t kMaxTemplateName = 99;
constexpr size_t kMaxTemplateText = 31999;

// What the writers need from the platform. The Win32 side installs MultiByteToWideChar
// over the ANSI code page and GetDialogBaseUnits; the defaults map Windows-1252 and give
// base units of 8 by 16 (0x00100008).
struct TTemplateHooks {
  std::u16string (*toUtf16)(const std::string& ansi) = nullptr;
  uint32_t (*dialogBaseUnits)() = nullptr;
};
// Null members restore the defaults.
void SetTemplateHooks(const TTemplateHooks& hooks);
// Win32: installs the ANSI code page and GetDialogBaseUnits (InstallWinSeams calls it).
void InstallWinTemplateHooks();
std::u16string Windows1252ToUtf16(const std::string& ansi);

// Appends the dialog header. With DS_SETFONT in `style`, cx/cy are dialog units and the
// font "MS Sans Serif" 8 pt follows the title; without it cx/cy are pixels converted with
// the dialog base units. An empty title or class name is written as a single zero unit.
// Leaves the stream at a multiple of 4 (it must start at 0).
void WriteDialogHeader(TTemplateStream& stream, int x, int y, int cx, int cy, int itemCount,
                       uint32_t style, const std::string& title, const std::string& className);
// Appends one control of a predefined class (kAtomButton, kAtomStatic, kAtomComboBox),
// then pads the stream to a multiple of 4.
void WriteDialogItem(TTemplateStream& stream, int16_t x, int16_t y, int16_t cx, int16_t cy,
                     uint16_t id, uint32_t style, uint16_t classAtom, const std::string& text);

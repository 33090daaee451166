// Message boxes with fixed captions and flags. Texts come in already localised. All three
// block the calling thread until answered (tests answer through the IUi seam).
#pragma once
#include <string>

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

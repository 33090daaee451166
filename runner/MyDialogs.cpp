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

#include "ControlFlags.h"

#include "Base64.h"
#include "Globals.h"
#include "Md5.h"
#include "Properties.h"
#include "Seams.h"

TDateTime ControlFlagsFileTime = 0;

namespace {

constexpr int kFreeSnoozeLimit = 100;
const char* const kControlFile = "system2.properties";
const char* const kDigestFile = "defaults.properties";

enum class TDigestCheck { Match, Mismatch, Unreadable };

// The reading behind VerifySettingsHash, telling a mismatch from a file that exists but
// could not be read at this moment.
TDigestCheck CheckDigest(std::string* controlText) {
  IFileSystem& fs = seams::Fs();
  const std::string defaultsPath = InstallPath(kDigestFile);
  const auto defaults = fs.ReadAll(defaultsPath);
  if (!defaults)
    return fs.Exists(defaultsPath) ? TDigestCheck::Unreadable : TDigestCheck::Mismatch;
  const auto control = fs.ReadAll(InstallPath(kControlFile));
  if (!control) return TDigestCheck::Unreadable;

  TPropertyList defaultsList;
  defaultsList.SetText(*defaults);
  std::string stored;
  for (char c : ValueOf(defaultsList, "HASH"))
    if (c != '\\') stored.push_back(c);
  if (stored.empty()) return TDigestCheck::Mismatch;

  TPropertyList controlList;
  controlList.SetText(*control);
  const std::string text = controlList.Text();  // every line ended by CR LF
  const TMd5Digest digest = Md5(text);
  if (!SameTextAscii(Base64Encode(digest.data(), digest.size()), stored))
    return TDigestCheck::Mismatch;
  if (controlText) *controlText = *control;
  return TDigestCheck::Match;
}

void SetControlValues(bool cancelAllowed, bool quitAllowed, int snoozeLimit) {
  CancelAllowed = cancelAllowed;
  QuitAllowed = quitAllowed;
  SnoozeLimit = snoozeLimit;
}

}  // namespace

TDateTime FileTimeOf(const std::string& path) { return seams::Fs().FileTime(path); }

bool VerifySettingsHash() { return CheckDigest(nullptr) == TDigestCheck::Match; }

void ReadControlFlagsWith(TMenuRebuild rebuildMenu) {
  const bool quitBefore = QuitAllowed;
  std::string text;
  const TDigestCheck check = CheckDigest(&text);
  if (check == TDigestCheck::Match) {
    TPropertyList list;
    list.SetText(text);
    int snooze = kFreeSnoozeLimit;
    // A decimal integer; anything else ("$10", " 5") is not a whole number: the free 100.
    if (!TryParseDecimal(ValueOf(list, "snooze"), snooze)) snooze = kFreeSnoozeLimit;
    SetControlValues(UpperAscii(ValueOf(list, "cancelbackup")) != "ON",
                     UpperAscii(ValueOf(list, "killrunner")) != "ON", snooze);
  } else {
    SetControlValues(false, false, kFreeSnoozeLimit);
  }
  if (check == TDigestCheck::Unreadable) {
    // The Java client is rewriting one of the files: stay strict and read again at the
    // next tick that sees a file time, rather than keep this state until the next change.
    ControlFlagsFileTime = 0;
    if (QuitAllowed == quitBefore) return;
  }
  if (rebuildMenu) rebuildMenu();
}

void RefreshControlFlagsWith(TMenuRebuild rebuildMenu) {
  const std::string path = InstallPath(kControlFile);
  // The time first: only a time of 0 needs the existence test (missing, or no readable time).
  const TDateTime time = FileTimeOf(path);
  if (time == 0 && !seams::Fs().Exists(path)) {
    const bool quitBefore = QuitAllowed;
    SetControlValues(true, true, kFreeSnoozeLimit);
    // The Quit item follows QuitAllowed at once, not only from some later rebuild.
    if (!quitBefore && rebuildMenu) rebuildMenu();
    return;
  }
  if (time == ControlFlagsFileTime) return;
  ControlFlagsFileTime = time;
  ReadControlFlagsWith(rebuildMenu);
}

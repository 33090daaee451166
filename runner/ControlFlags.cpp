#include "ControlFlags.h"

#include "ActivityLog.h"
#include "Base64.h"
#include "Globals.h"
#include "LogTexts.h"
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
  // One short attempt at each file: this runs in the timer tick.
  IFileSystem& fs = seams::Fs();
  const TFileRead defaults = fs.Read(InstallPath(kDigestFile), kTickPatienceMs);
  if (defaults.outcome == TReadOutcome::Busy) return TDigestCheck::Unreadable;
  if (defaults.outcome == TReadOutcome::Missing) return TDigestCheck::Mismatch;
  // A control file gone since its time was read is being replaced: read again.
  const TFileRead control = fs.Read(InstallPath(kControlFile), kTickPatienceMs);
  if (control.outcome != TReadOutcome::Read) return TDigestCheck::Unreadable;

  TPropertyList defaultsList;
  defaultsList.SetText(defaults.data);
  std::string stored;
  for (char c : ValueOf(defaultsList, "HASH"))
    if (c != '\\') stored.push_back(c);
  if (stored.empty()) return TDigestCheck::Mismatch;

  TPropertyList controlList;
  controlList.SetText(control.data);
  const std::string text = controlList.Text();  // every line ended by CR LF
  const TMd5Digest digest = Md5(text);
  if (!SameTextAscii(Base64Encode(digest.data(), digest.size()), stored))
    return TDigestCheck::Mismatch;
  if (controlText) *controlText = control.data;
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
  std::string text;
  const TDigestCheck check = CheckDigest(&text);
  if (check == TDigestCheck::Unreadable) {
    // The Java client is rewriting one of the files: what they said last still holds (a
    // half-written pair is not a forged one). The next tick that sees a file time reads
    // again, rather than keep this state until the next change.
    ControlFlagsFileTime = 0;
    LogIfChanged("control flags", "a file is busy: the last values are kept");
    return;
  }
  if (check == TDigestCheck::Match) {
    TPropertyList list;
    list.SetText(text);
    int snooze = kFreeSnoozeLimit;
    // A decimal integer; anything else ("$10", " 5") is not a whole number: the free 100.
    if (!TryParseDecimal(ValueOf(list, "snooze"), snooze)) snooze = kFreeSnoozeLimit;
    SetControlValues(UpperAscii(ValueOf(list, "cancelbackup")) != "ON",
                     UpperAscii(ValueOf(list, "killrunner")) != "ON", snooze);
    LogIfChanged("control flags", ControlFlagsText(CancelAllowed, QuitAllowed, SnoozeLimit));
  } else {
    SetControlValues(false, false, kFreeSnoozeLimit);
    LogIfChanged("control flags", "the digest does not match: " + ControlFlagsText(false, false, kFreeSnoozeLimit));
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
    LogIfChanged("control flags", "system2.properties missing: " + ControlFlagsText(true, true, kFreeSnoozeLimit));
    // The Quit item follows QuitAllowed at once, not only from some later rebuild.
    if (!quitBefore && rebuildMenu) rebuildMenu();
    return;
  }
  if (time == ControlFlagsFileTime) return;
  ControlFlagsFileTime = time;
  ReadControlFlagsWith(rebuildMenu);
}

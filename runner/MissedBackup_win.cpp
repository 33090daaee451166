// The missed-backup warning dialog and the tick's check (GUI thread).
#include <windows.h>

#include "DialogFit.h"
#include "ActivityLog.h"
#include "DialogIcon.h"
#include "Globals.h"
#include "IsConnected.h"
#include "LogTexts.h"
#include "Launcher.h"
#include "MainWindow.h"
#include "Messages.h"
#include "MissedBackup.h"
#include "MissedBackupDialog.h"
#include "MyDialogs.h"
#include "PingUnit.h"
#include "SchedUnit.h"
#include "Settings.h"
#include "Snooze.h"
#include "Workers.h"
#include "uRunnerResource.h"

namespace {

constexpr int kCountDownSeconds = 60;
// Created hidden (ShowWithoutActivation shows it): system menu, centred, font, sysmodal.
constexpr DWORD kStyleWithClose = 0x00080842;
constexpr DWORD kStyleWithoutClose = 0x00000842;  // no system menu: no close box
constexpr DWORD kDisabled = WS_DISABLED;

HWND gOpenWarning = nullptr;  // the missed-backup warning on screen, if any

std::string LocaleText(LCTYPE type) {
  char buffer[16] = {};
  const int n = ::GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer) : std::string();
}

// What the rule itself needs: the program's schedule (the tick asks with this much).
TMissedBackupContext ScheduleContext() {
  TMissedBackupContext ctx;
  ctx.lastScheduledTime = [] { return Schedule ? Schedule->LastScheduledTime() : kNoDateTime; };
  return ctx;
}

// And what the check and the warning need besides: the probes, day names and AM/PM.
TMissedBackupContext ProgramContext() {
  TMissedBackupContext ctx = ScheduleContext();
  ctx.proxyConnected = ProxyConnected;
  ctx.serverReachable = ServerReachable;
  ctx.dayName = [](int day) { return day >= 1 && day <= 7 ? DayNames[day] : std::string(); };
  ctx.am = LocaleText(LOCALE_S1159);
  ctx.pm = LocaleText(LOCALE_S2359);
  return ctx;
}

bool ShowAgainChecked(HWND dlg) {
  return ::IsDlgButtonChecked(dlg, kMissedIdDontShow) != BST_CHECKED;
}

void OnCommand(HWND dlg, int id) {
  switch (id) {
    case kMissedIdBackupNow:  // also sent by the countdown at its end
      SaveWarningSetting(ShowAgainChecked(dlg));
      ::DestroyWindow(dlg);
      StartClient(false, true, {});
      break;
    case IDCANCEL:  // Esc: Cancel, where Cancel is enabled
      if (!CancelEnabled(dlg, kMissedIdCancel)) break;
      [[fallthrough]];
    case kMissedIdCancel:
      SaveWarningSetting(ShowAgainChecked(dlg));
      ::DestroyWindow(dlg);
      break;
    case kMissedIdSnooze: {
      const int entry = static_cast<int>(
          ::SendDlgItemMessageA(dlg, kMissedIdDuration, CB_GETCURSEL, 0, 0));
      // Comes back as WM_RUNNER_SNOOZE_WARNING; this snooze does not count against the
      // limit, which belongs to the will-start warning.
      MissedSnoozePending = true;
      if (!StartSnooze(SnoozeMinutesAt(entry), WMAPP_RUNNER_SNOOZE_WARNING,
                       &MissedSnoozeGeneration))
        MissedSnoozePending = false;
      ::DestroyWindow(dlg);
      break;
    }
    default:
      break;
  }
}

INT_PTR CALLBACK MissedWarningProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  try {
    switch (msg) {
      case WM_CLOSE:
        // Nothing saved, nothing started; without cancelling the countdown goes on.
        if (CancelEnabled(dlg, kMissedIdCancel)) ::DestroyWindow(dlg);
        return TRUE;
      case WM_ACTIVATE:
        FocusFirstControlOnActivation(dlg, wp);
        break;
      case kWmDpiChanged:
        OnDialogDpiChanged(dlg, wp, lp);
        return TRUE;
      case WM_COMMAND:
        // Only button clicks (and the countdown's plain command): a notification of the
        // duration list or the check box carries its own id and a code.
        if (HIWORD(wp) == BN_CLICKED) OnCommand(dlg, LOWORD(wp));
        break;
      case WM_DESTROY:
        // The message loop must not feed a destroyed dialog.
        if (CurrentDialog == dlg) CurrentDialog = nullptr;
        if (gOpenWarning == dlg) gOpenWarning = nullptr;
        break;
      default:
        if (msg == WMAPP_RUNNER_COUNTDOWN) {
          const std::string text =
              GetText("RUNNER_Backup_Now") + " (" + std::to_string(static_cast<int>(wp)) + ")";
          ::SetDlgItemTextA(dlg, kMissedIdBackupNow, text.c_str());
        }
        break;
    }
  } catch (const std::exception&) {
    // No exception may leave into USER32; the failures here are reported by their owners.
  }
  return 0;
}

}  // namespace

TTemplateStream MissedWarningTemplate(const std::string& message, bool cancelAllowed,
                                      bool snoozeAllowed) {
  const DWORD cancelState = cancelAllowed ? 0 : kDisabled;
  const DWORD snoozeState = snoozeAllowed ? 0 : kDisabled;
  TTemplateStream t;
  WriteDialogHeader(t, 0, 0, 300, 135, 7, cancelAllowed ? kStyleWithClose : kStyleWithoutClose,
                    FormatText("RUNNER_detected_internet", {ProductName}), "");
  WriteDialogItem(t, 20, 10, 260, 60, kMissedIdMessage, 0x50000000, kAtomStatic, message);
  // The check box above the buttons comes first, as it is read (the tab order).
  WriteDialogItem(t, 20, 70, 300, 20, kMissedIdDontShow, 0x50000003 | kFirstTabStop | cancelState,
                  kAtomButton, GetText("RUNNER_dont_show_warning"));
  // The button row of the backup-will-start warning, lower down.
  WriteDialogItem(t, 25, 95, 65, 16, kMissedIdBackupNow, 0x50000001 | kFirstTabStop, kAtomButton,
                  GetText("RUNNER_Backup_Now"));
  WriteDialogItem(t, 95, 95, 60, 16, kMissedIdCancel, 0x50000000 | kTabStop | cancelState, kAtomButton,
                  GetText("RUNNER_Cancel"));
  WriteDialogItem(t, 160, 95, 60, 16, kMissedIdSnooze, 0x50000000 | kTabStop | snoozeState, kAtomButton,
                  GetText("RUNNER_Snooze"));
  WriteDialogItem(t, 223, 97, 10, 10, kMissedIdFor, 0x50000000, kAtomStatic,
                  GetText("RUNNER_for"));
  WriteDialogItem(t, 235, 96, 40, 200, kMissedIdDuration, 0x50000003 | kTabStop | snoozeState,
                  kAtomComboBox, "");
  return t;
}

HWND CreateMissedWarning(const std::string& message) {
  TTemplateStream t =
      MissedWarningTemplate(message, CancelAllowed.load(), SnoozeCount.load() < SnoozeLimit.load());
  HWND dlg = ::CreateDialogIndirectParamA(::GetModuleHandleA(nullptr),
                                          reinterpret_cast<LPCDLGTEMPLATEA>(t.data()), MainWindow,
                                          MissedWarningProc, 0);
  if (!dlg) return nullptr;
  SetDialogClassIcon(dlg);
  for (const std::string& choice : SnoozeChoices)
    ::SendDlgItemMessageA(dlg, kMissedIdDuration, CB_ADDSTRING, 0,
                          reinterpret_cast<LPARAM>(choice.c_str()));
  ::SendDlgItemMessageA(dlg, kMissedIdDuration, CB_SETCURSEL, 0, 0);
  FitDialog(dlg);
  ShowWithoutActivation(dlg);
  StartCountDown(dlg, kCountDownSeconds, kMissedIdBackupNow);
  return dlg;
}

HWND ShowMissedWarning(int kind) {
  kind = ResolveMissedWarningKind(kind);
  const std::optional<std::string> message = MissedWarningMessage(kind, ProgramContext());
  if (!message) return nullptr;
  HWND dlg = CreateMissedWarning(*message);
  // A warning that was current before stays open; the loop feeds the newest.
  if (dlg) CurrentDialog = gOpenWarning = dlg;
  return dlg;
}

bool MissedWarningOutstanding() { return gOpenWarning != nullptr || MissedSnoozePending; }

void CloseMissedWarning() {
  if (gOpenWarning) ::DestroyWindow(gOpenWarning);
  if (MissedSnoozePending.exchange(false)) ++MissedSnoozeGeneration;
}

namespace {
bool MayOpenMissedWarning() {
  return MissedWarningMayOpen(gOpenWarning != nullptr, WillStartWarningOpen());
}
}  // namespace

bool InternetConnectedForMissedCheck() {
  // Wine's InternetGetConnectedState enumerates every network adapter through the network
  // store service: about 15 ms and a hundred wake-ups of this thread, on every 5-second
  // tick of a program that otherwise sleeps. The rule's own conditions are a file time and
  // a few comparisons.
  return MayOpenMissedWarning() && MissedWarningCandidate(ScheduleContext()) != 0 &&
         InternetConnected();
}

void CheckMissedBackup() {
  if (!MayOpenMissedWarning()) return;
  const int kind = DueMissedWarning(ProgramContext());
  if (kind != 0) LogEvent("missed backup", MissedWarningText(kind, LastBackupTime(), WarnAfterDays));
  if (kind != 0) ShowMissedWarning(kind);
}

void ShowMissedWarningAgain() {
  // A snooze that a client run or a will-start warning ended may have posted just before.
  if (!MissedSnoozePending.exchange(false)) return;
  // Back from its snooze it counts as shown now: the rule's limits run from here.
  LastMissedWarningTime = seams::Clock().Now();
  ShowMissedWarning(0);
}

// The backup-will-start warning: a modeless dialog from an in-memory template with a
// 60-second countdown that starts the scheduled backup unless the user cancels or snoozes.
#include <windows.h>

#include "DialogFit.h"
#include "ActivityLog.h"
#include "DialogIcon.h"
#include "Globals.h"
#include "Launcher.h"
#include "MainWindow.h"
#include "MissedBackupDialog.h"
#include "Messages.h"
#include "MyDialogs.h"
#include "Snooze.h"
#include "Workers.h"
#include "uRunnerResource.h"

namespace {

enum : int {
  kIdLabel = 102,  // shared with Backup Now: messages to 102 reach the label, created first
  kIdBackupNow = 102,
  kIdCancel = 103,
  kIdSnooze = 104,
  kIdCountdownEnd = 105,  // also the "for" label's id; only the countdown sends it
  kIdForLabel = 105,
  kIdDuration = 106,
};
constexpr int kWarningSeconds = 60;
// Created hidden (ShowWithoutActivation shows it): system menu, centred, font, system-modal.
constexpr uint32_t kStyleWithClose = 0x00080842;
constexpr uint32_t kStyleWithoutClose = 0x00000842;  // the same without the system menu
constexpr uint32_t kStaticCentred = 0x50000001;
constexpr uint32_t kStaticLeft = 0x50000000;
constexpr uint32_t kDefaultButton = 0x50000001;
constexpr uint32_t kPushButton = 0x50000000;
constexpr uint32_t kDropDownList = 0x50000003;
constexpr uint32_t kDisabled = WS_DISABLED;

HWND gOpenWarning = nullptr;  // the will-start warning on screen, if any

void CloseWarning(HWND dialog) {
  ::DestroyWindow(dialog);
}

INT_PTR CALLBACK WillStartProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  try {
    switch (msg) {
      case WM_CLOSE:
        // Without cancelling (no Cancel, no close box) Alt+F4 or a posted close does not end
        // it either: the countdown goes on to its end.
        if (CancelEnabled(dialog, kIdCancel)) {
          LogEvent("hour outcome", "warning closed: no backup");
          CloseWarning(dialog);
        }
        return TRUE;
      case WM_ACTIVATE:
        FocusFirstControlOnActivation(dialog, wParam);
        break;
      case kWmDpiChanged:
        OnDialogDpiChanged(dialog, wParam, lParam);
        return TRUE;
      case WM_DESTROY:
        // The message loop must not feed a destroyed dialog.
        if (CurrentDialog == dialog) CurrentDialog = nullptr;
        if (gOpenWarning == dialog) gOpenWarning = nullptr;
        break;
      case WM_COMMAND:
        switch (LOWORD(wParam)) {
          case kIdBackupNow:
            LogEvent("hour outcome", "Back up now");
            CloseWarning(dialog);
            StartClient(true, true, {});
            break;
          case IDCANCEL:  // Esc: Cancel, where Cancel is enabled
            if (!CancelEnabled(dialog, kIdCancel)) break;
            [[fallthrough]];
          case kIdCancel:
            LogEvent("hour outcome", "cancelled");
            CloseWarning(dialog);
            break;
          case kIdSnooze: {
            const int choice =
                static_cast<int>(::SendDlgItemMessageA(dialog, kIdDuration, CB_GETCURSEL, 0, 0));
            ++SnoozeCount;
            LogEvent("hour outcome", "snoozed for " + std::to_string(SnoozeMinutesAt(choice)) + " min");
            // Until the warning is back, no missed-backup warning opens in its place.
            WillStartSnoozePending = true;
            if (!StartSnooze(SnoozeMinutesAt(choice), WMAPP_RUNNER_SNOOZE_START,
                             &WillStartSnoozeGeneration))
              WillStartSnoozePending = false;
            CloseWarning(dialog);
            break;
          }
          case kIdCountdownEnd:
            LogEvent("hour outcome", "started at the countdown's end");
            CloseWarning(dialog);
            StartClient(true, false, {});
            break;
          default:
            break;
        }
        break;
      default:
        if (msg == WMAPP_RUNNER_COUNTDOWN) {
          const int left = static_cast<int>(static_cast<INT_PTR>(wParam));
          ::SetDlgItemTextA(dialog, kIdLabel, FormatText("RUNNER_will_start", {left}).c_str());
        }
        break;
    }
  } catch (...) {
    // No exception may leave into USER32.
  }
  return 0;
}

}  // namespace

TTemplateStream BuildWillStartTemplate(bool cancelAllowed, bool snoozeAllowed) {
  TTemplateStream t;
  WriteDialogHeader(t, 0, 0, 300, 70, 6, cancelAllowed ? kStyleWithClose : kStyleWithoutClose,
                    ProductName, "");
  WriteDialogItem(t, 0, 10, 300, 20, kIdLabel, kStaticCentred, kAtomStatic, ".....");
  const uint32_t snoozeState = snoozeAllowed ? 0 : kDisabled;
  WriteDialogItem(t, 25, 30, 65, 16, kIdBackupNow, kDefaultButton | kFirstTabStop, kAtomButton,
                  GetText("RUNNER_Backup_Now"));
  WriteDialogItem(t, 95, 30, 60, 16, kIdCancel, kPushButton | kTabStop | (cancelAllowed ? 0 : kDisabled),
                  kAtomButton, GetText("RUNNER_Cancel"));
  WriteDialogItem(t, 160, 30, 60, 16, kIdSnooze, kPushButton | kTabStop | snoozeState, kAtomButton,
                  GetText("RUNNER_Snooze"));
  WriteDialogItem(t, 223, 32, 10, 10, kIdForLabel, kStaticLeft, kAtomStatic, GetText("RUNNER_for"));
  WriteDialogItem(t, 235, 31, 40, 200, kIdDuration, kDropDownList | kTabStop | snoozeState,
                  kAtomComboBox, "");
  return t;
}

bool WillStartWarningOpen() { return gOpenWarning != nullptr; }

void ShowWillStartWarning() {
  // The scheduled backup answers a missed-backup reminder too: two warnings counting down
  // to the same backup would only confuse.
  CloseMissedWarning();
  // Back from its snooze, or a later hour came first: this warning answers that snooze too.
  if (WillStartSnoozePending.exchange(false)) ++WillStartSnoozeGeneration;
  // Not brought to the foreground: shown without activation further down.
  HWND dialog = nullptr;
  {
    // Windows copies what it needs: the template is freed as soon as the dialog exists.
    const TTemplateStream t = BuildWillStartTemplate(CancelAllowed, SnoozeAllowed());
    dialog = ::CreateDialogIndirectParamA(
        ::GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(t.data()), MainWindow,
        WillStartProc, 0);
  }
  CurrentDialog = gOpenWarning = dialog;
  if (!dialog) return;
  SetDialogClassIcon(dialog);
  for (const auto& choice : SnoozeChoices)
    ::SendDlgItemMessageA(dialog, kIdDuration, CB_ADDSTRING, 0,
                          reinterpret_cast<LPARAM>(choice.c_str()));
  ::SendDlgItemMessageA(dialog, kIdDuration, CB_SETCURSEL, 0, 0);
  // Laid out for the longest count: the label's text must fit it.
  ::SetDlgItemTextA(dialog, kIdLabel, FormatText("RUNNER_will_start", {kWarningSeconds}).c_str());
  FitDialog(dialog);
  ::SetDlgItemTextA(dialog, kIdLabel, ".....");
  ShowWithoutActivation(dialog);
  StartCountDown(dialog, kWarningSeconds, kIdCountdownEnd);
}

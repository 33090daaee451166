#include "RunnerSplash.h"

#include "DialogFit.h"


namespace {

constexpr DWORD kSplashStyle = WS_POPUP | WS_VISIBLE | DS_CENTER | DS_SYSMODAL;  // 0x90000802
constexpr DWORD kBitmapStyle = WS_CHILD | WS_VISIBLE | SS_BITMAP;                 // 0x5000000E

// The splash needs no behaviour of its own. Returning FALSE leaves every message to the
// dialog manager's default handling (DefWindowProc is not a valid dialog procedure: its
// results would be read as "handled" flags).
INT_PTR CALLBACK SplashProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

}  // namespace

TSplash::TSplash(const std::string& title, HINSTANCE instance, int dpi) : title_(title) {
  if (dpi <= 0) dpi = WindowDpi(nullptr);
  // No DS_SETFONT: the size is given in pixels and converted to dialog units of the
  // system font, which the dialog then uses to turn it back into about 400 by 200 (at
  // 96 DPI; scaled at another).
  WriteDialogHeader(template_, 0, 0, ScaleForDpi(kSplashWidth, dpi),
                    ScaleForDpi(kSplashHeight, dpi), 1, kSplashStyle, title_, "");
  // SS_BITMAP loads the named bitmap from `instance` and sizes the control to it; at
  // another DPI the picture is stretched to the whole window instead (SS_REALSIZECONTROL).
  const DWORD bitmapStyle = kBitmapStyle | (dpi == kBaseDpi ? 0 : SS_REALSIZECONTROL);
  WriteDialogItem(template_, 0, 0, 1, 1, 100, bitmapStyle, kAtomStatic, "SplashBitmap");
  window_.reset(::CreateDialogIndirectParamA(
      instance, reinterpret_cast<LPCDLGTEMPLATEA>(template_.data()), nullptr, SplashProc, 0));
  if (window_ && dpi != kBaseDpi) {
    RECT client;
    ::GetClientRect(window_.get(), &client);
    ::MoveWindow(::GetDlgItem(window_.get(), 100), 0, 0, client.right, client.bottom, TRUE);
  }
}

void TSplashThread::Execute() {
  TSplash splash(title_);
  // The window belongs to this thread: without dispatching its messages it would never
  // paint (an empty or ghosted rectangle for two seconds), so keep pumping until the time
  // is up.
  const DWORD start = ::GetTickCount();
  for (;;) {
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= kSplashLifetimeMs) break;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kSplashLifetimeMs - elapsed, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
}

void ShowSplash(const std::string& title) { (new TSplashThread(title))->Start(true); }

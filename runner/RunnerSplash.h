// The splash screen: the "SplashBitmap" picture in a borderless pop-up dialog in the
// middle of the screen for two seconds, on a thread of its own. Nothing waits for it and
// nothing ends it early.
#pragma once
#include <windows.h>

#include <string>

#include "MyDialogs.h"
#include "Thread.h"
#include "WinUtil.h"

constexpr DWORD kSplashLifetimeMs = 2000;
constexpr int kSplashWidth = 400;   // pixels, the size of the bitmap
constexpr int kSplashHeight = 200;

// The dialog window and its template. Create and free it on the same thread: the window
// belongs to the thread that created it.
class TSplash {
 public:
  // Writes the template (pixel size converted to dialog units by WriteDialogHeader) and
  // creates the visible, centred dialog. `instance` holds the bitmap resource. The
  // window is null when the dialog could not be created. At `dpi` (0: the screen's)
  // other than 96 the window and the picture scale with it.
  explicit TSplash(const std::string& title, HINSTANCE instance = ::GetModuleHandleA(nullptr),
                   int dpi = 0);
  ~TSplash() = default;  // destroys the window (then the template)
  TSplash(const TSplash&) = delete;
  TSplash& operator=(const TSplash&) = delete;
  HWND Window() const { return window_.get(); }

 private:
  std::string title_;
  TTemplateStream template_;
  TWindow window_;
};

// Shows a TSplash for kSplashLifetimeMs, keeps it painted meanwhile, then frees it and
// itself. Start it with Start(true).
class TSplashThread : public TThread {
 public:
  explicit TSplashThread(std::string title) : title_(std::move(title)) {}

 protected:
  void Execute() override;

 private:
  std::string title_;
};

// Starts a TSplashThread with `title` and returns at once.
void ShowSplash(const std::string& title);

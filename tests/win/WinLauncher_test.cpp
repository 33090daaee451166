#include "WinLauncher.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "WinPlatform.h"
#include "WinTestUtil.h"

TEST(TWinLauncherTest, StartsWaitsAndReportsFailures) {
  TWinLauncher launcher;
  wt::TTempDir dir("launch");
  // The working directory is the one given: the child creates its file there.
  const TProcessResult ran = launcher.Start("cmd.exe /c echo x> made.txt", dir.Path(), true);
  EXPECT_TRUE(ran.started);
  EXPECT_NE(ran.processId, 0u);
  EXPECT_NE(::GetFileAttributesA(dir.File("made.txt").c_str()), INVALID_FILE_ATTRIBUTES);

  const TProcessResult missing = launcher.Start("\"" + dir.File("none.exe") + "\" -x", "", false);
  EXPECT_FALSE(missing.started);
  EXPECT_NE(missing.error, 0u);
}

TEST(TWinLauncherTest, QuitArrivingDuringTheWaitIsKeptForTheCaller) {
  TWinLauncher launcher;
  ::PostQuitMessage(0);
  EXPECT_TRUE(launcher.Start("cmd.exe /c exit 0", "", true).started);
  MSG msg;
  EXPECT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// Control values of "system2.properties" (CancelAllowed, QuitAllowed, SnoozeLimit in
// Globals.h) and the digest check against HASH in "defaults.properties". The Java client
// writes both files; ZqRunner only reads them. GUI thread only.
#pragma once
#include <string>

#include "DateTime.h"

// Last-write time of "system2.properties" when the values were last read; 0 at start and
// after a reading that could not complete (so that the next tick tries again).
extern TDateTime ControlFlagsFileTime;

// Last-write time through the file-system seam (local, DOS 2-second resolution); 0 when
// the file is missing or its time cannot be read. The file is not opened.
TDateTime FileTimeOf(const std::string& path);

// "defaults.properties" holds a HASH (backslashes ignored) equal, without regard to ASCII
// case, to Base64(MD5(text of "system2.properties" with every line ended by CR LF)).
// False when HASH is missing or empty, or either file cannot be read.
bool VerifySettingsHash();

using TMenuRebuild = void (*)();

// Reads the three values now: from the keys when the digest matches ("snooze" as a decimal
// integer, 100 when it is not one: "$10", " 5" and "" all give 100), otherwise the strict
// state (no Cancel, no Quit, 100 snoozes), and calls `rebuildMenu`. A file that exists but
// stays held for about 100 ms keeps the values as they are (before any reading: the zero
// state) and clears ControlFlagsFileTime, so that the next tick reads again.
void ReadControlFlagsWith(TMenuRebuild rebuildMenu);
// Start-up and every tick: without "system2.properties" the free state (Cancel, Quit, 100
// snoozes; the menu is rebuilt when QuitAllowed changes); otherwise ReadControlFlags when
// the file's last-write time differs from ControlFlagsFileTime.
void RefreshControlFlagsWith(TMenuRebuild rebuildMenu);

// Win32: the same with BuildTrayMenu as the rebuild.
void ReadControlFlags();
void RefreshControlFlags();

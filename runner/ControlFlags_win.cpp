// Win32 half of the control flags: the tray menu that follows QuitAllowed.
#include "ControlFlags.h"
#include "MainWindow.h"

void ReadControlFlags() { ReadControlFlagsWith(&BuildTrayMenu); }
void RefreshControlFlags() { RefreshControlFlagsWith(&BuildTrayMenu); }

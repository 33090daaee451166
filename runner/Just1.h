// Single-instance test between ZqRunner processes of one session.
#pragma once
#include <string>

// True when another instance holds the mutex `name` (it existed already, or could not be
// created). Otherwise this process now holds it (never released; it goes with the
// process). Of several instances that ask at the same moment exactly one gets false.
bool IsAlreadyRunning(const std::string& name);

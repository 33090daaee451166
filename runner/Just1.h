// Single-instance test between ZqRunner processes of one session.
#pragma once
#include <string>

// True when another instance holds the mutex `name`. Otherwise this process now holds it
// (never released; it goes with the process).
bool IsAlreadyRunning(const std::string& name);

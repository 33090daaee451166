// Minimal stand-ins for entry points whose modules are not written yet (see Pending.h).
// Each block is deleted by the module that takes it over.
#include "Pending.h"

#include "Globals.h"
#include "MyDialogs.h"


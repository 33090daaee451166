// Replaces libstdc++'s verbose terminate handler, which prints a demangled type name to a
// console this GUI program does not have and pulls about 45 KB of demangler into the
// binary. An exception escaping every catch leaves a crash report and ends the process.
#include "Diagnostics.h"

namespace __gnu_cxx {
void __verbose_terminate_handler() { ReportTerminate(); }
}  // namespace __gnu_cxx

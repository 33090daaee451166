// Replaces libstdc++'s verbose terminate handler, which prints a demangled type name to a
// console this GUI program does not have and pulls about 45 KB of demangler into the
// binary. An exception escaping every catch ends the process as abort() does.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// Replaces libstdc++'s verbose terminate handler, which prints a demangled type name and so
// links the demangler (tens of KB). Nativa never lets an exception escape (jni::Guarded).
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// Linked into the setup program only (not into test programs, whose terminate messages matter).
//
// The C++ library's default terminate handler writes the demangled type of the exception to
// stderr, which a GUI program does not have; for that it brings in a demangler and a printf,
// about 60 KiB or a quarter of the program. This one only aborts, as the library's does after
// writing. Terminate is reached only by an exception that escapes RunApplication's handler,
// which catches everything, or by one thrown while another unwinds.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {
void __verbose_terminate_handler() {
  std::abort();
}
}  // namespace __gnu_cxx

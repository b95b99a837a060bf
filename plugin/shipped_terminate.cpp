// The terminate handler of a shipped Windows plugin library, which takes the C++ runtime in
// statically. The runtime's default handler prints the pending exception's demangled type to the
// standard error stream, which a host process does not show, and brings the runtime's whole
// demangler (some 45 KB) into the library with it. Nothing thrown in the library is meant to
// reach std::terminate; if something does, this handler aborts as the default one does after
// printing. The library links this file before the runtime, so the runtime's own definitions of
// these two symbols are never taken from its archive.
#include <cxxabi.h>

#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

namespace __cxxabiv1 {

std::terminate_handler __terminate_handler = __gnu_cxx::__verbose_terminate_handler;

}  // namespace __cxxabiv1

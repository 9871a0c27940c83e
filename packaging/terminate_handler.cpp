// The handler for an exception nobody caught, in the kit's programs of the
// shipping build (packaging/kit.cmake). The C++ library's default prints the
// exception's type name, which links the library's whole name demangler
// (about 46 KB) into every program. No exception may end one of ours, so
// this one only aborts, as the default does after its message. Defined
// here, the library's own definition stays out of the link.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The program's entry point on each system, apart from the rest so that
// the expander can also be linked into test programs.
#include <string>
#include <vector>

#include "tools/unzip/os_layer.h"

#ifdef _WIN32
// The C runtime's own split of the wide command line; globbing stays off
// because the pattern is matched by the program itself.
int wmain(int argc, wchar_t** argv) { return unzip::Main(unzip::Utf8Args(argc, argv)); }
#else
int main(int argc, char** argv) { return unzip::Main(std::vector<std::string>(argv + 1, argv + argc)); }
#endif

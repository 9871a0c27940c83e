// The archive expander's command line, as the launcher writes it:
//
//   unzip [-o] [-q|-qq|-qqq] ARCHIVE [-d DIRECTORY]
//   unzip --help | --version
//
// Options may be combined (-qqqo) and stand anywhere. ARCHIVE is a path, or a
// path whose last component holds * and ? wildcards: the launcher passes the
// pattern quoted, so the program matches it itself.
#pragma once

#include <string>
#include <vector>

namespace unzip {

// The program proper, called by the system's entry point with the arguments
// after the program name (UTF-8 on Windows); returns the exit status.
int Main(const std::vector<std::string>& args);

}  // namespace unzip

// Expanding a component's jar archives by running the unzip program that
// ships beside the launcher, as a hidden child that is waited for.
#pragma once

#include <string>

namespace bootstrap {

// Runs `commandLine` as a hidden child and waits for it; with `program`,
// exactly that file is run. The child's exit code, or the system error
// number when it could not be started or its exit code could not be read; 0
// is success either way.
int RunChildAndWait(const std::string& commandLine, const std::string& program = {});

// The unzip command line that expands every jar archive of `source` into
// `destination` with the unzip program of `unzipDir` ("-o" in debug mode,
// else "-qqqo"). The line ends with one blank. The program's path is quoted
// when it holds a blank or a tab: unquoted, the system would split it there (and run
// whatever program it finds at the first blank).
std::string UnzipCommandLine(const std::string& source, const std::string& destination,
                             const std::string& unzipDir);
// The file of the unzip program in `unzipDir`, suffix included.
std::string UnzipProgram(const std::string& unzipDir);
std::string UnzipCommandLine(const std::string& source, const std::string& destination,
                             const std::string& unzipDir);

// Expands the jar archives of `source` into `destination`; the command line
// goes to the actions log. 0 when the unzip program returned 0, else -1.
// S_UNZIP_FAILED is logged and shown only when `source` does not exist.
int ExpandJars(const std::string& source, const std::string& destination,
               const std::string& unzipDir);

}  // namespace bootstrap

// The ARCHIVE argument: an archive's path, or a directory and a file-name
// pattern with * and ? wildcards that the program matches itself (the
// launcher passes SRC/"*.jar" quoted).
#pragma once

#include <string>
#include <string_view>

namespace unzip {

struct ArchivePattern {
  std::string dir;      // cleaned as by CleanDirectory; "" for the current directory
  std::string pattern;  // the last component
};

// Splits the argument at its last separator: "/" on Linux, where "\" is an
// ordinary name character, and "/" or "\" with `windowsRules`.
ArchivePattern SplitArchivePattern(std::string_view arg, bool windowsRules);

// The directory as the system's listing takes it: doubled and trailing
// separators dropped, except that a root keeps its own ("/"; Windows: "\",
// "C:\", and the "\\" that opens a UNC or long path). With `windowsRules`
// both separators count and each becomes "\".
std::string CleanDirectory(std::string_view dir, bool windowsRules);

// `dir` and `name` joined with the system's separator ("" is the current
// directory, and "C:" a drive's current directory, so neither gets one).
std::string JoinArchivePath(const std::string& dir, const std::string& name, bool windowsRules);

// True when the pattern has a wildcard at all.
bool HasWildcard(std::string_view pattern);
// "*" matches any run of characters, "?" one character; `ignoreCase` folds
// ASCII letters as Windows does for these names.
bool MatchWildcard(std::string_view pattern, std::string_view name, bool ignoreCase);

}  // namespace unzip

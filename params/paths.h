// Path helpers shared by the parameter file, the options and the run sequence.
// Paths are joined with the platform's separator, never a literal one.
#pragma once

#include <string>

namespace params {

// Values and paths live in 1024-byte buffers: at most 1023 characters.
constexpr size_t kMaxPath = 1023;

// The full path of `path` against the current directory; `path` unchanged
// when that fails (in debug mode S_ERABS_PATH and the system's reason go to
// standard error first).
std::string MakeAbsolutePath(const std::string& path);
// `path` cut at its last separator (the whole path when it has none);
// `dest` untouched when `path` is empty.
void GetDirPart(std::string& dest, const std::string& path);
// `component` alone to an empty path, directly after a trailing separator,
// else after one separator.
std::string AppendPath(const std::string& path, const std::string& component);
// The directory of the running executable, without a trailing separator.
// -1 (after S_ERGOSLST with "GetCurrentDir()" on the console) when the
// module file name cannot be obtained.
int GetCurrentDir(std::string& dest);
// The startup directory from the launcher's first element: a leading "." and
// separator skipped, cut at the last separator, "." without one.
std::string GetProgramDir(const std::string& programPath);

}  // namespace params

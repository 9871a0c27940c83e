// The launcher's own directories and the path rules of its options and
// parameter file.
#pragma once

#include <optional>
#include <string>

namespace params {

// The full path of `path` against the current directory; `path` unchanged
// when that fails (with `reportFailure`, S_ERABS_PATH and the system's reason
// go to standard error first).
std::string MakeAbsolutePath(const std::string& path, bool reportFailure);
// `path` cut at its last separator (the whole path when it has none);
// `dest` untouched when `path` is empty.
void GetDirPart(std::string& dest, const std::string& path);
// The directory of the running executable, without a trailing separator (a
// root keeps its own). nullopt after S_ERGOSLST with "GetCurrentDir()" on the
// console when the module file name cannot be obtained.
std::optional<std::string> LauncherDir();
// The startup directory from the launcher's first element: a leading "." and
// separator skipped, cut at the last separator, "." without one.
std::string GetProgramDir(const std::string& programPath);

}  // namespace params

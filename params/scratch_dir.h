// The per-run scratch directory below the temp root, and the directory rules
// the log location shares.
#pragma once

#include <string>

namespace params {

// Suffixes "_1" ... "_1023" are tried when the base name is taken.
constexpr int kMaxScratchSuffix = 1023;

// 1 when `path` can serve as a temp root: absolute (a drive path or a rooted
// path on Windows, "/..." on Linux) and free of the forbidden characters.
int IsValidAbsPath(const std::string& path);
// -SCRATCHPATH, else TEMP (TMP only when TEMP is not set at all), else the
// fixed fallback; one trailing separator removed.
std::string GetTempRoot();
// Creates the directory and its missing parents. 1 when it then exists as a
// directory that can be read and written, else 0.
int MakeDirTree(const std::string& path);
// Creates <temp root>/QelInstall<timestamp>[_n] and stores its path.
// 0, or -1 after S_ERPERDIR by the error-display rule.
int CreateScratchDir(std::string& scratchDir, const std::string& timestamp);

}  // namespace params

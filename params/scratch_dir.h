// The per-run scratch directory below the temp root, and the directory rules
// the log location shares.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

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
// Creates <temp root>/QelInstall<timestamp>[_n] and stores its path and
// identity. 0, or -1 after S_ERPERDIR by the error-display rule; a temp root
// where others could rename or replace the new directory is refused so.
int CreateScratchDir(std::string& scratchDir, const std::string& timestamp,
                     std::optional<platform::DirIdentity>& identity);
// The installer runs code from the scratch directory with the launcher's
// rights: before each use the directory must still be the one that was made
// (not a link, same volume, file number, owner and mode). True when it is,
// or when the run did not make it (no identity). Otherwise S_ERPERDIR with
// the path is shown and the answer is false: the run must end, and never
// make the directory again or delete what stands there now.
bool ScratchDirIntact(const std::string& scratchDir,
                      const std::optional<platform::DirIdentity>& identity);

}  // namespace params

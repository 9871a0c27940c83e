// The per-run scratch directory below the temp root.
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
// `scratchRootOption` (-SCRATCHPATH) when usable, else TEMP (TMP only when
// TEMP is not set at all), else the fixed fallback; one trailing separator
// removed.
std::string GetTempRoot(const std::string& scratchRootOption);

struct ScratchDir {
  int status = 0;    // 0, or -1 after S_ERPERDIR by the error-display rule
  std::string root;  // the temp root, once it was accepted
  std::string path;
  std::optional<platform::DirIdentity> identity;
};
// Creates <temp root>/QelInstall<timestamp>[_n]. A temp root where others
// could rename or replace the new directory is refused like one that cannot
// be written.
ScratchDir CreateScratchDir(const std::string& scratchRootOption, const std::string& timestamp);

// The installer runs code from the scratch directory with the launcher's
// rights: before each use the directory must still be the one that was made
// (not a link, same volume, file number, owner and mode). True when it is,
// or when the run did not make it (no identity). Otherwise S_ERPERDIR with
// the path is shown and the answer is false: the run must end, and never
// make the directory again or delete what stands there now.
bool ScratchDirIntact(const std::string& scratchDir,
                      const std::optional<platform::DirIdentity>& identity);

}  // namespace params

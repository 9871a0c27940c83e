// Destination checks: nothing an archive names may land outside the
// directory it is expanded into.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace unzip {

// The longest entry name taken (bytes, as UTF-8) and the most components it
// may have. No runtime or installer archive comes near either; beyond them a
// name is damage, and the limits bound what one entry costs to walk and to
// keep, and the paths left for the launcher's tree walks and the installer.
inline constexpr size_t kMaxNameBytes = 4096;
inline constexpr size_t kMaxNameDepth = 256;

// An entry name as components below the destination.
struct EntryPath {
  std::vector<std::string> parts;  // none empty, "." or ".."
  bool isDir = false;              // the name ended with a separator
};

// Splits an entry name at "/" and "\" into components, dropping empty and
// "." ones. Refuses (false, reason in *why) a name longer than
// kMaxNameBytes or of more than kMaxNameDepth components, an absolute name, a
// ".." component and a NUL byte; with `windowsRules` also names that Windows
// would send elsewhere: a drive letter, a ":" (alternate stream), trailing
// dots or blanks (silently dropped by Windows), characters Windows forbids,
// and device names such as CON, LPT1 or COM with a superscript digit, with
// any extension and in any case.
bool SplitEntryName(std::string_view name, bool windowsRules, EntryPath* path, std::string* why);

// True when `target`, a link stored at `linkParts`, is relative and resolves
// (textually, from the link's directory) to a place below the destination,
// its ".." components all before its first name: then it stays inside
// whatever the names lead through.
bool LinkStaysInside(const std::vector<std::string>& linkParts, std::string_view target,
                     std::string* why);

}  // namespace unzip

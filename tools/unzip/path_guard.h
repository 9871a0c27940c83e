// Destination checks: nothing an archive names may land outside the
// directory it is expanded into.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace unzip {

// An entry name as components below the destination.
struct EntryPath {
  std::vector<std::string> parts;  // none empty, "." or ".."
  bool isDir = false;              // the name ended with a separator
};

// Splits an entry name at "/" and "\" into components, dropping empty and
// "." ones. Refuses (false, reason in *why) an absolute name, a ".."
// component and a NUL byte; with `windowsRules` also names that Windows
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

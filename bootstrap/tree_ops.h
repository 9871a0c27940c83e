// Tree operations of the bootstrap and the final clean-up: copying, deleting
// and counting directory trees, and picking the highest-versioned
// subdirectory of a component directory.
//
// The walks (platform::TreeCopy, DeleteTree, CountTreeFiles) go depth first
// over an explicit stack, one level at a time, so a deep tree costs no stack,
// time and memory in proportion to its size, and a few open directories;
// they never enter a link, so a cycle in a medium ends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace bootstrap {

// The start value of the version search and its result when no
// subdirectory holds a version.
inline constexpr const char* kLowestVersion = "0.0.0.0.0";
// Numeric fields that count when version directories are compared.
constexpr int kVersionFields = 5;

// Copies the tree below `source` into `destination` (created if missing, as
// are its subdirectories), replacing files of the same name; copies are made
// writable. A missing source does nothing. 0, or -1 when a file copy failed
// (what was copied stays), a listed name is not a plain name, a directory is
// too deep to reach (Windows), the source moved under the walk, the
// destination is an empty text, or descriptors or memory ran out. No link is entered: a
// link to a file is copied as the file; a link to a directory is made again
// (Linux) or passed over with a warning in the actions log (Windows).
int CopyTree(const std::string& source, const std::string& destination);
// Deletes the tree `root`, root included, as far as it can: what cannot be
// deleted stays. Never fails; removes a link, never what it points to.
void DeleteTree(const std::string& root);
// Number of files (neither directories nor links to one) in the tree, links
// never entered; 0 when it cannot be listed.
int64_t CountTreeFiles(const std::string& root);
// Records the file counts of the scratch directory's "jre" and "qti"
// subtrees in the actions log (S_NUMBER_OF_FILES_BOOTSTRAPPED).
void LogBootstrapCounts(const std::string& scratchDir);

// One version field: decimal digits with blanks around them. 1 with `value`
// set (0 for an empty or blank text); 0 for any other character or a number
// beyond the signed 32-bit range, `value` untouched.
int ParseVersionNumber(std::string_view text, int32_t& value);
// 1 when version text `a` sorts before `b`, comparing at most `maxFields`
// numeric fields (separated by "." or ","); else 0. A field too large to
// read makes the comparison 0 either way, so such a version never wins.
int VersionLess(std::string_view a, std::string_view b, int maxFields);
// The name of the subdirectory of `dir` with the highest version (the one
// listed first on a tie), or kLowestVersion when none beats it.
std::string FindHighestVersionDir(const std::string& dir);

}  // namespace bootstrap

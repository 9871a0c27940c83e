// Paths as every subsystem builds them: joined with the platform's
// separator, never a literal one.
#pragma once

#include <string>

namespace common {

// A path holds at most 1023 characters (a 1024-byte buffer).
constexpr size_t kMaxPath = 1023;

// `part` joined to `path` with one separator: directly after a separator
// that ends `path`, alone when `path` is empty.
std::string AppendPath(const std::string& path, const std::string& part);
// `dir`, a separator and `part`, exactly as the launcher's path formats
// write them: a separator that already ends `dir` is doubled.
std::string JoinExactly(const std::string& dir, const std::string& part);

// The medium's staged component area, relative to the directory of the
// launcher: "..<sep>stage<sep>Components".
std::string StageAreaNear();
// The same one level further up, for a launcher two levels below it.
std::string StageAreaFar();
// <stage>/<component>/<version>/1/DataFiles, where a component version's
// jar archives lie.
std::string StageDataDir(const std::string& stage, const std::string& component,
                         const std::string& version);

// Creates the directory and its missing parents. 1 when it then exists as a
// directory that can be read and written, else 0 (an empty path too).
int MakeDirTree(const std::string& path);

}  // namespace common

// Directory listing, file copy and removal, free space.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

struct DirEntry {
  std::string name;
  bool isDirectory = false;
};

// The entries of `dir` in the order the system lists them, without "." and
// ".."; nullopt when the directory cannot be listed.
std::optional<std::vector<DirEntry>> ListDirectory(const std::string& dir);

}  // namespace platform

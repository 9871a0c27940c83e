// A change of the current directory for the length of a scope: the relative
// paths of a medium (..\stage\Components ...) are resolved against it, and so
// is the unzip program's work, which inherits it.
#pragma once

#include <optional>
#include <string>

namespace common {

class ScopedCurrentDir {
 public:
  // Enters `dir` when `active`; the directory left is entered again at the end.
  ScopedCurrentDir(const std::string& dir, bool active);
  ~ScopedCurrentDir();
  ScopedCurrentDir(const ScopedCurrentDir&) = delete;
  ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

 private:
  std::optional<std::string> left_;
};

}  // namespace common

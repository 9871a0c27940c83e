// The parts of os_layer.h that do not depend on the system.
#include "tools/unzip/os_layer.h"

namespace unzip {

std::string DestTree::DisplayPath(const std::vector<std::string>& parts) const {
  std::string path = root_;
  for (const std::string& part : parts) {
    if (!path.empty() && path.back() != '/' && path.back() != NativeSeparator()) {
      path += NativeSeparator();
    }
    path += part;
  }
  return path;
}

}  // namespace unzip

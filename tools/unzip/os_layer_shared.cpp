// The parts of os_layer.h that do not depend on the system.
#include "tools/unzip/os_layer.h"
#include "tools/unzip/os_layer_shared.h"

namespace unzip {

size_t SharedPrefix(const std::vector<std::string>& cached, const std::vector<std::string>& parts,
                    size_t count) {
  size_t n = 0;
  while (n < count && n < cached.size() && cached[n] == parts[n]) ++n;
  return n;
}

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

// The parts of os_layer.h that do not depend on the system.
#include "tools/unzip/os_layer.h"

#include <algorithm>

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

bool WriteThrough(const StdPort& port, std::string_view text) {
  if (!port.console) return text.empty() || port.writeBytes(text);
  const std::u16string units = port.toUnits(text);
  std::u16string_view rest = units;
  while (!rest.empty()) {
    size_t piece = std::min(rest.size(), kConsolePiece);
    // A high surrogate at the cut goes with its pair into the next piece.
    if (piece < rest.size() && rest[piece - 1] >= 0xD800 && rest[piece - 1] <= 0xDBFF) --piece;
    if (!port.writeUnits(rest.substr(0, piece))) return false;
    rest.remove_prefix(piece);
  }
  return true;
}

}  // namespace unzip

// Directory trees on Linux.
#include <dirent.h>
#include <sys/stat.h>

#include <memory>

#include "platform/platform.h"

namespace platform {

std::optional<std::vector<DirEntry>> ListDirectory(const std::string& dir) {
  std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(dir.c_str()), closedir);
  if (!listing) return std::nullopt;
  std::vector<DirEntry> entries;
  while (dirent* entry = readdir(listing.get())) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool isDir = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      struct stat st;
      isDir = stat((dir + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    entries.push_back({name, isDir});
  }
  return entries;
}

}  // namespace platform

#include <sys/stat.h>

#include <utility>

#include "platform/platform.h"
#include "platform/shared/ini_reader.h"

namespace platform {

namespace {

// A run asks some forty questions of one parameter file. The file's bytes
// are kept from one question to the next while its identity, size and
// modification and change times stay the same, so each question costs one
// stat instead of a whole read (Windows keeps profile files cached too).
struct CachedFile {
  bool valid = false;
  std::string path;
  struct stat identity{};
  std::string content;
};

CachedFile& Cache() {
  static CachedFile cache;
  return cache;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

}  // namespace

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, const std::string& path,
                              size_t maxChars) {
  CachedFile& cache = Cache();
  struct stat now;
  // Anything but a plain readable file takes the uncached way, which knows
  // the service's answers for missing, unreadable and odd files.
  if (stat(path.c_str(), &now) != 0 || !S_ISREG(now.st_mode)) {
    return IniReadFileString(path, section, key, defaultValue, maxChars);
  }
  if (!cache.valid || cache.path != path || !SameFile(cache.identity, now)) {
    cache.valid = false;
    std::optional<std::string> content = ReadRegularFile(path, kMaxIniFileBytes);
    if (!content) return IniReadFileString(path, section, key, defaultValue, maxChars);
    cache.content = std::move(*content);
    cache.path = path;
    cache.identity = now;
    cache.valid = true;
  }
  return IniReadString(cache.content, section, key, defaultValue, maxChars);
}

// Linux passes bytes through: file names are bytes, and so are values.
std::string TextFromFile(const std::string& bytes) { return bytes; }

}  // namespace platform

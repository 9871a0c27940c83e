#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

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

// Reads a regular file of at most `limit` bytes whole; false on any failure
// or when the file is not the one `identity` describes (changed meanwhile).
bool ReadWhole(const std::string& path, const struct stat& identity, size_t limit, std::string& content) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat opened;
  bool ok = fstat(fd, &opened) == 0 && SameFile(opened, identity) &&
            static_cast<uint64_t>(opened.st_size) <= limit;
  if (ok) {
    try {
      content.resize(static_cast<size_t>(opened.st_size));
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  size_t done = 0;
  while (ok && done < content.size()) {
    ssize_t n = read(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    done += n > 0 ? static_cast<size_t>(n) : 0;
  }
  close(fd);
  return ok;
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
    if (!ReadWhole(path, now, kMaxIniFileBytes, cache.content)) {
      return IniReadFileString(path, section, key, defaultValue, maxChars);
    }
    cache.path = path;
    cache.identity = now;
    cache.valid = true;
  }
  return IniReadString(cache.content, section, key, defaultValue, maxChars);
}

// Linux passes bytes through: file names are bytes, and so are values.
std::string TextFromFile(const std::string& bytes) { return bytes; }

}  // namespace platform

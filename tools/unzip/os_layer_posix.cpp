// Linux implementation of os_layer.h. Every path below the destination is
// walked one directory descriptor at a time with O_NOFOLLOW, so a symbolic
// link in the tree (made by an earlier archive, say) is never followed.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/unzip/os_layer.h"
#include "tools/unzip/os_layer_shared.h"

namespace unzip {

namespace {

bool Fail(std::string* error) {
  *error = std::strerror(errno);
  return false;
}

// Why a directory along the way could not be opened.
std::string WalkError(int code) {
  if (code == ENOTDIR || code == ELOOP) return "a file or symbolic link is in the way of a directory";
  return std::strerror(code);
}

// Removes whatever non-directory has that name, so that a new file or link
// never writes through an old one.
bool Unlink(int dir, const char* name, std::string* error) {
  if (unlinkat(dir, name, 0) == 0 || errno == ENOENT) return true;
  *error = errno == EISDIR ? "a directory is in the way" : std::strerror(errno);
  return false;
}

}  // namespace

struct DestTree::Walk {
  int rootFd = -1;
  std::vector<std::string> cachedParts;
  int cachedFd = -1;
  bool cacheValid = false;

  ~Walk() {
    if (cachedFd != -1 && cachedFd != rootFd) close(cachedFd);
    if (rootFd != -1) close(rootFd);
  }

  // The directory of the first `count` components, opened without following
  // links and created when missing if `create`; -1 (with the reason) when
  // it cannot be. The descriptor belongs to the walk.
  int Dir(const std::vector<std::string>& parts, size_t count, bool create, std::string* error) {
    if (count == 0) return rootFd;
    size_t known = cacheValid ? SharedPrefix(cachedParts, parts, count) : 0;
    if (known == count && cachedParts.size() == count) return cachedFd;
    // Walk on from the cached directory when it lies on the way.
    bool fromCache = cacheValid && known == cachedParts.size();
    int fd = fromCache ? cachedFd : rootFd;
    bool owned = false;
    for (size_t i = fromCache ? known : 0; i < count; ++i) {
      const char* name = parts[i].c_str();
      int next = openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (next < 0 && errno == ENOENT && create) {
        if (mkdirat(fd, name, 0777) != 0 && errno != EEXIST) {
          Fail(error);
          if (owned) close(fd);
          return -1;
        }
        next = openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      }
      if (next < 0) {
        *error = WalkError(errno);
        if (owned) close(fd);
        return -1;
      }
      if (owned) close(fd);
      fd = next;
      owned = true;
    }
    if (cachedFd != -1 && cachedFd != rootFd) close(cachedFd);
    cachedParts.assign(parts.begin(), parts.begin() + count);
    cachedFd = fd;
    cacheValid = true;
    return fd;
  }
};

bool WindowsNameRules() { return false; }
bool UnixFileModes() { return true; }
char NativeSeparator() { return '/'; }

unsigned CreationMask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

std::string DecodeEntryName(std::string_view raw, bool) { return std::string(raw); }

std::string SystemNameProblem(std::string_view) { return ""; }

bool ListFiles(const std::string& dir, std::vector<std::string>* names, std::string* error) {
  DIR* stream = opendir(dir.empty() ? "." : dir.c_str());
  if (!stream) return Fail(error);
  while (const dirent* item = readdir(stream)) {
    bool regular = item->d_type == DT_REG;
    if (item->d_type == DT_LNK || item->d_type == DT_UNKNOWN) {
      struct stat info;
      regular = fstatat(dirfd(stream), item->d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
    }
    if (regular) names->push_back(item->d_name);
  }
  closedir(stream);
  return true;
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

ArchiveFile::~ArchiveFile() {
  if (handle_ != -1) close(static_cast<int>(handle_));
}

bool ArchiveFile::Open(const std::string& path, std::string* error) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Fail(error);
  handle_ = fd;
  struct stat info;
  if (fstat(fd, &info) != 0) return Fail(error);
  if (!S_ISREG(info.st_mode)) {
    *error = "not a regular file";
    return false;
  }
  size_ = static_cast<uint64_t>(info.st_size);
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

bool ArchiveFile::ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got,
                         std::string* error) {
  *got = 0;
  char* out = static_cast<char*>(buffer);
  while (*got < length) {
    ssize_t n = pread(static_cast<int>(handle_), out + *got, length - *got,
                      static_cast<off_t>(offset + *got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(error);
    if (n == 0) break;
    *got += static_cast<size_t>(n);
  }
  return true;
}

OutputFile::~OutputFile() {
  if (handle_ != -1) close(static_cast<int>(handle_));
}

bool OutputFile::Write(const void* data, size_t length, std::string* error) {
  const char* in = static_cast<const char*>(data);
  while (length > 0) {
    ssize_t n = write(static_cast<int>(handle_), in, length);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(error);
    in += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool OutputFile::Close(std::string* error) {
  int fd = static_cast<int>(handle_);
  handle_ = -1;
  bool ok = mode_ < 0 || fchmod(fd, static_cast<mode_t>(mode_)) == 0;
  if (!ok) Fail(error);
  if (close(fd) != 0 && ok) ok = Fail(error);
  return ok;
}

DestTree::DestTree() : walk_(std::make_unique<Walk>()) {}
DestTree::~DestTree() = default;

bool DestTree::Open(const std::string& root, std::string* error) {
  root_ = root;
  std::string path = root.empty() ? "." : root;
  // Create the missing levels; the root itself may be reached through links.
  for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
    mkdir(path.substr(0, at).c_str(), 0777);
  }
  if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return Fail(error);
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Fail(error);
  walk_->rootFd = fd;
  return true;
}

bool DestTree::MakeDirs(const std::vector<std::string>& parts, size_t count, std::string* error) {
  return walk_->Dir(parts, count, true, error) != -1;
}

bool DestTree::NewFile(const std::vector<std::string>& parts, int mode, OutputFile* out,
                       std::string* error) {
  int dir = walk_->Dir(parts, parts.size() - 1, true, error);
  if (dir == -1) return false;
  const char* name = parts.back().c_str();
  // Always a new file: an old one may be read-only, busy, or a link (hard
  // or symbolic) whose other end must not change.
  if (!Unlink(dir, name, error)) return false;
  int fd = openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  mode >= 0 ? 0600 : 0666);
  if (fd < 0) return Fail(error);
  out->handle_ = fd;
  out->mode_ = mode;
  return true;
}

void DestTree::RemoveFile(const std::vector<std::string>& parts) {
  std::string ignored;
  int dir = walk_->Dir(parts, parts.size() - 1, false, &ignored);
  if (dir != -1) unlinkat(dir, parts.back().c_str(), 0);
}

bool DestTree::SetDirMode(const std::vector<std::string>& parts, int mode, std::string* error) {
  int dir = walk_->Dir(parts, parts.size(), false, error);
  if (dir == -1) return false;
  return fchmod(dir, static_cast<mode_t>(mode)) == 0 || Fail(error);
}

bool DestTree::MakeLink(const std::vector<std::string>& parts, const std::string& target,
                        std::string* error) {
  int dir = walk_->Dir(parts, parts.size() - 1, true, error);
  if (dir == -1) return false;
  const char* name = parts.back().c_str();
  if (!Unlink(dir, name, error)) return false;
  return symlinkat(target.c_str(), dir, name) == 0 || Fail(error);
}

}  // namespace unzip

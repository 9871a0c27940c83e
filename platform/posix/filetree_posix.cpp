// Directory trees on Linux.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <memory>

#include "platform/platform.h"

namespace platform {


namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now, so that a failing close (a full disk on NFS) is seen.
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

// Errors with which a kernel says "not this way" rather than "this copy
// failed": the next means is tried.
bool Unsupported(int error) {
  return error == ENOSYS || error == EXDEV || error == EINVAL || error == EOPNOTSUPP ||
         error == ENOTSUP || error == EPERM;
}

constexpr size_t kChunk = size_t{1} << 30;
constexpr size_t kLoopBuffer = size_t{1} << 20;

// Moves the rest of `in` to `out` from their current offsets:
// copy_file_range, else sendfile, else a large-buffer loop. `expected` is the
// size seen when the file was opened: the copy ends once that much has moved,
// without the extra call that would only report the end (a call per file).
// A size of 0 may hide content (system pseudo-files): then the end decides.
bool CopyData(int in, int out, uint64_t expected) {
  enum class Means { Range, Sendfile, Loop } means = Means::Range;
  std::unique_ptr<char[]> buffer;
  uint64_t moved = 0;
  for (;;) {
    ssize_t n = 0;
    switch (means) {
      case Means::Range:
        n = copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
        if (n < 0 && Unsupported(errno)) {
          means = Means::Sendfile;
          continue;
        }
        break;
      case Means::Sendfile:
        n = sendfile(out, in, nullptr, kChunk);
        if (n < 0 && (errno == EINVAL || errno == ENOSYS)) {
          means = Means::Loop;
          continue;
        }
        break;
      case Means::Loop: {
        if (!buffer) buffer.reset(new char[kLoopBuffer]);
        n = read(in, buffer.get(), kLoopBuffer);
        for (ssize_t done = 0; n > 0 && done < n;) {
          ssize_t w = write(out, buffer.get() + done, n - done);
          if (w < 0 && errno == EINTR) continue;
          if (w <= 0) return false;
          done += w;
        }
        break;
      }
    }
    if (n == 0) return true;
    if (n < 0 && errno != EINTR) return false;
    if (n > 0) {
      moved += static_cast<uint64_t>(n);
      if (expected > 0 && moved >= expected) return true;
    }
  }
}

}  // namespace

std::optional<std::vector<DirEntry>> ListDirectory(const std::string& dir) {
  std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(dir.c_str()), closedir);
  if (!listing) return std::nullopt;
  std::vector<DirEntry> entries;
  while (dirent* entry = readdir(listing.get())) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    DirEntry e{name, entry->d_type == DT_DIR, entry->d_type == DT_LNK};
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      std::string path = dir;
      if (path.empty() || path.back() != '/') path += '/';
      path += name;
      struct stat st;
      if (entry->d_type == DT_UNKNOWN && lstat(path.c_str(), &st) == 0) e.isLink = S_ISLNK(st.st_mode);
      e.isDirectory = stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    entries.push_back(std::move(e));
  }
  return entries;
}

namespace {

// The process's file-creation mask, read once: the launcher runs one thread,
// so setting it back at once leaves no window for another creation.
mode_t CreationMask() {
  static const mode_t mask = [] {
    mode_t m = umask(0);
    umask(m);
    return m;
  }();
  return mask;
}

// CopyFile, the copy's permission bits being the source's plus `extraBits`.
bool CopyFileWithMode(const std::string& src, const std::string& dst, mode_t extraBits) {
  // Non-blocking, so that a FIFO in the tree cannot hang the copy.
  Fd in(open(src.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (in.get() < 0) {
    int error = errno;
    struct stat st;
    std::string target(4096, '\0');
    ssize_t len = 0;
    if (error == ENOENT && lstat(src.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
        (len = readlink(src.c_str(), target.data(), target.size())) > 0 &&
        static_cast<size_t>(len) < target.size()) {
      // A dangling link carries no data; the copy mirrors the link.
      target.resize(len);
      unlink(dst.c_str());
      return symlink(target.c_str(), dst.c_str()) == 0;
    }
    errno = error;
    return false;
  }
  struct stat st;
  if (fstat(in.get(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  const mode_t mode = (st.st_mode & 0777) | extraBits;
  // A link in the destination is replaced, never written through: O_NOFOLLOW
  // refuses it, and it is removed. A new file gets its bits from open unless
  // the creation mask takes some away; an older one keeps its own until
  // fchmod. (A tree copy makes thousands of files: every call saved counts.)
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
  bool created = true;
  int fd = open(dst.c_str(), flags | O_EXCL, mode | S_IWUSR);
  if (fd < 0 && errno == EEXIST) {
    created = false;
    fd = open(dst.c_str(), flags | O_TRUNC, mode | S_IWUSR);
    if (fd < 0 && errno == ELOOP && unlink(dst.c_str()) == 0) {
      created = true;
      fd = open(dst.c_str(), flags | O_EXCL, mode | S_IWUSR);
    }
  }
  Fd out(fd);
  if (out.get() < 0) return false;
  // Kept whatever the umask or an older file of that name said: a copied
  // program must stay executable. Like an attribute, not worth failing for.
  const mode_t given = (mode | S_IWUSR) & ~CreationMask();
  if (!created || given != mode) fchmod(out.get(), mode);
  if (!CopyData(in.get(), out.get(), static_cast<uint64_t>(st.st_size))) return false;
  return out.Close();
}

}  // namespace

bool CopyFile(const std::string& src, const std::string& dst) { return CopyFileWithMode(src, dst, 0); }

bool CopyFileWritable(const std::string& src, const std::string& dst) {
  return CopyFileWithMode(src, dst, S_IWUSR);
}

bool ClearReadOnly(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) return true;  // a link has no permissions of its own
  return chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool DeleteFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool RemoveDir(const std::string& path) { return rmdir(path.c_str()) == 0; }

DiskSpaceOverrides& DiskSpaceTestOverrides() {
  static DiskSpaceOverrides overrides;
  return overrides;
}

std::optional<DiskSpace> QueryDiskSpace(const std::string& dir) {
  if (auto& fake = DiskSpaceTestOverrides().query) return fake(dir);
  struct statvfs vfs;
  if (statvfs(dir.c_str(), &vfs) != 0) return std::nullopt;
  return DiskSpace{uint64_t{vfs.f_blocks} * vfs.f_frsize, uint64_t{vfs.f_bavail} * vfs.f_frsize};
}

std::optional<uint64_t> QueryRootFreeBytes(const std::string& path) {
  if (auto& fake = DiskSpaceTestOverrides().rootFreeBytes) return fake(path);
  struct statvfs vfs;
  if (statvfs("/", &vfs) != 0) return std::nullopt;
  return uint64_t{vfs.f_bavail} * vfs.f_frsize;
}

}  // namespace platform

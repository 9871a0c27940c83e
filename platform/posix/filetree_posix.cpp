// Directory trees on Linux. The tree walks reach every directory from the
// root's descriptor without following a link on the way, so a link in the
// source is never entered and nothing is written through one in the
// destination, whatever was swapped in after the listing.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sched.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#if __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#endif

#include <atomic>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/platform.h"
#include "platform/shared/tree_walk.h"

namespace platform {

namespace {

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) close(fd_);
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }
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

using tree_walk::Kind;

// A directory of a walk, never reached through a link.
constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;

// The directory `rel` below `root` opened one component at a time.
int OpenStepwise(int root, const std::string& rel) {
  Fd dir(openat(root, ".", kDirFlags));
  for (size_t start = 0; dir.get() >= 0 && start <= rel.size();) {
    size_t end = rel.find('/', start);
    if (end == std::string::npos) end = rel.size();
    dir = Fd(openat(dir.get(), rel.substr(start, end - start).c_str(), kDirFlags));
    start = end + 1;
  }
  return dir.release();
}

// The directory `rel` ("a/b", "" for the root itself) below the open
// directory `root`, reached without following any link; -1 with errno set
// otherwise (ELOOP or ENOTDIR where a link stands). One openat2 call where
// the kernel has it, else a step per component.
int OpenBelow(int root, const std::string& rel) {
  if (root < 0) {
    errno = EBADF;
    return -1;
  }
  if (rel.empty()) return openat(root, ".", kDirFlags);
#if defined(SYS_openat2) && defined(RESOLVE_NO_SYMLINKS)
  static std::atomic<bool> unavailable{false};
  if (!unavailable.load(std::memory_order_relaxed)) {
    open_how how{};
    how.flags = kDirFlags;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
    const long fd = syscall(SYS_openat2, root, rel.c_str(), &how, sizeof how);
    if (fd >= 0) return static_cast<int>(fd);
    // An older kernel, or a system-call filter that refuses it.
    if (errno == ENOSYS || errno == EPERM) {
      unavailable.store(true, std::memory_order_relaxed);
    } else if (errno != EAGAIN && errno != ENAMETOOLONG) {
      return -1;
    }
  }
#endif
  return OpenStepwise(root, rel);
}

// The directory holding `rel`, opened below `root`, and rel's last name.
Fd OpenParent(int root, const std::string& rel, std::string& name) {
  const size_t slash = rel.rfind('/');
  name = rel.substr(slash + 1);
  return Fd(OpenBelow(root, slash == std::string::npos ? std::string() : rel.substr(0, slash)));
}

// Makes directory `name` in `dir`. An existing directory is fine; a link
// there is replaced by a directory (the link goes, never what it leads to).
bool MakeDirAt(int dir, const std::string& name) {
  if (mkdirat(dir, name.c_str(), 0777) == 0) return true;
  if (errno != EEXIST) return false;
  struct stat st;
  if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (S_ISDIR(st.st_mode)) return true;
  if (!S_ISLNK(st.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  return unlinkat(dir, name.c_str(), 0) == 0 && mkdirat(dir, name.c_str(), 0777) == 0;
}

// Makes the link `name` of `srcDir` again in `dstDir` with the same target,
// replacing a file or link of that name there; a directory there stays and
// the copy fails.
bool CopyLinkAt(int srcDir, int dstDir, const char* name) {
  char target[PATH_MAX];
  const ssize_t len = readlinkat(srcDir, name, target, sizeof target);
  if (len < 0) return false;
  if (static_cast<size_t>(len) >= sizeof target) {
    errno = ENAMETOOLONG;
    return false;
  }
  target[len] = '\0';
  if (symlinkat(target, dstDir, name) == 0) return true;
  if (errno != EEXIST) return false;
  return unlinkat(dstDir, name, 0) == 0 && symlinkat(target, dstDir, name) == 0;
}

// The process's file-creation mask, read once: a TreeCopy reads it before
// any file copy, so no copy can fall into the moment it is set to 0.
mode_t CreationMask() {
  static const mode_t mask = [] {
    mode_t m = umask(0);
    umask(m);
    return m;
  }();
  return mask;
}

// Copies the file `name` of `srcDir` into `dstDir`, replacing a file or link
// of that name there; the copy keeps the source's permission bits and gets
// owner write. A link is copied as what it leads to; a dangling one as a link.
bool CopyFileAt(int srcDir, int dstDir, const char* name) {
  // Non-blocking, so that a FIFO in the tree cannot hang the copy.
  Fd in(openat(srcDir, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st;
  if (in.get() < 0) {
    const int error = errno;
    if (error == ENOENT && fstatat(srcDir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
      return CopyLinkAt(srcDir, dstDir, name);  // a dangling link carries no data
    }
    errno = error;
    return false;
  }
  if (fstat(in.get(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  const mode_t mode = (st.st_mode & 0777) | S_IWUSR;
  // A link in the destination is replaced, never written through: O_NOFOLLOW
  // refuses it, and it is removed. A new file gets its bits from open unless
  // the creation mask takes some away; an older one keeps its own until
  // fchmod. (A tree copy makes thousands of files: every call saved counts.)
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  bool created = true;
  int fd = openat(dstDir, name, flags | O_EXCL, mode);
  if (fd < 0 && errno == EEXIST) {
    created = false;
    fd = openat(dstDir, name, flags | O_TRUNC, mode);
    if (fd < 0 && errno == ELOOP && unlinkat(dstDir, name, 0) == 0) {
      created = true;
      fd = openat(dstDir, name, flags | O_EXCL, mode);
    }
  }
  Fd out(fd);
  if (out.get() < 0) return false;
  // Kept whatever the umask or an older file of that name said: a copied
  // program must stay executable. Like an attribute, not worth failing for.
  if (!created || (mode & ~CreationMask()) != mode) fchmod(out.get(), mode);
  if (!CopyData(in.get(), out.get(), static_cast<uint64_t>(st.st_size))) return false;
  return out.Close();
}

Kind KindOf(int dir, const char* name, unsigned char type) {
  struct stat st;
  if (type == DT_UNKNOWN && fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
  }
  if (type == DT_DIR) return Kind::kDirectory;
  if (type == DT_LNK && fstatat(dir, name, &st, 0) == 0 && S_ISDIR(st.st_mode)) {
    return Kind::kDirectoryLink;
  }
  return Kind::kOther;
}

// A trailing slash would make the kernel follow a link at the root.
std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// A tree below a root directory (and, for a copy, a destination root),
// addressed by relative paths; see tree_walk.h.
class PosixTree {
 public:
  using Name = std::string;
  static constexpr bool kMakesDirectoryLinks = true;
  static constexpr bool kFoldsCase = false;
  static const Name& Fold(const Name& name) { return name; }
  static bool IsSeparator(char c) { return c == '/'; }
  static Name Join(const Name& dir, const Name& name) { return dir.empty() ? name : dir + '/' + name; }

  // A source root that is a link is followed only when `followRoot`.
  PosixTree(const std::string& source, bool followRoot, std::string destination = {})
      : sourcePath_(WithoutTrailingSlashes(source)),
        destinationPath_(WithoutTrailingSlashes(std::move(destination))),
        source_(open(sourcePath_.c_str(), followRoot ? kDirFlags & ~O_NOFOLLOW : kDirFlags)) {}

  // Read with getdents64 on the descriptor: a DIR stream would add three
  // calls per directory (fstat, two fcntl), a tenth of a tree copy's walk.
  struct Listing {
    Fd dir;
    std::vector<tree_walk::Entry<Name>> entries;
  };
  std::optional<Listing> List(const Name& rel) const {
    Listing listing{Fd(OpenBelow(source_.get(), rel)), {}};
    if (listing.dir.get() < 0) return std::nullopt;
    alignas(dirent64) char buffer[16384];
    for (;;) {
      const ssize_t got = getdents64(listing.dir.get(), buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;  // the end, or a listing cut short as readdir would
      for (ssize_t at = 0; at < got;) {
        const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
        at += entry->d_reclen;
        listing.entries.push_back({entry->d_name, KindOf(listing.dir.get(), entry->d_name, entry->d_type)});
      }
    }
    return listing;
  }

  bool MakeDir(const Name& rel) {
    if (rel.empty()) {
      if (!MakeDirAt(AT_FDCWD, destinationPath_)) return false;
      parentRel_.reset();
      destination_ = Fd(open(destinationPath_.c_str(), kDirFlags));
      return destination_.get() >= 0;
    }
    // Directories come breadth first, so siblings come one after another:
    // their parent is opened once.
    const size_t slash = rel.rfind('/');
    Name parent = slash == Name::npos ? Name() : rel.substr(0, slash);
    if (!parentRel_ || *parentRel_ != parent) {
      parent_ = Fd(OpenBelow(destination_.get(), parent));
      parentRel_ = std::move(parent);
    }
    return parent_.get() >= 0 && MakeDirAt(parent_.get(), rel.substr(slash + 1));
  }

  struct CopyDir {
    Fd source;
    Fd destination;
  };
  CopyDir OpenCopyDir(const Name& rel) const {
    return {Fd(OpenBelow(source_.get(), rel)), Fd(OpenBelow(destination_.get(), rel))};
  }
  bool CopyEntry(const CopyDir& dir, const Name& name, Kind kind) const {
    if (dir.source.get() < 0 || dir.destination.get() < 0) return false;
    if (kind == Kind::kDirectoryLink) return CopyLinkAt(dir.source.get(), dir.destination.get(), name.c_str());
    return CopyFileAt(dir.source.get(), dir.destination.get(), name.c_str());
  }

  void DeleteEntry(const Listing& listing, const tree_walk::Entry<Name>& entry) const {
    unlinkat(listing.dir.get(), entry.name.c_str(), 0);
  }
  void RemoveDir(const Name& rel) const {
    if (rel.empty()) {
      rmdir(sourcePath_.c_str());
      return;
    }
    Name name;
    Fd parent = OpenParent(source_.get(), rel, name);
    if (parent.get() >= 0) unlinkat(parent.get(), name.c_str(), AT_REMOVEDIR);
  }

 private:
  std::string sourcePath_;
  std::string destinationPath_;
  Fd source_;
  Fd destination_;  // open once MakeDir("") made it
  std::optional<Name> parentRel_;  // the directory parent_ holds
  Fd parent_;
};

}  // namespace

TreeCopy::TreeCopy(const std::string& source, const std::string& destination)
    : impl_(std::make_unique<tree_walk::CopyPlan<PosixTree>>(PosixTree(source, true, destination))) {
  CreationMask();  // read now, before copies that may run on several threads
}

void DeleteTree(const std::string& root) { tree_walk::DeleteTree(PosixTree(root, false)); }

namespace tree_walk {

void RunOnThreads(unsigned count, const std::function<void()>& work) {
  std::vector<std::thread> threads;
  try {
    threads.reserve(count);
    while (threads.size() + 1 < count) threads.emplace_back(work);
  } catch (const std::exception&) {
    // No more threads or memory: those started and this one do the work.
  }
  work();
  for (std::thread& thread : threads) thread.join();
}

unsigned ProcessorCount() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
    return static_cast<unsigned>(CPU_COUNT(&set));
  }
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1;
}

}  // namespace tree_walk

int64_t CountTreeFiles(const std::string& root) { return tree_walk::CountFiles(PosixTree(root, false)); }

std::optional<DiskSpace> QueryDiskSpace(const std::string& dir) {
  if (auto& fake = TestOverrides().disk.query) return fake(dir);
  struct statvfs vfs;
  if (statvfs(dir.c_str(), &vfs) != 0) return std::nullopt;
  return DiskSpace{uint64_t{vfs.f_blocks} * vfs.f_frsize, uint64_t{vfs.f_bavail} * vfs.f_frsize};
}

std::optional<uint64_t> QueryRootFreeBytes(const std::string& path) {
  if (auto& fake = TestOverrides().disk.rootFreeBytes) return fake(path);
  struct statvfs vfs;
  if (statvfs("/", &vfs) != 0) return std::nullopt;
  return uint64_t{vfs.f_bavail} * vfs.f_frsize;
}

}  // namespace platform

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
#include <unistd.h>

#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/platform.h"
#include "platform/posix/tree_cursor.h"
#include "platform/shared/tree_walk.h"

namespace platform {

namespace {

using tree_walk::Fd;

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

// Makes directory `name` in `dir`. An existing directory is fine; a link
// there is replaced by a directory (the link goes, never what it leads to).
bool MakeDirAt(int dir, const char* name) {
  if (mkdirat(dir, name, 0777) == 0) return true;
  if (errno != EEXIST) return false;
  struct stat st;
  if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (S_ISDIR(st.st_mode)) return true;
  if (!S_ISLNK(st.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  return unlinkat(dir, name, 0) == 0 && mkdirat(dir, name, 0777) == 0;
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
  // Always a file of its own: whatever stands at the name (a link, a second
  // name of an outside file) is removed, never written through, and O_EXCL
  // refuses what is put back meanwhile. A directory there stays and the copy
  // fails. The new file gets its bits from open unless the creation mask
  // takes some away. (A tree copy makes thousands of files: every call saved
  // counts.)
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  int fd = openat(dstDir, name, flags, mode);
  if (fd < 0 && errno == EEXIST && unlinkat(dstDir, name, 0) == 0) fd = openat(dstDir, name, flags, mode);
  Fd out(fd);
  if (out.get() < 0) return false;
  // Kept whatever the umask said: a copied program must stay executable.
  // Like an attribute, not worth failing for.
  if ((mode & ~CreationMask()) != mode) fchmod(out.get(), mode);
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

// Errors that say the process lacks the means to open, not that what it
// opens may not be opened.
bool Exhausted(int error) { return error == EMFILE || error == ENFILE || error == ENOMEM; }

// A trailing slash would make the kernel follow a link at the root.
std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

namespace tree_walk {

void Fd::Reset() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool Fd::Close() {
  const int fd = std::exchange(fd_, -1);
  return close(fd) == 0;
}

PosixCursor PosixCursor::AtRoot(const std::string& root, bool followRoot) {
  PosixCursor cursor(WithoutTrailingSlashes(root));
  Fd fd(open(cursor.rootPath_.c_str(), followRoot ? kDirFlags & ~O_NOFOLLOW : kDirFlags));
  if (fd.get() >= 0) {
    cursor.levels_.push_back({std::move(fd)});
  } else {
    cursor.blocked_ = Exhausted(errno);
  }
  return cursor;
}

PosixCursor PosixCursor::ToMake(const std::string& root) { return PosixCursor(WithoutTrailingSlashes(root)); }

PosixCursor PosixCursor::Clone() const {
  PosixCursor cursor(rootPath_);
  // A description of its own: a listing's offset is not shared.
  if (!levels_.empty()) {
    Fd fd(openat(levels_.front().fd.get(), ".", kDirFlags));
    if (fd.get() >= 0) cursor.levels_.push_back({std::move(fd)});
  }
  return cursor;
}

// Read with getdents64 on the descriptor: a DIR stream would add three calls
// per directory (fstat, two fcntl), a tenth of a tree copy's walk.
std::optional<std::vector<Entry<std::string>>> PosixCursor::List() const {
  const int dir = Top();
  if (dir < 0) return std::nullopt;
  std::vector<Entry<Name>> entries;
  alignas(dirent64) char buffer[16384];
  for (;;) {
    const ssize_t got = getdents64(dir, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // the end, or a listing cut short as readdir would
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
      at += entry->d_reclen;
      entries.push_back({entry->d_name, KindOf(dir, entry->d_name, entry->d_type)});
    }
  }
  return entries;
}

void PosixCursor::Push(Fd fd) {
  levels_.push_back({std::move(fd)});
  if (++held_ <= tree_walk::kHeldDirectories) return;
  // The shallowest held level below the root gives up its descriptor; its
  // identity stays to check the way back.
  Level& level = levels_[levels_.size() - held_];
  struct stat st;
  if (fstat(level.fd.get(), &st) == 0) {
    level.dev = st.st_dev;
    level.ino = st.st_ino;
  }
  level.fd.Reset();
  --held_;
}

Step PosixCursor::Down(const Name& name) {
  if (levels_.empty()) return Step::kUnreachable;
  Fd fd(openat(Top(), name.c_str(), kDirFlags));
  // A directory that may not be read, or is gone or a link now, is walked
  // past; one that the process lacks the means to open is not, or a copy
  // would leave it out and succeed.
  if (fd.get() < 0) return Exhausted(errno) ? Step::kBlocked : Step::kUnreachable;
  Push(std::move(fd));
  return Step::kEntered;
}

bool PosixCursor::MakeRoot() {
  levels_.clear();
  held_ = 0;
  if (!MakeDirAt(AT_FDCWD, rootPath_.c_str())) return false;
  Fd fd(open(rootPath_.c_str(), kDirFlags));
  if (fd.get() < 0) return false;
  levels_.push_back({std::move(fd)});
  return true;
}

bool PosixCursor::MakeDown(const Name& name) {
  return !levels_.empty() && MakeDirAt(Top(), name.c_str()) && Down(name) == Step::kEntered;
}

bool PosixCursor::Up() {
  if (levels_.size() < 2) return false;
  Level& below = levels_[levels_.size() - 2];
  if (below.fd.get() >= 0) {
    levels_.pop_back();
    --held_;
    return true;
  }
  // Back through "..", which leads wherever the directory now hangs: it must
  // still be the one the cursor came down from.
  Fd parent(openat(Top(), "..", kDirFlags));
  struct stat st;
  if (parent.get() < 0 || fstat(parent.get(), &st) != 0 || st.st_dev != below.dev || st.st_ino != below.ino) {
    return false;
  }
  below.fd = std::move(parent);
  levels_.pop_back();
  return true;
}

bool PosixCursor::CopyFrom(const PosixCursor& source, const Name& name, Kind kind) const {
  const int from = source.Top();
  const int to = Top();
  if (from < 0 || to < 0) return false;
  if (kind == Kind::kDirectoryLink) return CopyLinkAt(from, to, name.c_str());
  return CopyFileAt(from, to, name.c_str());
}

void PosixCursor::Delete(const Entry<Name>& entry) const { unlinkat(Top(), entry.name.c_str(), 0); }

void PosixCursor::RemoveSubdir(const Name& name) const { unlinkat(Top(), name.c_str(), AT_REMOVEDIR); }

void PosixCursor::RemoveRoot() const { rmdir(rootPath_.c_str()); }

}  // namespace tree_walk

TreeCopy::TreeCopy(const std::string& source, const std::string& destination)
    : impl_(std::make_unique<tree_walk::CopyPlan<tree_walk::PosixCursor>>(
          tree_walk::PosixCursor::AtRoot(source, true), tree_walk::PosixCursor::ToMake(destination))) {
  CreationMask();  // read now, before copies that may run on several threads
}

void DeleteTree(const std::string& root) {
  tree_walk::PosixCursor cursor = tree_walk::PosixCursor::AtRoot(root, false);
  tree_walk::DeleteTree(cursor);
}

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

int64_t CountTreeFiles(const std::string& root) {
  tree_walk::PosixCursor cursor = tree_walk::PosixCursor::AtRoot(root, false);
  return tree_walk::CountFiles(cursor);
}

std::optional<DiskSpace> QueryDiskSpace(const std::string& dir) {
  if (auto& fake = TestOverrides().disk.query) return fake(dir);
  struct statvfs vfs;
  if (statvfs(dir.c_str(), &vfs) != 0) return std::nullopt;
  return DiskSpace{uint64_t{vfs.f_blocks} * vfs.f_frsize, uint64_t{vfs.f_bavail} * vfs.f_frsize};
}

// The file system that holds `path`, or that will once it is made: the
// path's own, else its nearest ancestor that can be measured.
std::optional<uint64_t> QueryRootFreeBytes(const std::string& path) {
  if (auto& fake = TestOverrides().disk.rootFreeBytes) return fake(path);
  std::string at = path.empty() ? "." : path;
  struct statvfs vfs;
  while (statvfs(at.c_str(), &vfs) != 0) {
    if (at == "/" || at == ".") return std::nullopt;
    const size_t end = at.find_last_not_of('/');
    const size_t slash = end == std::string::npos ? std::string::npos : at.find_last_of('/', end);
    if (slash == std::string::npos) {
      at = ".";  // a relative name: made in the working directory
    } else {
      const size_t parentEnd = at.find_last_not_of('/', slash);
      at.resize(parentEnd == std::string::npos ? 1 : parentEnd + 1);  // "/" itself, or no trailing slash
    }
  }
  return uint64_t{vfs.f_bavail} * vfs.f_frsize;
}

}  // namespace platform

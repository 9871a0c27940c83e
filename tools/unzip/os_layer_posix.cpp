// Linux implementation of os_layer.h. Every path below the destination is
// walked one directory descriptor at a time with O_NOFOLLOW, so a symbolic
// link in the tree (made by an earlier archive, say) is never followed.
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "tools/unzip/dir_cache.h"
#include "tools/unzip/os_layer.h"

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

// Every descriptor the program opens is closed on exec, and nothing is
// opened for reading in a way that could wait (a FIFO) before it is known
// what it is.
constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC;

int OpenDir(int parent, const char* name) { return openat(parent, name, kDirFlags | O_NOFOLLOW); }

// What a file is when it is not a regular one, for messages.
const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "of an unknown kind";
}

// True when a file created in `dir` gets exactly the mode asked for, less
// the umask: not so under a default ACL, which takes the umask's place.
bool CreatesExactModes(int dir) {
  return fgetxattr(dir, "system.posix_acl_default", nullptr, 0) < 0 &&
         (errno == ENODATA || errno == ENOTSUP || errno == EOPNOTSUPP);
}

// Directory descriptors open at most, wherever they are held: half of what
// the descriptor limit leaves after the archives and files of a run.
size_t CacheLimit() {
  constexpr rlim_t kWanted = 8192;
  rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 16;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < kWanted) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? kWanted : std::min(kWanted, limit.rlim_max);
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  rlim_t usable = limit.rlim_cur == RLIM_INFINITY ? kWanted : limit.rlim_cur;
  return usable > 512 ? static_cast<size_t>((usable - 256) / 2) : 16;
}

// Directory descriptors open in the process, wherever they are held.
std::atomic<size_t> openDirs{0};

}  // namespace

struct DestDir {
  explicit DestDir(int descriptor) : fd(descriptor) { ++openDirs; }
  ~DestDir() {
    close(fd);
    --openDirs;
  }
  DestDir(const DestDir&) = delete;
  DestDir& operator=(const DestDir&) = delete;
  const int fd;
  // Files created here need no mode change after the fact.
  bool exactModes = false;
};

struct DestTree::Walk {
  using Cache = DirCache<DestDir>;
  std::shared_ptr<DestDir> root;
  Cache cache{CacheLimit(), [] { return openDirs.load(); }};
  unsigned mask = 0;

  // The cache node of the first `count` (at least one) components, opened
  // one level at a time from its parent's descriptor without following
  // links, and created when missing if `create` (the last level with
  // `mode`); nullptr (with the reason) when it cannot be. Only the level at
  // hand and its parent are held by the walk itself.
  Cache::Node* Find(const std::vector<std::string>& parts, size_t count, bool create, int mode,
                    std::string* error) {
    std::shared_ptr<DestDir> dir = root;
    uint64_t parent = Cache::kRoot;
    Cache::Node* node = nullptr;
    for (size_t i = 0; i < count; ++i) {
      const char* name = parts[i].c_str();
      node = cache.Find(parent, parts[i]);
      if (!node) {
        cache.MakeRoom();
        // A directory the cache does not hold is new in a fresh destination,
        // so making it comes first.
        bool made = false;
        if (create) {
          int wanted = i + 1 == count && mode >= 0 ? mode : 0777;
          made = mkdirat(dir->fd, name, static_cast<mode_t>(wanted)) == 0;
          if (!made && errno != EEXIST) {
            Fail(error);
            return nullptr;
          }
        }
        const int fd = OpenDir(dir->fd, name);
        if (fd < 0) {
          *error = WalkError(errno);
          return nullptr;
        }
        auto next = std::make_shared<DestDir>(fd);
        // A new directory takes its parent's default ACL, if any.
        next->exactModes = made ? dir->exactModes : (mask & 0200) == 0 && CreatesExactModes(fd);
        node = cache.Insert(parent, parts[i], std::move(next));
      }
      parent = node->id;
      dir = node->dir;
    }
    return node;
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

unsigned ProcessorCount() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
    return static_cast<unsigned>(CPU_COUNT(&set));
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

std::string NameKey(const std::string& part) { return part; }

std::string DecodeEntryName(std::string_view raw, bool) { return std::string(raw); }

std::string SystemNameProblem(std::string_view) { return ""; }

bool ListNames(const std::string& dir, std::vector<std::string>* names, std::string* error) {
  const int fd = open(dir.empty() ? "." : dir.c_str(), kDirFlags);
  if (fd < 0) return Fail(error);
  DIR* stream = fdopendir(fd);
  if (!stream) {
    Fail(error);
    close(fd);
    return false;
  }
  while (const dirent* item = readdir(stream)) {
    const std::string_view name = item->d_name;
    if (name != "." && name != "..") names->emplace_back(name);
  }
  closedir(stream);
  return true;
}

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

void WriteStd(StdStream stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream == StdStream::kOutput ? stdout : stderr);
}

struct Mutex::Impl {
  std::mutex mutex;
};
Mutex::Mutex() : impl_(std::make_unique<Impl>()) {}
Mutex::~Mutex() = default;
void Mutex::Lock() { impl_->mutex.lock(); }
void Mutex::Unlock() { impl_->mutex.unlock(); }

struct Condition::Impl {
  std::condition_variable condition;
};
Condition::Condition() : impl_(std::make_unique<Impl>()) {}
Condition::~Condition() = default;
void Condition::Wait(Mutex& mutex) {
  std::unique_lock<std::mutex> lock(mutex.impl_->mutex, std::adopt_lock);
  impl_->condition.wait(lock);
  lock.release();
}
void Condition::WakeOne() { impl_->condition.notify_one(); }
void Condition::WakeAll() { impl_->condition.notify_all(); }

struct ThreadGroup::Impl {
  std::vector<std::thread> threads;
};
ThreadGroup::ThreadGroup() : impl_(std::make_unique<Impl>()) {}
ThreadGroup::~ThreadGroup() { JoinAll(); }
bool ThreadGroup::Start(std::function<void()> body) {
  try {
    impl_->threads.emplace_back(std::move(body));
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}
void ThreadGroup::JoinAll() {
  for (std::thread& thread : impl_->threads) thread.join();
  impl_->threads.clear();
}

ArchiveFile::~ArchiveFile() {
  if (handle_ != -1) close(static_cast<int>(handle_));
}

bool ArchiveFile::Open(const std::string& path, std::string* error) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return Fail(error);
  handle_ = fd;
  struct stat info;
  if (fstat(fd, &info) != 0) return Fail(error);
  if (!S_ISREG(info.st_mode)) {
    *error = std::string("not a regular file (") + KindOf(info.st_mode) + ")";
    return false;
  }
  // A regular file never waits; reads are plain ones from here on.
  const int flags = fcntl(fd, F_GETFL);
  if (flags == -1 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return Fail(error);
  size_ = static_cast<uint64_t>(info.st_size);
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

bool ArchiveFile::ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got,
                         std::string* error) const {
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
  mask_ = walk_->mask = CreationMask();
  std::string path = root.empty() ? "." : root;
  // Create the missing levels; the root itself may be reached through links.
  for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
    mkdir(path.substr(0, at).c_str(), 0777);
  }
  if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return Fail(error);
  const int fd = open(path.c_str(), kDirFlags);
  if (fd < 0) return Fail(error);
  auto dir = std::make_shared<DestDir>(fd);
  dir->exactModes = (mask_ & 0200) == 0 && CreatesExactModes(dir->fd);
  walk_->root = std::move(dir);
  return true;
}

DestDirRef DestTree::Dir(const std::vector<std::string>& parts, size_t count, int mode,
                         std::string* error) {
  if (count == 0) return walk_->root;
  Walk::Cache::Node* found = walk_->Find(parts, count, true, mode, error);
  return found ? found->dir : nullptr;
}

void DestTree::SetDrain(std::function<void()> drain) { walk_->cache.SetDrain(std::move(drain)); }

bool DestTree::NewFile(const DestDir& dir, const std::string& name, int mode, OutputFile* out,
                       std::string* error) {
  // Always a new file: an old one may be read-only, busy, or a link (hard
  // or symbolic) whose other end must not change. O_EXCL fails on any name
  // that exists, a dangling link included, and only then is it removed.
  const mode_t created = mode < 0 ? 0666 : dir.exactModes ? static_cast<mode_t>(mode) : 0600;
  for (int attempt = 0;; ++attempt) {
    int fd = openat(dir.fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, created);
    if (fd >= 0) {
      out->handle_ = fd;
      out->mode_ = mode >= 0 && !dir.exactModes ? mode : -1;
      return true;
    }
    if (errno != EEXIST || attempt > 0) return Fail(error);
    if (!Unlink(dir.fd, name.c_str(), error)) return false;
  }
}

void DestTree::RemoveFile(const DestDir& dir, const std::string& name) {
  unlinkat(dir.fd, name.c_str(), 0);
}

bool DestTree::SetDirMode(const std::vector<std::string>& parts, int mode, std::string* error) {
  Walk::Cache::Node* found = walk_->Find(parts, parts.size(), false, -1, error);
  if (!found) return false;
  if (found->mode < 0) {
    struct stat info;
    if (fstat(found->dir->fd, &info) != 0) return Fail(error);
    found->mode = static_cast<int>(info.st_mode & 07777);
  }
  if (found->mode == mode) return true;
  if (fchmod(found->dir->fd, static_cast<mode_t>(mode)) != 0) return Fail(error);
  found->mode = mode;
  return true;
}

bool DestTree::MakeLink(const std::vector<std::string>& parts, const std::string& target,
                        std::string* error) {
  DestDirRef dir = Dir(parts, parts.size() - 1, -1, error);
  if (!dir) return false;
  const char* name = parts.back().c_str();
  for (int attempt = 0;; ++attempt) {
    if (symlinkat(target.c_str(), dir->fd, name) == 0) return true;
    if (errno != EEXIST || attempt > 0) return Fail(error);
    if (!Unlink(dir->fd, name, error)) return false;
  }
}

}  // namespace unzip

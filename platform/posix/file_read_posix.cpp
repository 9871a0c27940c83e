// Reading regular files and appending to logs on Linux.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/shared/bounded_read.h"

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
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

void Tell(FileReadError* error, FileReadError what) {
  if (error) *error = what;
}

// Regular files never block; the flag only keeps the open of a FIFO from
// waiting for a writer, and is dropped once the type is known.
bool IsRegularAndBlocking(int fd, struct stat& st) {
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

}  // namespace

std::optional<std::string> ReadRegularFile(const std::string& path, size_t maxBytes, FileReadError* error) {
  Fd fd(path.empty() ? -1 : open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) {
    Tell(error, path.empty() || errno == ENOENT || errno == ENOTDIR ? FileReadError::kMissing
                                                                     : FileReadError::kUnreadable);
    return std::nullopt;
  }
  struct stat st;
  if (!IsRegularAndBlocking(fd.get(), st)) {
    Tell(error, FileReadError::kNotRegular);
    return std::nullopt;
  }
  return ReadBounded(static_cast<uint64_t>(st.st_size), maxBytes,
                     [&](char* buffer, size_t n) -> long long {
                       for (;;) {
                         const ssize_t got = read(fd.get(), buffer, n);
                         if (got >= 0 || errno != EINTR) return got;
                       }
                     },
                     error);
}

std::FILE* OpenAppendFile(const std::string& path) {
  if (path.empty()) return nullptr;
  Fd fd(open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
  struct stat st;
  if (fd.get() < 0 || !IsRegularAndBlocking(fd.get(), st)) return nullptr;
  std::FILE* file = fdopen(fd.get(), "a");
  if (file) fd.release();
  return file;
}

}  // namespace platform

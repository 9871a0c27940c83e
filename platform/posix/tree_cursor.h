// The Linux cursor of the tree walks (platform/shared/tree_walk.h): it
// stands in one directory, reached from the root one name at a time with
// O_NOFOLLOW, so no link is ever followed below the root, whatever is
// swapped in meanwhile. Seen by the unit tests, which wrap it.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/shared/tree_walk.h"

namespace platform::tree_walk {

// A file descriptor, closed with its owner.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }
  void Reset();
  // Closes now, so that a failing close (a full disk on NFS) is seen.
  bool Close();

 private:
  int fd_;
};

class PosixCursor {
 public:
  using Name = std::string;
  static constexpr bool kMakesDirectoryLinks = true;
  static constexpr bool kFoldsCase = false;
  static const Name& Fold(const Name& name) { return name; }
  static bool IsSeparator(char c) { return c == '/'; }

  // Standing in `root`, a link there followed only when `followRoot`; or
  // nowhere when it cannot be opened.
  static PosixCursor AtRoot(const std::string& root, bool followRoot);
  // Standing nowhere until MakeRoot makes `root`.
  static PosixCursor ToMake(const std::string& root);

  PosixCursor(PosixCursor&&) = default;
  PosixCursor& operator=(PosixCursor&&) = default;

  PosixCursor Clone() const;
  bool Blocked() const { return blocked_; }
  std::optional<std::vector<Entry<Name>>> List() const;
  Step Down(const Name& name);
  bool MakeRoot();
  bool MakeDown(const Name& name);
  bool Up();

  bool CopyFrom(const PosixCursor& source, const Name& name, Kind kind) const;
  void Delete(const Entry<Name>& entry) const;
  void RemoveSubdir(const Name& name) const;
  void RemoveRoot() const;

  // Levels below the root: how deep the cursor stands.
  size_t Depth() const { return levels_.empty() ? 0 : levels_.size() - 1; }

 private:
  explicit PosixCursor(std::string rootPath) : rootPath_(std::move(rootPath)) {}

  // A directory on the way down. Its identity is taken when its descriptor
  // is given up, to check the way back through "..".
  struct Level {
    Fd fd;
    dev_t dev = 0;
    ino_t ino = 0;
  };
  int Top() const { return levels_.empty() ? -1 : levels_.back().fd.get(); }
  void Push(Fd fd);

  std::string rootPath_;
  std::vector<Level> levels_;  // the root first; empty: standing nowhere
  size_t held_ = 0;            // the deepest levels with a descriptor, root aside
  bool blocked_ = false;       // the root could not be opened for want of descriptors or memory
};

}  // namespace platform::tree_walk

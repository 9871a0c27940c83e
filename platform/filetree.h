// Directory listing, whole-tree copy, deletion and count, free space.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct DirEntry {
  std::string name;
  bool isDirectory = false;  // a link to a directory counts as a directory
  bool isLink = false;       // symbolic link (Linux), link or junction (Windows)
};

// The entries of `dir` in the order the system lists them, without "." and
// ".."; nullopt when the directory cannot be listed. Windows: a name that the
// process code page cannot hold exactly (no best fit) is left out.
std::optional<std::vector<DirEntry>> ListDirectory(const std::string& dir);

// Whole trees. The walks go depth first, a directory before what it holds,
// one level at a time: their time and memory follow the tree's entries and
// name bytes whatever its depth. On Linux a walk holds at most a few
// directories open; on Windows it holds every directory from the root to
// where it stands, so that none can be renamed or swapped for a junction
// under it. They never enter a symbolic link or junction, not even one put
// in a directory's place after it was listed; on Windows any other reparse
// point (a cloud placeholder, a deduplicated file) is the file or directory
// it presents. Below the roots they work in the system's own names (UTF-16
// with \\?\ paths on Windows, relative to directory descriptors on Linux),
// so every name is the one name it is; a listed name that holds a separator
// or is a second "." or ".." is refused. Linux sets no depth limit; on
// Windows a directory whose path passes 32,767 units cannot be reached.

// A tree copy in two phases: the destination's directories, each after its
// parent, then the file copies. A link to a file is copied as the file, a
// dangling link as a link (Linux); a link to a directory is made again with
// the same target (Linux) or passed over (Windows). Nothing is written
// through a link in the destination: one where a directory goes is replaced,
// and every file copied is a new file, whatever stood at its name (a link, a
// second name of another file).
class TreeCopy {
 public:
  TreeCopy(const std::string& source, const std::string& destination);
  ~TreeCopy();
  TreeCopy(const TreeCopy&) = delete;
  TreeCopy& operator=(const TreeCopy&) = delete;

  // Makes the directories and lists what to copy. A missing source makes
  // nothing. Links to directories passed over are added to `passedOver` by
  // their source paths. False when a name is refused, a directory is too
  // deep to reach (Windows), the tree was moved under the walk, or
  // descriptors or memory ran out.
  bool MakeDirectories(std::vector<std::string>& passedOver);
  // Entries to copy once the directories are made.
  size_t FileCount() const;
  // Copies entries [begin, end), replacing files of the same name; copies
  // are made writable (Windows: read-only attribute cleared; Linux: owner
  // write added, permission bits kept). False at the first failure. Ranges
  // that do not overlap may be copied on different threads at once, unless
  // they hold names that the destination takes for one (Windows ignores case).
  bool CopyFiles(size_t begin, size_t end) const;
  // Copies every entry as CopyFiles does, on `threads` threads (the calling
  // one among them) that each take the next few entries of one directory
  // when they are free. False when a copy failed: from then on no thread
  // starts another entry, and what was copied stays. The tree is the one a
  // single thread makes.
  bool CopyFilesOnThreads(unsigned threads) const;

  class Impl;  // the system's copy plan (platform/shared/tree_walk.h)

 private:
  std::unique_ptr<Impl> impl_;
};

// Threads for a tree copy: the processors the process may run on, at most
// kMaxCopyThreads; the environment variable QEL_COPY_THREADS, a number from
// 1 up, chooses instead (at most kMaxCopyThreads too).
inline constexpr unsigned kMaxCopyThreads = 8;
unsigned CopyThreads();
// The rule behind CopyThreads: `setting` is QEL_COPY_THREADS (nullopt when
// unset); anything but decimal digits with a value of 1 or more leaves the
// choice to `processors`.
unsigned CopyThreadCount(const std::optional<std::string>& setting, unsigned processors);

// Deletes the tree `root`, root included, as far as it can; what cannot be
// deleted (Windows: read-only or open files) or reached stays. A link is
// removed, never what it leads to; a root that is a link is left alone.
void DeleteTree(const std::string& root);
// Files in the tree `root`: entries that are neither directories nor links
// to one. A root that is a link, or cannot be listed, holds none.
int64_t CountTreeFiles(const std::string& root);

struct DiskSpace {
  uint64_t totalBytes = 0;
  uint64_t availableBytes = 0;  // free bytes the caller may use
};
// The volume holding `dir`: GetDiskFreeSpaceExA (when kernel32 has it) or
// statvfs (f_blocks / f_bavail times f_frsize). nullopt on failure.
std::optional<DiskSpace> QueryDiskSpace(const std::string& dir);
// The older query, on the root of the path's volume: the first three
// characters of `path` with GetDiskFreeSpaceA (sectors per cluster x bytes
// per sector x free clusters); on Linux statvfs of the path, or of its
// nearest ancestor that can be measured when the path is not made yet.
// nullopt on failure.
std::optional<uint64_t> QueryRootFreeBytes(const std::string& path);

// What a test may put in place of the volume queries (TestOverrides().disk).
struct DiskSpaceOverrides {
  std::function<std::optional<DiskSpace>(const std::string&)> query;
  std::function<std::optional<uint64_t>(const std::string&)> rootFreeBytes;
};

}  // namespace platform

// The operating-system services of the archive expander: os_layer_posix.cpp
// and os_layer_win32.cpp implement them (CMake picks one), os_layer_shared.cpp
// holds what both share. Nothing else in tools/unzip touches the system
// directly.
//
// Paths are UTF-8 on Windows (converted for the wide API) and plain bytes on
// Linux. Failing calls return false and put the system's reason in *error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace unzip {

// True on Windows: entry names must also be valid Windows file names, and
// archive patterns match without regard to case.
bool WindowsNameRules();
// True where the file system keeps Unix permission bits and symbolic links.
bool UnixFileModes();
// The separator used when showing paths to the user.
char NativeSeparator();
// The process's file-creation mask (Linux: the umask; Windows: 0). Reading
// it sets it for a moment, so it is read before any thread starts.
unsigned CreationMask();

// The number of processors the process may run on, at least 1.
unsigned ProcessorCount();

// A component as the file system compares names (Windows: without regard
// to case); "" when the system may know the file by another name as well
// (a Windows short name such as PROGRA~1), so that no key can tell.
std::string NameKey(const std::string& part);

// An entry name's bytes as a path text. Windows decodes a name that is
// neither flagged nor valid as UTF-8 from code page 437; Linux keeps bytes.
std::string DecodeEntryName(std::string_view raw, bool utf8Flag);

// Why the system could not keep `part`, a component that passed the name
// checks, as named; "" when it can. Windows: the name must come back
// unchanged through the process's ANSI code page (unless that is UTF-8),
// since a later tree walk with the ANSI functions would see another name
// (best fit makes U+FF0E "." and U+FF3C "\"). Linux: always "".
std::string SystemNameProblem(std::string_view part);

// Names of everything in `dir` but "." and "..", unsorted: what is no
// archive is found out when it is opened, and told.
bool ListNames(const std::string& dir, std::vector<std::string>* names, std::string* error);
// True when `path` names anything at all (symbolic links followed).
bool Exists(const std::string& path);

// The standard streams. WriteStd writes UTF-8 text to one: on Windows a
// console gets it as UTF-16 (WriteConsoleW), so that names in any language
// show as they are whatever the console's code page; anything else (a file,
// a pipe), and every stream on Linux, gets the bytes through the C library's
// stream, which the caller may flush.
enum class StdStream { kOutput, kError };
void WriteStd(StdStream stream, std::string_view text);

// What WriteStd does with one stream, apart from the system: the parts that
// tests replace.
struct StdPort {
  bool console = false;  // Windows: GetConsoleMode succeeds on the handle
  std::function<std::u16string(std::string_view)> toUnits;  // UTF-8 to UTF-16
  std::function<bool(std::u16string_view)> writeUnits;      // to the console
  std::function<bool(std::string_view)> writeBytes;
};
// The largest piece handed to writeUnits at once (older consoles refuse
// large writes).
inline constexpr size_t kConsolePiece = 8192;
// A console gets the text's UTF-16 units in pieces of at most kConsolePiece
// that split no surrogate pair; anything else the bytes as they are. False
// when a write fails.
bool WriteThrough(const StdPort& port, std::string_view text);

// An archive open for random-access reading, by several threads at once.
class ArchiveFile {
 public:
  ArchiveFile() = default;
  ~ArchiveFile();
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;

  // Opens without waiting (a FIFO has no writer to wait for) and refuses,
  // by what the open handle is, anything but a regular file: a FIFO or a
  // device would never end, a directory holds no archive.
  bool Open(const std::string& path, std::string* error);
  uint64_t size() const { return size_; }
  // Reads up to `length` bytes at `offset`; *got is short only at the end of
  // the file.
  bool ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got, std::string* error) const;

 private:
  intptr_t handle_ = -1;
  uint64_t size_ = 0;
};

// Mutual exclusion and waiting between the expander's threads: the C++
// library's on Linux; a slim reader/writer lock and a condition variable on
// Windows, where the cross compiler's thread model has no std::thread.
class Mutex {
 public:
  Mutex();
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  void Lock();
  void Unlock();

 private:
  friend class Condition;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~MutexLock() { mutex_.Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

class Condition {
 public:
  Condition();
  ~Condition();
  Condition(const Condition&) = delete;
  Condition& operator=(const Condition&) = delete;
  // Releases the mutex, which the caller holds, until woken (or spuriously).
  void Wait(Mutex& mutex);
  void WakeOne();
  void WakeAll();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Threads that each run one function; dropping the group waits for them.
class ThreadGroup {
 public:
  ThreadGroup();
  ~ThreadGroup();
  ThreadGroup(const ThreadGroup&) = delete;
  ThreadGroup& operator=(const ThreadGroup&) = delete;
  // False when the system refuses another thread.
  bool Start(std::function<void()> body);
  void JoinAll();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A file being written below the destination. Dropping it unclosed closes
// the handle and keeps whatever was written.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool Write(const void* data, size_t length, std::string* error);
  // Applies the pending permission bits, if any, and closes; reports late
  // write errors.
  bool Close(std::string* error);

 private:
  friend class DestTree;
  intptr_t handle_ = -1;
  int mode_ = -1;
};

// A directory below the destination, held open by the tree (Linux: a
// descriptor; Windows: a handle that forbids renaming it, with the path it
// really has). Files are created in it by name, so nothing between it and
// the root is looked up again.
struct DestDir;
using DestDirRef = std::shared_ptr<const DestDir>;

// The destination directory. Every operation takes a path below it as
// components already checked by path_guard. No operation passes through a
// link or junction below the root, and a file is replaced by deleting the old
// name (a link itself, never its target), so nothing can be written outside
// it. Directories once opened stay open, a bounded number in all (those
// handed out and not yet dropped included), so each is looked up once per run
// rather than once per entry, and a walk opens one level at a time.
//
// Only the thread that opened the tree uses its members; NewFile and
// RemoveFile may run on any thread, in directories it handed out.
class DestTree {
 public:
  DestTree();
  ~DestTree();
  DestTree(const DestTree&) = delete;
  DestTree& operator=(const DestTree&) = delete;

  // Opens the root, creating every missing level. Reads the creation mask,
  // so it runs before any other thread starts.
  bool Open(const std::string& root, std::string* error);
  unsigned creationMask() const { return mask_; }
  // `drain` must drop every directory the caller still holds (files queued
  // for writing); it is called when the open directories reach their bound
  // and the tree alone cannot make room. Empty: none is called.
  void SetDrain(std::function<void()> drain);
  // The directory of the first `count` components, creating missing levels
  // (the last one with `mode`, Linux, -1 for the default); nullptr with the
  // reason when it cannot be had.
  DestDirRef Dir(const std::vector<std::string>& parts, size_t count, int mode, std::string* error);
  // Sets the permission bits of an existing directory (Linux only); no
  // system call when it has them already.
  bool SetDirMode(const std::vector<std::string>& parts, int mode, std::string* error);
  // Creates a symbolic link, replacing a file or link of that name (Linux only).
  bool MakeLink(const std::vector<std::string>& parts, const std::string& target,
                std::string* error);
  // The path as shown to the user: root, separator, components.
  std::string DisplayPath(const std::vector<std::string>& parts) const;

  // Creates the file `name` in `dir`, replacing a file or link of that name
  // only when there is one. `mode` (Linux, -1 for the default) is what the
  // file has once closed.
  static bool NewFile(const DestDir& dir, const std::string& name, int mode, OutputFile* out,
                      std::string* error);
  // Removes a file left incomplete; failures are ignored.
  static void RemoveFile(const DestDir& dir, const std::string& name);

 private:
  // Each system's own: the open root and the cache of open directories.
  struct Walk;
  std::string root_;  // as given, for display
  unsigned mask_ = 0;
  std::unique_ptr<Walk> walk_;
};

}  // namespace unzip

// Directory listing, file copy and removal, free space, the Java launcher
// program names.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// <windows.h> maps these names to its own A/W functions by macro; the
// platform's functions keep their names wherever this header comes later.
#undef CopyFile
#undef DeleteFile

namespace platform {

struct DirEntry {
  std::string name;
  bool isDirectory = false;  // a link to a directory counts as a directory
  bool isLink = false;       // symbolic link (Linux), reparse point (Windows)
};

// The entries of `dir` in the order the system lists them, without "." and
// ".."; nullopt when the directory cannot be listed.
std::optional<std::vector<DirEntry>> ListDirectory(const std::string& dir);

// Copies the file `src` to `dst`, replacing an existing `dst`; false on
// failure (LastError tells why). Windows: CopyFileA, attributes kept.
// Linux: the data moves inside the kernel; the copy keeps the source's
// permission bits; a dangling symbolic link is copied as a link.
bool CopyFile(const std::string& src, const std::string& dst);
// CopyFile followed by ClearReadOnly of the copy, whose result does not
// count; Linux does both in fewer system calls.
bool CopyFileWritable(const std::string& src, const std::string& dst);
// Makes a file writable: clears the read-only attribute (Windows), adds owner
// write (Linux). Its other attributes stay.
bool ClearReadOnly(const std::string& path);
// Removes a file, or a link itself (never what it points to).
bool DeleteFile(const std::string& path);
// Removes an empty directory.
bool RemoveDir(const std::string& path);

struct DiskSpace {
  uint64_t totalBytes = 0;
  uint64_t availableBytes = 0;  // free bytes the caller may use
};
// The volume holding `dir`: GetDiskFreeSpaceExA (when kernel32 has it) or
// statvfs (f_blocks / f_bavail times f_frsize). nullopt on failure.
std::optional<DiskSpace> QueryDiskSpace(const std::string& dir);
// The older query, on the root of the path's volume: the first three
// characters of `path` with GetDiskFreeSpaceA (sectors per cluster x bytes
// per sector x free clusters); "/" with statvfs on Linux. nullopt on failure.
std::optional<uint64_t> QueryRootFreeBytes(const std::string& path);

// Test seam for the volume queries; production code never sets these.
struct DiskSpaceOverrides {
  std::function<std::optional<DiskSpace>(const std::string&)> query;
  std::function<std::optional<uint64_t>(const std::string&)> rootFreeBytes;
};
DiskSpaceOverrides& DiskSpaceTestOverrides();

}  // namespace platform

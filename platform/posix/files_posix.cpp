// Files and directories on Linux.
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/platform.h"

namespace platform {

// A quote too: the paths below the root reach the unzip program and Java in
// quotes by the Windows rules, where a program's name cannot hold one.
const char* const kForbiddenTempChars = "*?<>|;:\"";

size_t AbsoluteRootLength(const std::string& path) { return !path.empty() && path[0] == '/' ? 1 : 0; }

bool PathExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0;
}

bool NameTaken(const std::string& path) {
  struct stat st;
  return !path.empty() && lstat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CanReadWrite(const std::string& path) {
  return !path.empty() && access(path.c_str(), R_OK | W_OK) == 0;
}

bool CreateDir(const std::string& path, bool ownerOnly) {
  return mkdir(path.c_str(), ownerOnly ? 0700 : 0777) == 0;
}

void ReleaseDirectory(const std::string&) {}

std::optional<DirIdentity> DirectoryIdentity(const std::string& path) {
  struct stat st;
  if (path.empty() || lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  return DirIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                     static_cast<uint32_t>(st.st_uid), static_cast<uint32_t>(st.st_mode & 07777)};
}

namespace {

// Nobody else may rename or replace what lies below: owned by the user or
// root, and not writable by group or others unless sticky (as /tmp is).
bool KeepsItsEntries(const struct stat& st) {
  if (st.st_uid != geteuid() && st.st_uid != 0) return false;
  return (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (st.st_mode & S_ISVTX) != 0;
}

}  // namespace

bool IsTrustedTempRoot(const std::string& root) {
  if (root.empty() || root[0] != '/') return false;
  // The root and every directory above it: whoever may rename one of them
  // can put another tree at the root's path after every check.
  std::string path = root;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  for (;;) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || !KeepsItsEntries(st)) return false;
    if (path == "/") return true;
    const size_t cut = path.rfind('/');
    path = cut == 0 ? "/" : path.substr(0, cut);
  }
}

std::optional<std::string> CurrentDir() {
  std::vector<char> buffer(4096);
  for (;;) {
    if (getcwd(buffer.data(), buffer.size())) return std::string(buffer.data());
    if (errno != ERANGE) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
}

bool SetCurrentDir(const std::string& path) { return chdir(path.c_str()) == 0; }

std::optional<std::string> FullPath(const std::string& path) {
  if (path.empty()) {
    errno = ENOENT;
    return std::nullopt;
  }
  std::string joined = path;
  if (path[0] != '/') {
    std::optional<std::string> cwd = CurrentDir();
    if (!cwd) return std::nullopt;
    joined = *cwd + "/" + path;
  }
  // Resolve "." and ".." by name, as the Windows full-path service does; a
  // trailing separator is kept.
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= joined.size()) {
    size_t slash = joined.find('/', i);
    if (slash == std::string::npos) slash = joined.size();
    std::string part = joined.substr(i, slash - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = slash + 1;
  }
  std::string full;
  for (const std::string& part : parts) full += "/" + part;
  if (full.empty()) full = "/";
  if (joined.size() > 1 && joined.back() == '/' && full != "/") full += '/';
  return full;
}

}  // namespace platform

// The registry of the Linux build: a file-backed store. Below the root
// ($QEL_REGISTRY_ROOT, default /etc/quelta/registry) a key is a directory and a
// value is a file whose bytes are the value's data. Names match without regard
// to case, as Windows key and value names do.
//
// Windows keeps values and subkeys apart, so a key may hold a value and a
// subkey of the same name; a directory cannot hold a file and a directory of
// one name. Such a value is kept in the file kShadowPrefix + name instead.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/auxv.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/registry_store.h"

namespace platform {

namespace {

constexpr const char* kDefaultRoot = "/etc/quelta/registry";
constexpr const char* kShadowPrefix = ".value~";

// Open keys: the handle is an index + 1 into this table of key directories.
std::vector<std::string>& OpenKeys() {
  static std::vector<std::string> keys;
  return keys;
}

// What root finds at the place: only root could have made it (or, when it
// is still to be made, the directory it will be made in), and nobody else can
// rename anything on the way to it.
bool OnlyRootPrepared(const std::string& place) {
  std::string path = place;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  struct stat st;
  while (lstat(path.c_str(), &st) != 0) {
    const size_t cut = path.rfind('/');
    if (errno != ENOENT || cut == std::string::npos) return false;
    path = cut == 0 ? "/" : path.substr(0, cut);
  }
  if (S_ISLNK(st.st_mode) || st.st_uid != 0 || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return false;
  if (S_ISDIR(st.st_mode)) return IsTrustedTempRoot(path);
  // Not a directory: no store, and the probe says so, if it lies where only root could put it.
  const size_t cut = path.rfind('/');
  return cut != std::string::npos && IsTrustedTempRoot(cut == 0 ? "/" : path.substr(0, cut));
}

// The store's place may be moved for tests. A run with more rights than its
// caller (set-id, or root started with a user's environment) takes the
// moved place only where no one but root could have prepared it: there it
// writes its probe and finds where the inventory lies.
}  // namespace

std::string RegistryStoreRoot() {
  std::optional<std::string> root = GetEnv("QEL_REGISTRY_ROOT");
  if (!root || root->empty() || root->front() != '/' || getauxval(AT_SECURE) != 0) return kDefaultRoot;
  if (geteuid() == 0 && !OnlyRootPrepared(*root)) return kDefaultRoot;
  return *root;
}

namespace {

std::string RootDir() { return RegistryStoreRoot(); }

bool IsDir(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Only regular files are values: reading a device or a pipe could block.
bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A name the store can hold as one directory entry of its key. Windows takes
// "..", "a/b" and the like literally; here they would lead out of the key.
bool StorableName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string("/\0", 2)) == std::string::npos &&
         name.compare(0, std::char_traits<char>::length(kShadowPrefix), kShadowPrefix) != 0;
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The entry of `dir` named `name` without regard to case: the exact name when
// it exists, else the first match in the listing; "" when there is none.
std::string FindEntry(const std::string& dir, const std::string& name, bool wantDir) {
  std::string exact = dir + "/" + name;
  if (wantDir ? IsDir(exact) : IsFile(exact)) return exact;
  std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(dir.c_str()), closedir);
  if (!listing) return {};
  while (dirent* entry = readdir(listing.get())) {
    if (strcasecmp(entry->d_name, name.c_str()) != 0) continue;
    std::string path = dir + "/" + entry->d_name;
    if (wantDir ? IsDir(path) : IsFile(path)) return path;
  }
  return {};
}

std::string FindSubkey(const std::string& dir, const std::string& name) {
  return StorableName(name) ? FindEntry(dir, name, true) : std::string();
}

// The file holding the value `name` of the key in `dir`; "" when none.
std::string FindValueFile(const std::string& dir, const std::string& name) {
  if (!StorableName(name)) return {};
  std::string path = FindEntry(dir, name, false);
  return path.empty() ? FindEntry(dir, kShadowPrefix + name, false) : path;
}

std::vector<std::string> SplitKeyPath(const std::string& subKey) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= subKey.size()) {
    size_t end = subKey.find('\\', start);
    if (end == std::string::npos) end = subKey.size();
    if (end > start) parts.push_back(subKey.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// Like a fresh Windows machine, the store has HKEY_LOCAL_MACHINE\SOFTWARE;
// it is made on first use where the root can be written.
std::string MachineKeyDir() {
  std::string root = RootDir();
  std::string machine = FindEntry(root, "HKEY_LOCAL_MACHINE", true);
  if (!machine.empty() && !FindEntry(machine, "SOFTWARE", true).empty()) return machine;
  // Make the root's missing parents, then whichever key is missing; one that
  // exists is used whatever the case of its name.
  for (size_t i = 1; i <= root.size(); ++i) {
    if (i == root.size() || root[i] == '/') mkdir(root.substr(0, i).c_str(), 0755);
  }
  if (machine.empty()) {
    machine = root + "/HKEY_LOCAL_MACHINE";
    mkdir(machine.c_str(), 0755);
  }
  if (FindEntry(machine, "SOFTWARE", true).empty()) mkdir((machine + "/SOFTWARE").c_str(), 0755);
  return machine;
}

// Changes from concurrent launcher runs (scripts start many at once) are
// made one at a time, as the Windows registry makes them: each holds an
// exclusive lock on <root>/.lock. Without the lock two runs probing the same
// key would see each other's half-made key and report no write access. A
// root where the lock file cannot be made is not writable; the change then
// fails on its own.
class StoreLock {
 public:
  StoreLock() : fd_(open((RootDir() + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~StoreLock() {
    if (fd_ >= 0) close(fd_);
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

 private:
  int fd_;
};

const std::string* KeyDir(const RegKey& key) {
  auto& keys = OpenKeys();
  if (key.handle_ == 0 || key.handle_ > keys.size() || keys[key.handle_ - 1].empty()) return nullptr;
  return &keys[key.handle_ - 1];
}

uintptr_t Register(const std::string& dir) {
  auto& keys = OpenKeys();
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].empty()) {
      keys[i] = dir;
      return i + 1;
    }
  }
  keys.push_back(dir);
  return keys.size();
}

long AccessStatus(const std::string& dir, RegAccess access) {
  int mode = R_OK | X_OK | (access == RegAccess::All ? W_OK : 0);
  return ::access(dir.c_str(), mode) == 0 ? kRegOk : kRegAccessDenied;
}

}  // namespace

void RegKey::Close() {
  auto& keys = OpenKeys();
  if (handle_ && handle_ <= keys.size()) keys[handle_ - 1].clear();
  handle_ = 0;
}

long RegOpenKey(const std::string& subKey, RegAccess access, RegKey& out, RegView) {
  out.Close();
  std::string dir = MachineKeyDir();
  if (!IsDir(dir)) return kRegNotFound;
  for (const std::string& part : SplitKeyPath(subKey)) {
    std::string next = FindSubkey(dir, part);
    if (next.empty()) return ::access(dir.c_str(), R_OK | X_OK) == 0 ? kRegNotFound : kRegAccessDenied;
    dir = next;
  }
  long status = AccessStatus(dir, access);
  if (status != kRegOk) return status;
  out.handle_ = Register(dir);
  return kRegOk;
}

long RegQueryValue(const RegKey& key, const std::string& name, std::string& data, size_t maxBytes) {
  const std::string* dir = KeyDir(key);
  if (!dir) return kRegNotFound;
  std::string path = FindValueFile(*dir, name);
  if (path.empty()) return kRegNotFound;
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == EACCES ? kRegAccessDenied : kRegNotFound;
  std::string bytes;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) {
    bytes.append(buffer, size_t(n));
    if (bytes.size() > maxBytes) break;
  }
  close(fd);
  if (bytes.size() > maxBytes) return kRegMoreData;
  data = bytes;
  return kRegOk;
}

long RegSetStringValue(const RegKey& key, const std::string& name, const std::string& text) {
  StoreLock lock;
  const std::string* dir = KeyDir(key);
  if (!dir) return kRegNotFound;
  if (!StorableName(name)) return kRegAccessDenied;
  std::string path = FindValueFile(*dir, name);
  if (path.empty()) {
    path = *dir + "/" + (FindSubkey(*dir, name).empty() ? "" : kShadowPrefix) + name;
  }
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return kRegAccessDenied;
  std::string bytes = text + '\0';
  bool ok = write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
  close(fd);
  return ok ? kRegOk : kRegAccessDenied;
}

long RegDeleteValue(const RegKey& key, const std::string& name) {
  StoreLock lock;
  const std::string* dir = KeyDir(key);
  if (!dir) return kRegNotFound;
  std::string path = FindValueFile(*dir, name);
  if (path.empty()) return kRegNotFound;
  return unlink(path.c_str()) == 0 ? kRegOk : kRegAccessDenied;
}

long RegCreateKey(const RegKey& key, const std::string& subKey, const std::string&, RegKey& out) {
  StoreLock lock;
  out.Close();
  const std::string* base = KeyDir(key);
  if (!base) return kRegNotFound;
  std::string dir = *base;
  for (const std::string& part : SplitKeyPath(subKey)) {
    std::string next = FindSubkey(dir, part);
    if (next.empty()) {
      if (!StorableName(part)) return kRegAccessDenied;
      // A value of that name moves aside to make room for the key.
      std::string value = FindEntry(dir, part, false);
      std::string aside = dir + "/" + kShadowPrefix + BaseName(value);
      if (!value.empty() && rename(value.c_str(), aside.c_str()) != 0) return kRegAccessDenied;
      next = dir + "/" + part;
      if (mkdir(next.c_str(), 0755) != 0) return kRegAccessDenied;
    }
    dir = next;
  }
  long status = AccessStatus(dir, RegAccess::All);
  if (status != kRegOk) return status;
  out.handle_ = Register(dir);
  return kRegOk;
}

long RegDeleteKey(const RegKey& key, const std::string& subKey) {
  StoreLock lock;
  const std::string* base = KeyDir(key);
  if (!base) return kRegNotFound;
  std::string parent, dir = *base;
  for (const std::string& part : SplitKeyPath(subKey)) {
    parent = dir;
    dir = FindSubkey(dir, part);
    if (dir.empty()) return kRegNotFound;
  }
  // A key with subkeys stays, as on Windows; its values go with it.
  std::vector<std::string> values;
  {
    std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(dir.c_str()), closedir);
    if (!listing) return kRegAccessDenied;
    while (dirent* entry = readdir(listing.get())) {
      std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      std::string path = dir + "/" + name;
      if (IsDir(path)) return kRegAccessDenied;
      values.push_back(path);
    }
  }
  for (const std::string& value : values) unlink(value.c_str());
  if (rmdir(dir.c_str()) != 0) return kRegAccessDenied;
  // A value that was kept aside for the key takes its plain name again.
  std::string shadow = parent.empty() ? "" : FindEntry(parent, kShadowPrefix + BaseName(dir), false);
  if (!shadow.empty()) {
    std::string plain = BaseName(shadow).substr(std::char_traits<char>::length(kShadowPrefix));
    rename(shadow.c_str(), (parent + "/" + plain).c_str());
  }
  return kRegOk;
}

}  // namespace platform

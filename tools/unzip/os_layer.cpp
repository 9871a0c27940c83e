// Windows and Linux implementations of os_layer.h.
#include "tools/unzip/os_layer.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include <algorithm>

namespace unzip {

namespace {

// Length of the prefix that two component lists share, up to `count`.
size_t SharedPrefix(const std::vector<std::string>& cached, const std::vector<std::string>& parts,
                    size_t count) {
  size_t n = 0;
  while (n < count && n < cached.size() && cached[n] == parts[n]) ++n;
  return n;
}

}  // namespace

std::string DestTree::DisplayPath(const std::vector<std::string>& parts) const {
  std::string path = root_;
  for (const std::string& part : parts) {
    if (!path.empty() && path.back() != '/' && path.back() != NativeSeparator()) {
      path += NativeSeparator();
    }
    path += part;
  }
  return path;
}

#ifdef _WIN32
// ---------------------------------------------------------------------------
// Windows: wide-character API on long-path ("\\?\") forms, so deep trees and
// names Win32 would otherwise rewrite are handled exactly.

namespace {

std::wstring Wide(std::string_view text, UINT codePage = CP_UTF8) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Utf8(std::wstring_view wide) {
  if (wide.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string text(n > 0 ? n : 0, '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, nullptr);
  }
  return text;
}

std::string ErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = n ? Utf8(std::wstring_view(buffer, n)) : std::string();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                           text.back() == '.')) {
    text.pop_back();
  }
  return text.empty() ? "system error " + std::to_string(code) : text;
}

bool Fail(std::string* error) {
  *error = ErrorText(GetLastError());
  return false;
}

// The full path in its long-path form; relative paths are resolved first
// because the long-path form takes no "." or "..".
std::wstring LongPath(const std::string& path) {
  std::wstring wide = Wide(path.empty() ? "." : path);
  DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return wide;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  full.resize(n);
  if (full.rfind(L"\\\\?\\", 0) == 0) return full;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::wstring DestPath(const std::string& nativeRoot, const std::vector<std::string>& parts) {
  std::string path = nativeRoot;
  for (const std::string& part : parts) path += '\\' + part;
  return Wide(path);
}

bool IsDirectoryW(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool WindowsNameRules() { return true; }
bool UnixFileModes() { return false; }
char NativeSeparator() { return '\\'; }

std::string DecodeEntryName(std::string_view raw, bool utf8Flag) {
  if (raw.empty() || utf8Flag) return std::string(raw);
  bool validUtf8 = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, raw.data(),
                                       static_cast<int>(raw.size()), nullptr, 0) > 0;
  if (validUtf8) return std::string(raw);
  std::wstring wide = Wide(raw, 437);
  if (wide.empty()) wide = Wide(raw, CP_OEMCP);
  return Utf8(wide);
}

bool ListFiles(const std::string& dir, std::vector<std::string>* names, std::string* error) {
  std::wstring pattern = LongPath(dir) + L"\\*";
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    return Fail(error);
  }
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names->push_back(Utf8(data.cFileName));
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return true;
}

bool IsRegularFile(const std::string& path) {
  DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

ArchiveFile::~ArchiveFile() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool ArchiveFile::Open(const std::string& path, std::string* error) {
  HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail(error);
  handle_ = reinterpret_cast<intptr_t>(file);
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size)) return Fail(error);
  size_ = static_cast<uint64_t>(size.QuadPart);
  return true;
}

bool ArchiveFile::ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got,
                         std::string* error) {
  *got = 0;
  char* out = static_cast<char*>(buffer);
  while (*got < length) {
    OVERLAPPED at = {};
    uint64_t position = offset + *got;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(length - *got, 1u << 30));
    DWORD n = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), out + *got, chunk, &n, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return Fail(error);
    }
    if (n == 0) break;
    *got += n;
  }
  return true;
}

OutputFile::~OutputFile() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool OutputFile::Write(const void* data, size_t length, std::string* error) {
  const char* in = static_cast<const char*>(data);
  while (length > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(length, 1u << 30));
    DWORD n = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(handle_), in, chunk, &n, nullptr)) return Fail(error);
    in += n;
    length -= n;
  }
  return true;
}

bool OutputFile::Close(std::string* error) {
  HANDLE file = reinterpret_cast<HANDLE>(handle_);
  handle_ = -1;
  return CloseHandle(file) ? true : Fail(error);
}

DestTree::~DestTree() = default;

bool DestTree::Open(const std::string& root, std::string* error) {
  root_ = root;
  std::wstring wide = LongPath(root);
  nativeRoot_ = Utf8(wide);
  // Levels above the first missing one already exist, so their failures
  // (the drive, the share) are expected; only the final check counts.
  for (size_t at = wide.find(L'\\', 4); at != std::wstring::npos; at = wide.find(L'\\', at + 1)) {
    CreateDirectoryW(wide.substr(0, at).c_str(), nullptr);
  }
  if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    return Fail(error);
  }
  if (!IsDirectoryW(wide)) {
    *error = "not a directory";
    return false;
  }
  return true;
}

intptr_t DestTree::DirHandle(const std::vector<std::string>& parts, size_t count, bool create,
                             std::string* error) {
  size_t known = cacheValid_ ? SharedPrefix(cachedParts_, parts, count) : 0;
  std::string path = nativeRoot_;
  for (size_t i = 0; i < count; ++i) {
    path += '\\';
    path += parts[i];
    if (i < known) continue;
    std::wstring wide = Wide(path);
    if (create && CreateDirectoryW(wide.c_str(), nullptr)) continue;
    DWORD code = create ? GetLastError() : ERROR_ALREADY_EXISTS;
    if (code != ERROR_ALREADY_EXISTS) {
      Fail(error);
      return -1;
    }
    if (!IsDirectoryW(wide)) {
      *error = GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES
                   ? "no such directory"
                   : "a file is in the way of a directory";
      return -1;
    }
  }
  // A shorter request leaves the deeper cached directory known.
  if (!(cacheValid_ && known == count && cachedParts_.size() >= count)) {
    cachedParts_.assign(parts.begin(), parts.begin() + count);
    cacheValid_ = true;
  }
  return 0;
}

bool DestTree::MakeDirs(const std::vector<std::string>& parts, size_t count, std::string* error) {
  return DirHandle(parts, count, true, error) != -1;
}

bool DestTree::NewFile(const std::vector<std::string>& parts, int, OutputFile* out,
                          std::string* error) {
  if (DirHandle(parts, parts.size() - 1, true, error) == -1) return false;
  std::wstring path = DestPath(nativeRoot_, parts);
  for (int attempt = 0;; ++attempt) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      out->handle_ = reinterpret_cast<intptr_t>(file);
      return true;
    }
    DWORD code = GetLastError();
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES) {
      if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        *error = "a directory is in the way";
        return false;
      }
      // A read-only file from an earlier archive is replaced like any other.
      if (attempt == 0 && (attributes & FILE_ATTRIBUTE_READONLY) &&
          SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL)) {
        continue;
      }
    }
    SetLastError(code);
    return Fail(error);
  }
}

void DestTree::RemoveFile(const std::vector<std::string>& parts) {
  DeleteFileW(DestPath(nativeRoot_, parts).c_str());
}

bool DestTree::SetDirMode(const std::vector<std::string>&, int, std::string*) { return true; }

bool DestTree::MakeLink(const std::vector<std::string>&, const std::string&, std::string* error) {
  *error = "symbolic links are not supported";
  return false;
}

std::vector<std::string> Utf8Args(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));
  return args;
}

}  // namespace unzip

#else
// ---------------------------------------------------------------------------
// Linux: every path below the destination is walked one directory
// descriptor at a time with O_NOFOLLOW, so a symbolic link in the tree (made
// by an earlier archive, say) is never followed.

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

}  // namespace

bool WindowsNameRules() { return false; }
bool UnixFileModes() { return true; }
char NativeSeparator() { return '/'; }

std::string DecodeEntryName(std::string_view raw, bool) { return std::string(raw); }

bool ListFiles(const std::string& dir, std::vector<std::string>* names, std::string* error) {
  DIR* stream = opendir(dir.empty() ? "." : dir.c_str());
  if (!stream) return Fail(error);
  while (const dirent* item = readdir(stream)) {
    bool regular = item->d_type == DT_REG;
    if (item->d_type == DT_LNK || item->d_type == DT_UNKNOWN) {
      struct stat info;
      regular = fstatat(dirfd(stream), item->d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
    }
    if (regular) names->push_back(item->d_name);
  }
  closedir(stream);
  return true;
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

ArchiveFile::~ArchiveFile() {
  if (handle_ != -1) close(static_cast<int>(handle_));
}

bool ArchiveFile::Open(const std::string& path, std::string* error) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Fail(error);
  handle_ = fd;
  struct stat info;
  if (fstat(fd, &info) != 0) return Fail(error);
  if (!S_ISREG(info.st_mode)) {
    *error = "not a regular file";
    return false;
  }
  size_ = static_cast<uint64_t>(info.st_size);
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

bool ArchiveFile::ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got,
                         std::string* error) {
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

DestTree::~DestTree() {
  if (cachedHandle_ != -1 && cachedHandle_ != rootHandle_) close(static_cast<int>(cachedHandle_));
  if (rootHandle_ != -1) close(static_cast<int>(rootHandle_));
}

bool DestTree::Open(const std::string& root, std::string* error) {
  root_ = root;
  std::string path = root.empty() ? "." : root;
  // Create the missing levels; the root itself may be reached through links.
  for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
    mkdir(path.substr(0, at).c_str(), 0777);
  }
  if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return Fail(error);
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Fail(error);
  rootHandle_ = fd;
  return true;
}

intptr_t DestTree::DirHandle(const std::vector<std::string>& parts, size_t count, bool create,
                             std::string* error) {
  if (count == 0) return rootHandle_;
  size_t known = cacheValid_ ? SharedPrefix(cachedParts_, parts, count) : 0;
  if (known == count && cachedParts_.size() == count) return cachedHandle_;
  // Walk on from the cached directory when it lies on the way.
  bool fromCache = cacheValid_ && known == cachedParts_.size();
  int fd = fromCache ? static_cast<int>(cachedHandle_) : static_cast<int>(rootHandle_);
  bool owned = false;
  for (size_t i = fromCache ? known : 0; i < count; ++i) {
    const char* name = parts[i].c_str();
    int next = openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT && create) {
      if (mkdirat(fd, name, 0777) != 0 && errno != EEXIST) {
        Fail(error);
        if (owned) close(fd);
        return -1;
      }
      next = openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (next < 0) {
      *error = WalkError(errno);
      if (owned) close(fd);
      return -1;
    }
    if (owned) close(fd);
    fd = next;
    owned = true;
  }
  if (cachedHandle_ != -1 && cachedHandle_ != rootHandle_) close(static_cast<int>(cachedHandle_));
  cachedParts_.assign(parts.begin(), parts.begin() + count);
  cachedHandle_ = fd;
  cacheValid_ = true;
  return fd;
}

bool DestTree::MakeDirs(const std::vector<std::string>& parts, size_t count, std::string* error) {
  return DirHandle(parts, count, true, error) != -1;
}

bool DestTree::NewFile(const std::vector<std::string>& parts, int mode, OutputFile* out,
                          std::string* error) {
  intptr_t dir = DirHandle(parts, parts.size() - 1, true, error);
  if (dir == -1) return false;
  const char* name = parts.back().c_str();
  // Always a new file: an old one may be read-only, busy, or a link (hard
  // or symbolic) whose other end must not change.
  if (unlinkat(static_cast<int>(dir), name, 0) != 0 && errno != ENOENT) {
    *error = errno == EISDIR ? "a directory is in the way" : std::strerror(errno);
    return false;
  }
  int fd = openat(static_cast<int>(dir), name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  mode >= 0 ? 0600 : 0666);
  if (fd < 0) return Fail(error);
  out->handle_ = fd;
  out->mode_ = mode;
  return true;
}

void DestTree::RemoveFile(const std::vector<std::string>& parts) {
  std::string ignored;
  intptr_t dir = DirHandle(parts, parts.size() - 1, false, &ignored);
  if (dir != -1) unlinkat(static_cast<int>(dir), parts.back().c_str(), 0);
}

bool DestTree::SetDirMode(const std::vector<std::string>& parts, int mode, std::string* error) {
  intptr_t dir = DirHandle(parts, parts.size(), false, error);
  if (dir == -1) return false;
  return fchmod(static_cast<int>(dir), static_cast<mode_t>(mode)) == 0 || Fail(error);
}

bool DestTree::MakeLink(const std::vector<std::string>& parts, const std::string& target,
                        std::string* error) {
  intptr_t dir = DirHandle(parts, parts.size() - 1, true, error);
  if (dir == -1) return false;
  const char* name = parts.back().c_str();
  if (unlinkat(static_cast<int>(dir), name, 0) != 0 && errno != ENOENT) {
    *error = errno == EISDIR ? "a directory is in the way" : std::strerror(errno);
    return false;
  }
  return symlinkat(target.c_str(), static_cast<int>(dir), name) == 0 || Fail(error);
}

}  // namespace unzip

#endif

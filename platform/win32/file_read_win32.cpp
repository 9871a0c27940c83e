// Reading regular files and appending to logs on Windows.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>

#include "platform/platform.h"
#include "platform/shared/bounded_read.h"

namespace platform {

namespace {

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  HANDLE release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }

 private:
  HANDLE h_;
};

void Tell(FileReadError* error, FileReadError what) {
  if (error) *error = what;
}

// A file on a disk: pipes, consoles and other devices are not files to read.
bool IsDiskFile(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
         !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Handles made without security attributes are never inherited.
HANDLE OpenShared(const std::string& path, DWORD access, DWORD disposition) {
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::optional<std::string> ReadRegularFile(const std::string& path, size_t maxBytes, FileReadError* error) {
  Handle file(path.empty() ? INVALID_HANDLE_VALUE : OpenShared(path, GENERIC_READ, OPEN_EXISTING));
  if (file.get() == INVALID_HANDLE_VALUE) {
    const DWORD why = path.empty() ? ERROR_FILE_NOT_FOUND : GetLastError();
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
    if (why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND) {
      Tell(error, FileReadError::kMissing);
    } else if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      Tell(error, FileReadError::kNotRegular);
    } else {
      Tell(error, FileReadError::kUnreadable);
    }
    return std::nullopt;
  }
  if (!IsDiskFile(file.get())) {
    Tell(error, FileReadError::kNotRegular);
    return std::nullopt;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) {
    Tell(error, FileReadError::kUnreadable);
    return std::nullopt;
  }
  return ReadBounded(static_cast<uint64_t>(size.QuadPart), maxBytes,
                     [&](char* buffer, size_t n) -> long long {
                       DWORD got = 0;
                       const DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
                       return ReadFile(file.get(), buffer, want, &got, nullptr) ? got : -1;
                     },
                     error);
}

std::FILE* OpenAppendFile(const std::string& path) {
  if (path.empty()) return nullptr;
  Handle file(OpenShared(path, FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS));
  if (file.get() == INVALID_HANDLE_VALUE || !IsDiskFile(file.get())) return nullptr;
  // Text mode, as the log has always been written: line ends become CR LF.
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_APPEND | _O_TEXT);
  if (fd < 0) return nullptr;
  file.release();
  std::FILE* stream = _fdopen(fd, "a");
  if (!stream) _close(fd);
  return stream;
}

}  // namespace platform

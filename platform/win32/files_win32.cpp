// Files, directories and profile files on Windows.
#include <windows.h>

#include <vector>

#include "platform/platform.h"

namespace platform {

const char* const kForbiddenTempChars = "/*?<>:|;";

size_t AbsoluteRootLength(const std::string& path) {
  if (path.size() >= 3 && IsCharAlphaA(path[0]) && path[1] == ':' && path[2] == '\\') return 3;
  return !path.empty() && path[0] == '\\' ? 1 : 0;
}

bool PathExists(const std::string& path) {
  return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path) {
  DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CanReadWrite(const std::string& path) {
  DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  // The read-only attribute means nothing on a directory; a file with it set
  // cannot be written.
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) || !(attributes & FILE_ATTRIBUTE_READONLY);
}

bool CreateDir(const std::string& path, bool) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

std::optional<std::string> CurrentDir() {
  DWORD n = GetCurrentDirectoryA(0, nullptr);
  if (n == 0) return std::nullopt;
  std::vector<char> buffer(n + 1);
  DWORD got = GetCurrentDirectoryA(n + 1, buffer.data());
  if (got == 0 || got > n) return std::nullopt;
  return std::string(buffer.data(), got);
}

bool SetCurrentDir(const std::string& path) { return SetCurrentDirectoryA(path.c_str()) != 0; }

std::optional<std::string> FullPath(const std::string& path) {
  char buffer[1024];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  if (n == 0) return std::nullopt;
  if (n >= sizeof buffer) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return std::nullopt;
  }
  return std::string(buffer, n);
}

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, const std::string& path,
                              size_t maxChars) {
  // The profile service works on MAX_PATH buffers; a longer name overruns
  // them (seen crashing), and no such file can be opened anyway.
  if (path.size() >= MAX_PATH) return defaultValue.substr(0, maxChars);
  std::vector<char> buffer(maxChars + 1);
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(),
                                     buffer.data(), static_cast<DWORD>(buffer.size()), path.c_str());
  return std::string(buffer.data(), n);
}

}  // namespace platform

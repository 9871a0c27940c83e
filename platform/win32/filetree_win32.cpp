// Directory trees on Windows.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

std::optional<std::vector<DirEntry>> ListDirectory(const std::string& dir) {
  WIN32_FIND_DATAA data;
  std::string pattern = dir;
  if (!pattern.empty() && pattern.back() != '\\') pattern += '\\';
  pattern += '*';
  HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<DirEntry> entries;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    entries.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return entries;
}

}  // namespace platform

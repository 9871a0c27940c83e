// Directory trees on Windows.
#include <windows.h>

#include "platform/platform.h"

namespace platform {


std::optional<std::vector<DirEntry>> ListDirectory(const std::string& dir) {
  WIN32_FIND_DATAA data;
  std::string pattern = dir;
  if (!pattern.empty() && pattern.back() != '\\') pattern += '\\';
  pattern += "*.*";
  HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<DirEntry> entries;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    entries.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return entries;
}

bool CopyFile(const std::string& src, const std::string& dst) {
  return CopyFileA(src.c_str(), dst.c_str(), FALSE) != 0;
}

bool CopyFileWritable(const std::string& src, const std::string& dst) {
  if (!CopyFile(src, dst)) return false;
  ClearReadOnly(dst);
  return true;
}

bool ClearReadOnly(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (!(attributes & FILE_ATTRIBUTE_READONLY)) return true;
  return SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY) != 0;
}

bool DeleteFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  // A directory link or junction goes with RemoveDirectoryA, which leaves
  // its target alone.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return RemoveDirectoryA(path.c_str()) != 0;
  }
  return DeleteFileA(path.c_str()) != 0;
}

bool RemoveDir(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

DiskSpaceOverrides& DiskSpaceTestOverrides() {
  static DiskSpaceOverrides overrides;
  return overrides;
}

std::optional<DiskSpace> QueryDiskSpace(const std::string& dir) {
  if (auto& fake = DiskSpaceTestOverrides().query) return fake(dir);
  // Looked up rather than linked, so the launcher still starts where kernel32
  // lacks the extended query.
  using ExQuery = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  if (!kernel) return std::nullopt;
  auto query = reinterpret_cast<ExQuery>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "GetDiskFreeSpaceExA")));
  if (!query) return std::nullopt;
  ULARGE_INTEGER available, total, totalFree;
  if (!query(dir.c_str(), &available, &total, &totalFree)) return std::nullopt;
  return DiskSpace{total.QuadPart, available.QuadPart};
}

std::optional<uint64_t> QueryRootFreeBytes(const std::string& path) {
  if (auto& fake = DiskSpaceTestOverrides().rootFreeBytes) return fake(path);
  std::string root = path.substr(0, 3);
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &clusters)) {
    return std::nullopt;
  }
  return uint64_t{sectorsPerCluster} * bytesPerSector * freeClusters;
}

}  // namespace platform

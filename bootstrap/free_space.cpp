#include "bootstrap/free_space.h"

#include "platform/platform.h"

namespace bootstrap {

int GetFreeDiskSpace(const std::string& dir, uint64_t& totalBytes, uint64_t& freeBytes) {
  std::optional<platform::DiskSpace> space = platform::QueryDiskSpace(dir);
  if (!space) return 0;
  totalBytes = space->totalBytes;
  freeBytes = space->availableBytes;
  return 1;
}

uint64_t FreeKilobytes(const std::string& scratchDir) {
  uint64_t total = 0;
  uint64_t free = 0;
  if (GetFreeDiskSpace(scratchDir, total, free)) return free / 1024;
  return platform::QueryRootFreeBytes(scratchDir).value_or(0) / 1024;
}

int HasFreeSpace(const std::string& scratchDir, int64_t requiredKilobytes) {
  if (requiredKilobytes <= 0) return 1;
  return FreeKilobytes(scratchDir) >= static_cast<uint64_t>(requiredKilobytes) ? 1 : 0;
}

}  // namespace bootstrap

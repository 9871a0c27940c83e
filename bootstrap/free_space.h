// The free space of the scratch directory's volume, and the test whether the
// bootstrap fits. Figures are 64-bit: volumes of 2 TiB and more are common.
#pragma once

#include <cstdint>
#include <string>

namespace bootstrap {

// The volume holding `dir`: 1 with its total bytes and the free bytes
// available to the caller; 0 when the extended query is unavailable or
// fails, the outputs untouched.
int GetFreeDiskSpace(const std::string& dir, uint64_t& totalBytes, uint64_t& freeBytes);
// Free kilobytes for the scratch directory: the extended query, else the
// older query on the root of the path's volume, else 0.
uint64_t FreeKilobytes(const std::string& scratchDir);
// 1 when the volume of `scratchDir` has at least `requiredKilobytes` free
// (equal is enough), else 0.
int HasFreeSpace(const std::string& scratchDir, int64_t requiredKilobytes);

}  // namespace bootstrap

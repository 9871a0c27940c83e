// The Linux system facts read from text the kernel provides, kept apart from
// the file reading so that tests can try them on any input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Major and minor number of a kernel release such as "6.1.0-18-amd64"
// (missing numbers are 0).
void KernelVersionFromRelease(const std::string& release, int& major, int& minor);

// MHz from the kHz text of cpuinfo_max_freq; nullopt when it holds no number.
std::optional<uint32_t> MhzFromMaxFreqKhz(const std::string& text);

// MHz (truncated) of the first "cpu MHz" line of /proc/cpuinfo; nullopt when
// there is none.
std::optional<uint32_t> MhzFromCpuinfo(const std::string& text);

// The swap areas of /proc/swaps (header line, then "Filename Type Size Used
// Priority" with the size in KiB) as a paging-file multi-string: one
// "swap:<path> 0 <size MB>" string per area, each ending in a zero byte, and a
// final zero byte.
std::string PagingFilesFromProcSwaps(const std::string& text);

}  // namespace platform

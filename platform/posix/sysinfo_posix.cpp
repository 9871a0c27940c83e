// System facts on Linux: the kernel release, the display announced in the
// environment, cpufreq or /proc/cpuinfo, /proc/swaps and sysinfo.
#include <sys/sysinfo.h>
#include <sys/utsname.h>

#include "platform/platform.h"
#include "platform/shared/sysinfo_text.h"

namespace platform {

const char* const kOsFamilyName = "Linux";

namespace {

// The kernel's own files; the bound only guards against a runaway one.
constexpr size_t kMaxSystemFileBytes = size_t(4) << 20;

std::optional<std::string> ReadTextFile(const std::string& path) {
  return ReadRegularFile(path, kMaxSystemFileBytes);
}

}  // namespace

namespace detail {

OsVersion QueryOsVersion() {
  OsVersion version;
  struct utsname names;
  if (uname(&names) == 0) KernelVersionFromRelease(names.release, version.major, version.minor);
  return version;
}

int QueryDisplayColorBits() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    std::optional<std::string> value = GetEnv(name);
    if (value && !value->empty()) return 24;
  }
  return 0;
}

std::optional<uint32_t> QueryProcessorMhz() {
  if (auto khz = ReadTextFile("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq")) {
    if (auto mhz = MhzFromMaxFreqKhz(*khz)) return mhz;
  }
  if (auto cpuinfo = ReadTextFile("/proc/cpuinfo")) return MhzFromCpuinfo(*cpuinfo);
  return std::nullopt;
}

long QueryPagingFilesRaw(std::string& data, size_t maxBytes) {
  std::optional<std::string> swaps = ReadTextFile("/proc/swaps");
  if (!swaps) return kRegNotFound;
  std::string multi = PagingFilesFromProcSwaps(*swaps);
  if (multi.size() > maxBytes) return kRegMoreData;
  data = multi;
  return kRegOk;
}

uint64_t QueryAvailablePageFileBytes() {
  struct sysinfo info;
  if (sysinfo(&info) != 0) return 0;
  return uint64_t(info.freeswap) * info.mem_unit;
}

}  // namespace detail

}  // namespace platform

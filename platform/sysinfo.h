// System facts that the prerequisite checks query. Queries only: nothing
// here changes the machine. Each fact can be replaced in unit tests through
// TestOverrides().sysInfo; production code never sets it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The operating-system family as the prerequisite data names it: the key of
// the certified versions and the first part of the version-specific section
// names ("Windows-6.1-required", "Linux-6.1-required").
extern const char* const kOsFamilyName;  // "Windows" or "Linux"

struct OsVersion {
  int major = 0;
  int minor = 0;
  std::string servicePack;  // e.g. "Service Pack 6"; empty when none
};

// Windows: GetVersionExA. Linux: major.minor of the kernel release (uname),
// no service pack. Zeros when the system does not tell.
OsVersion GetOsVersion();

// True when the key below HKEY_LOCAL_MACHINE opens for query (the registry
// of platform.h on both builds).
bool MachineKeyExists(const std::string& subKey);

// Bits per pixel of the screen. Windows: GetDeviceCaps(BITSPIXEL) of a memory
// context compatible with the screen. Linux: 24 when DISPLAY or
// WAYLAND_DISPLAY announces a display, else 0.
int DisplayColorBits();

// Processor speed in MHz; nullopt when it cannot be read. Windows: "~MHz" of
// HARDWARE\DESCRIPTION\System\CentralProcessor\0. Linux: cpuinfo_max_freq of
// cpu0 (kHz / 1000), else the first "cpu MHz" of /proc/cpuinfo.
std::optional<uint32_t> ProcessorMhz();

// The paging files as the multi-string of the "PagingFiles" registry value
// (Session Manager\Memory Management), its terminating zeros included, into
// `data`. Returns a registry status of platform.h: kRegOk; kRegMoreData when
// the data exceeds `maxBytes` (`data` untouched); another error number when
// the key or value cannot be read. Linux: the areas of /proc/swaps, one
// "swap:<path> 0 <size MB>" string each (the "swap:" prefix stands where a
// Windows entry has its drive letter).
long QueryPagingFiles(std::string& data, size_t maxBytes);

// Free page-file bytes: ullAvailPageFile of GlobalMemoryStatusEx; Linux: the
// free swap of sysinfo. 0 when unknown.
uint64_t AvailablePageFileBytes();

// ---------------------------------------------------------------------------
// Test seam: a set field replaces the real fact.

struct PagingFilesFact {
  long status = 0;   // a registry status; kRegMoreData is also derived from `data`'s size
  std::string data;  // the multi-string
};

struct SysInfoOverrides {
  std::optional<OsVersion> osVersion;
  // Keys that exist below HKEY_LOCAL_MACHINE (compared without regard to case).
  std::optional<std::vector<std::string>> machineKeys;
  std::optional<int> displayColorBits;
  // Set to an empty optional for "cannot be read".
  std::optional<std::optional<uint32_t>> processorMhz;
  std::optional<PagingFilesFact> pagingFiles;
  std::optional<uint64_t> availablePageFileBytes;
};

// The real queries behind the functions above, one implementation per build.
namespace detail {
OsVersion QueryOsVersion();
int QueryDisplayColorBits();
std::optional<uint32_t> QueryProcessorMhz();
long QueryPagingFilesRaw(std::string& data, size_t maxBytes);
uint64_t QueryAvailablePageFileBytes();
}  // namespace detail

}  // namespace platform

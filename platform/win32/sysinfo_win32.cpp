// System facts on Windows: version, GDI, registry and memory status.
#include <windows.h>

#include <cstring>

#include "platform/platform.h"

namespace platform {

const char* const kOsFamilyName = "Windows";

namespace detail {

OsVersion QueryOsVersion() {
  OsVersion version;
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;  // 148: the plain structure, not the Ex one
  if (GetVersionExA(&info)) {
    version.major = int(info.dwMajorVersion);
    version.minor = int(info.dwMinorVersion);
    version.servicePack.assign(info.szCSDVersion, strnlen(info.szCSDVersion, sizeof info.szCSDVersion));
  }
  return version;
}

int QueryDisplayColorBits() {
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return 0;
  int bits = GetDeviceCaps(dc, BITSPIXEL);
  DeleteDC(dc);
  return bits;
}

std::optional<uint32_t> QueryProcessorMhz() {
  RegKey key;
  if (RegOpenKey("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", RegAccess::Query, key) != kRegOk) {
    return std::nullopt;
  }
  std::string data;
  if (RegQueryValue(key, "~MHz", data, sizeof(DWORD)) != kRegOk) return std::nullopt;
  DWORD mhz = 0;
  memcpy(&mhz, data.data(), data.size() < sizeof mhz ? data.size() : sizeof mhz);
  return uint32_t(mhz);
}

long QueryPagingFilesRaw(std::string& data, size_t maxBytes) {
  RegKey key;
  long status = RegOpenKey("SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management",
                           RegAccess::Query, key);
  if (status != kRegOk) return status;
  return RegQueryValue(key, "PagingFiles", data, maxBytes);
}

uint64_t QueryAvailablePageFileBytes() {
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof status;  // 64
  if (!GlobalMemoryStatusEx(&status)) return 0;
  return status.ullAvailPageFile;
}

}  // namespace detail

}  // namespace platform

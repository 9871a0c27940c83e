// The system facts as the launcher sees them: a fact a unit test has set
// wins over the real query.
#include <cctype>

#include "platform/platform.h"

namespace platform {

namespace {

bool SameKeyName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

OsVersion GetOsVersion() {
  if (const auto& fake = TestOverrides().sysInfo.osVersion) return *fake;
  return detail::QueryOsVersion();
}

bool MachineKeyExists(const std::string& subKey) {
  if (const auto& fake = TestOverrides().sysInfo.machineKeys) {
    for (const std::string& key : *fake) {
      if (SameKeyName(key, subKey)) return true;
    }
    return false;
  }
  RegKey key;
  return RegOpenKey(subKey, RegAccess::Query, key) == kRegOk;
}

int DisplayColorBits() {
  if (const auto& fake = TestOverrides().sysInfo.displayColorBits) return *fake;
  return detail::QueryDisplayColorBits();
}

std::optional<uint32_t> ProcessorMhz() {
  if (const auto& fake = TestOverrides().sysInfo.processorMhz) return *fake;
  return detail::QueryProcessorMhz();
}

long QueryPagingFiles(std::string& data, size_t maxBytes) {
  if (const auto& fake = TestOverrides().sysInfo.pagingFiles) {
    if (fake->status != kRegOk) return fake->status;
    if (fake->data.size() > maxBytes) return kRegMoreData;
    data = fake->data;
    return kRegOk;
  }
  return detail::QueryPagingFilesRaw(data, maxBytes);
}

uint64_t AvailablePageFileBytes() {
  if (const auto& fake = TestOverrides().sysInfo.availablePageFileBytes) return *fake;
  return detail::QueryAvailablePageFileBytes();
}

}  // namespace platform

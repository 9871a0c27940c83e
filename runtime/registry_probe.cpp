#include "runtime/registry_probe.h"

#include "platform/platform.h"

namespace runtime {

namespace {
constexpr const char* kProbeParentKey = "Software";
constexpr const char* kProbeName = "quelta_qti_tmp";
constexpr const char* kProbeValueData = "temp value";
constexpr const char* kProbeKeyClass = "temp key";
}  // namespace

int ProbeRegistryWrite() {
  platform::RegKey parent;
  if (platform::RegOpenKey(kProbeParentKey, platform::RegAccess::All, parent) != platform::kRegOk) {
    return 0;
  }
  if (platform::RegSetStringValue(parent, kProbeName, kProbeValueData) != platform::kRegOk) return 0;
  platform::RegDeleteValue(parent, kProbeName);
  platform::RegKey probe;
  if (platform::RegCreateKey(parent, kProbeName, kProbeKeyClass, probe) != platform::kRegOk) return 0;
  platform::RegDeleteKey(parent, kProbeName);
  return 1;
}

}  // namespace runtime

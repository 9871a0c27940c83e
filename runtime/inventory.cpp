#include "runtime/inventory.h"

#include "common/paths.h"
#include "platform/platform.h"

namespace runtime {

namespace {
constexpr size_t kMaxInventoryBytes = 1024;
}  // namespace

std::string ReadInventoryLocation() {
  platform::RegKey key;
  // A 32-bit launcher on 64-bit Windows would read the WOW6432Node view twice.
  if (platform::RegOpenKey("SOFTWARE\\QUELTA", platform::RegAccess::Query, key, platform::RegView::Bits64) !=
          platform::kRegOk &&
      platform::RegOpenKey("SOFTWARE\\WOW6432NODE\\QUELTA", platform::RegAccess::Query, key) !=
          platform::kRegOk) {
    return {};
  }
  std::string data;
  if (platform::RegQueryValue(key, "inst_loc", data, kMaxInventoryBytes) != platform::kRegOk) return {};
  size_t nul = data.find('\0');
  if (nul != std::string::npos) data.resize(nul);
  // A value written by hand into the Linux store usually ends in a newline.
  while (!data.empty() && (data.back() == '\n' || data.back() == '\r')) data.pop_back();
  for (unsigned char c : data) {
    if (c < 0x20) return {};  // binary data is no location
  }
  return data;
}

std::string FixedLogDir(const std::string& logBase) {
  const std::string base = logBase.empty() ? ReadInventoryLocation() : logBase;
  return base.empty() ? std::string() : common::JoinExactly(base, "logs");
}

}  // namespace runtime

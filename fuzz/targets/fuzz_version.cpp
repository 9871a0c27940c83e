// Version fields and version comparison on any texts: a field parses only as
// blanks, digits and blanks within the 32-bit range, and the comparison is a
// strict order's "less" (never a < a, never both a < b and b < a).
#include <cstdint>
#include <string>
#include <string_view>

#include "bootstrap/tree_ops.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void CheckField(std::string_view text) {
  int32_t value = -1;
  if (!bootstrap::ParseVersionNumber(text, value)) {
    Check(value == -1);  // untouched on failure
    return;
  }
  Check(value >= 0);
  std::string digits;
  for (char c : text) {
    if (c >= '0' && c <= '9') digits += c;
  }
  size_t first = digits.find_first_not_of('0');
  digits = first == std::string::npos ? "0" : digits.substr(first);
  Check(digits == std::to_string(value));
}

}  // namespace

// The input is two versions separated by the first NUL byte.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t nul = input.find('\0');
  std::string_view a = input.substr(0, nul);
  std::string_view b = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);
  CheckField(a);
  CheckField(b);
  for (int fields : {0, 1, 3, bootstrap::kVersionFields, 100}) {
    Check(bootstrap::VersionLess(a, a, fields) == 0);
    Check(bootstrap::VersionLess(b, b, fields) == 0);
    Check(!(bootstrap::VersionLess(a, b, fields) && bootstrap::VersionLess(b, a, fields)));
  }
  Check(!bootstrap::VersionLess(a, bootstrap::kLowestVersion, bootstrap::kVersionFields) ||
        !bootstrap::VersionLess(bootstrap::kLowestVersion, a, bootstrap::kVersionFields));
  return 0;
}

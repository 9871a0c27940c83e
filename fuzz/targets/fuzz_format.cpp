// Template formatting: any template with any arguments renders safely.
#include <string>

#include "messages/format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string tmpl(reinterpret_cast<const char*>(data), size);
  std::string out = messages::FormatText(tmpl, {"text", 42, -7, "x"});
  out = messages::FormatText(tmpl, {});
  out = messages::FormatText(tmpl, {1}, 79);
  if (out.size() > 79) __builtin_trap();
  return 0;
}

// The INI reader on any text, for present and absent sections and keys.
#include <string>

#include "platform/shared/ini_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string content(reinterpret_cast<const char*>(data), size);
  for (const char* section : {"Quelta", "quelta", "", "Certified Versions"}) {
    for (const char* key : {"JRE_LOCATION", "bootstrap", "", "Windows"}) {
      std::string value = platform::IniReadString(content, section, key, "default", 1023);
      if (value.size() > 1023) __builtin_trap();
    }
  }
  return 0;
}

#include "platform/platform.h"
#include "platform/shared/ini_reader.h"

namespace platform {

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, const std::string& path,
                              size_t maxChars) {
  return IniReadFileString(path, section, key, defaultValue, maxChars);
}

}  // namespace platform

// Catalogue files: any bytes load without a crash, and lookups of what was
// loaded find it.
#include <string>

#include "messages/catalogue.h"
#include "platform/platform.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::TestOverrides().stderrSink = [](const std::string&) {};
  const std::string path = fuzz_support::WriteInput("cons.nls", data, size);
  messages::MessageMap map;
  messages::LoadCatalogueFile(path, map);
  std::string text(reinterpret_cast<const char*>(data), size);
  size_t eq = text.find('=');
  size_t nul = text.find('\0');
  if (eq != std::string::npos && eq < nul && eq < messages::kMaxRecordBytes && nul <= messages::kMaxRecordBytes) {
    if (!map.Find(text.substr(0, eq))) __builtin_trap();
  }
  return 0;
}

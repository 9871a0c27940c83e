// Catalogue files: any bytes load without a crash, and lookups of what was
// loaded find it.
#include <cstdio>
#include <string>
#include <unistd.h>

#include "messages/catalogue.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/qel_fuzz_catalogue_" + std::to_string(getpid()) + ".nls";
  platform::TestOverrides().stderrSink = [](const std::string&) {};
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
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

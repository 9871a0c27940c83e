// Helpers shared by the fuzz targets: a private scratch area (memory-backed
// where the system has one) and writing an input to a file there.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz_support {

// A directory of this process's own, made on first use and removed when
// the process ends normally (after a crash it stays, for a look).
inline const std::string& ScratchArea() {
  static const std::string area = [] {
    std::string pattern = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    pattern += "/qel_fuzz_XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern;
  }();
  static const bool cleanup = [] {
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(ScratchArea(), ec);
    });
    return true;
  }();
  (void)cleanup;
  return area;
}

// Writes the input to `name` in the scratch area and returns its path.
inline std::string WriteInput(const std::string& name, const uint8_t* data, size_t size) {
  std::string path = ScratchArea() + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}

}  // namespace fuzz_support

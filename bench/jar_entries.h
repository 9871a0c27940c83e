// The entries of the archives bench/make_inputs.py writes (stored or
// deflated, no zip64), mapped into memory: what the drivers that measure
// floors read. No checks: the inputs are our own.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace bench {

struct JarEntry {
  std::string name;
  const unsigned char* data;  // the stored bytes
  uint32_t compressedSize, size, crc;
  uint16_t method;  // 0 stored, 8 deflated
};

[[noreturn]] inline void Die(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s %s: %s\n", what, detail.c_str(), std::strerror(errno));
  std::exit(2);
}

inline uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Get32(const unsigned char* p) { return Get16(p) | static_cast<uint32_t>(Get16(p + 2)) << 16; }

// Appends the archive's entries in directory order; the mapping stays for
// the life of the process.
inline void ReadJar(const std::string& path, std::vector<JarEntry>* entries) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) Die("cannot open", path);
  struct stat info;
  fstat(fd, &info);
  auto* base = static_cast<const unsigned char*>(
      mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0));
  close(fd);
  if (base == MAP_FAILED) Die("cannot map", path);
  const unsigned char* end = base + info.st_size - 22;
  while (end > base && Get32(end) != 0x06054b50) --end;
  const unsigned char* p = base + Get32(end + 16);
  for (unsigned i = Get16(end + 10); i > 0; --i) {
    const unsigned char* local = base + Get32(p + 42);
    JarEntry entry;
    entry.name.assign(reinterpret_cast<const char*>(p + 46), Get16(p + 28));
    entry.method = Get16(p + 10);
    entry.crc = Get32(p + 16);
    entry.compressedSize = Get32(p + 20);
    entry.size = Get32(p + 24);
    entry.data = local + 30 + Get16(local + 26) + Get16(local + 28);
    entries->push_back(std::move(entry));
    p += 46 + Get16(p + 28) + Get16(p + 30) + Get16(p + 32);
  }
}

}  // namespace bench

// zlib against libdeflate on the entries of some archives, in memory, on one
// core: the measurement behind the archive expander's choice of inflater.
//
//   qel_bench_inflate [-n RUNS] ARCHIVE...
//
// Inflates every deflated entry RUNS times (default 7) with each library into
// a buffer of the entry's size, with the CRC-32 of the result as the
// expander computes it, and prints the medians:
//   zlib MS libdeflate MS ratio LIBDEFLATE/ZLIB entries N bytes B
#include <libdeflate.h>
#include <time.h>
#include <zlib.h>

#include <algorithm>
#include <climits>

#include "jar_entries.h"

namespace {

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int arg = 1, runs = 7;
  if (argc > 2 && std::strcmp(argv[1], "-n") == 0) {
    runs = std::max(1, std::atoi(argv[2]));
    arg = 3;
  }
  std::vector<bench::JarEntry> entries;
  for (; arg < argc; ++arg) bench::ReadJar(argv[arg], &entries);
  entries.erase(std::remove_if(entries.begin(), entries.end(), [](const bench::JarEntry& e) { return e.method != 8; }),
                entries.end());
  uint64_t bytes = 0;
  size_t largest = 0;
  for (const bench::JarEntry& entry : entries) {
    bytes += entry.size;
    largest = std::max<size_t>(largest, entry.size);
  }
  std::vector<unsigned char> out(largest + 1);
  z_stream stream = {};
  inflateInit2(&stream, -MAX_WBITS);
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  std::vector<double> zlibMs, deflateMs;
  for (int run = 0; run < runs; ++run) {
    double start = Now();
    for (const bench::JarEntry& entry : entries) {
      inflateReset(&stream);
      stream.next_in = const_cast<Bytef*>(entry.data);
      stream.avail_in = entry.compressedSize;
      stream.next_out = out.data();
      stream.avail_out = static_cast<uInt>(out.size());
      if (inflate(&stream, Z_FINISH) != Z_STREAM_END || crc32(0, out.data(), entry.size) != entry.crc) {
        bench::Die("zlib failed on", entry.name);
      }
    }
    zlibMs.push_back(Now() - start);
    start = Now();
    for (const bench::JarEntry& entry : entries) {
      if (libdeflate_deflate_decompress(decompressor, entry.data, entry.compressedSize, out.data(), entry.size,
                                        nullptr) != LIBDEFLATE_SUCCESS ||
          libdeflate_crc32(0, out.data(), entry.size) != entry.crc) {
        bench::Die("libdeflate failed on", entry.name);
      }
    }
    deflateMs.push_back(Now() - start);
  }
  double z = Median(zlibMs), d = Median(deflateMs);
  std::printf("zlib %.3f libdeflate %.3f ratio %.3f entries %zu bytes %llu\n", z, d, d / z, entries.size(),
              static_cast<unsigned long long>(bytes));
  return 0;
}

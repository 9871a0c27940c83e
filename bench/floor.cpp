// The floor of an expansion: what the least a program must do costs here.
//
//   qel_bench_floor [--no-files] DEST ARCHIVE...
//
// Maps the archives, inflates every entry in memory (libdeflate) and, unless
// --no-files, creates the same directories and files below DEST with their
// contents, on as many threads as there are processors. No checks at all:
// no CRC, no names refused, no modes, no order between entries of one name.
#include <libdeflate.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

#include "jar_entries.h"

using bench::Die;
using bench::JarEntry;

int main(int argc, char** argv) {
  int arg = 1;
  const bool files = !(argc > 1 && std::strcmp(argv[1], "--no-files") == 0);
  if (!files) ++arg;
  if (argc - arg < 2) {
    std::fprintf(stderr, "usage: qel_bench_floor [--no-files] DEST ARCHIVE...\n");
    return 2;
  }
  const std::string dest = argv[arg++];
  std::vector<JarEntry> entries;
  for (; arg < argc; ++arg) bench::ReadJar(argv[arg], &entries);

  if (files) {
    std::set<std::string> dirs;
    for (const JarEntry& entry : entries) {
      for (size_t at = entry.name.find('/'); at != std::string::npos; at = entry.name.find('/', at + 1)) {
        dirs.insert(entry.name.substr(0, at));
      }
    }
    mkdir(dest.c_str(), 0777);
    for (const std::string& dir : dirs) mkdir((dest + "/" + dir).c_str(), 0777);  // parents sort first
  }

  std::atomic<size_t> next{0};
  auto work = [&] {
    libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
    std::vector<unsigned char> out;
    for (size_t i; (i = next++) < entries.size();) {
      const JarEntry& entry = entries[i];
      if (entry.name.empty() || entry.name.back() == '/') continue;
      const unsigned char* data = entry.data;
      if (entry.method == 8) {
        out.resize(std::max<size_t>(out.size(), entry.size));
        if (libdeflate_deflate_decompress(inflater, entry.data, entry.compressedSize, out.data(), entry.size,
                                          nullptr) != LIBDEFLATE_SUCCESS) {
          Die("cannot inflate", entry.name);
        }
        data = out.data();
      }
      if (!files) continue;
      int fd = open((dest + "/" + entry.name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0) Die("cannot create", entry.name);
      if (write(fd, data, entry.size) != static_cast<ssize_t>(entry.size)) Die("cannot write", entry.name);
      close(fd);
    }
    libdeflate_free_decompressor(inflater);
  };
  std::vector<std::thread> threads;
  for (unsigned i = 1; i < std::max(1u, std::thread::hardware_concurrency()); ++i) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
  return 0;
}

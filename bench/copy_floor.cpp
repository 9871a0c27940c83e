// The floor of a tree copy: the least a program must do to copy a tree here.
//
//   qel_bench_copy_floor SOURCE DEST
//
// Lists SOURCE (nftw, links not followed), makes its directories below DEST,
// then copies the regular files with copy_file_range on as many threads as
// there are processors. No checks at all: no modes, no links, no special
// files, no refusals, no care for what DEST already holds.
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

struct File {
  std::string relative;
  off_t size;
};

std::string g_source;
std::vector<std::string> g_dirs;
std::vector<File> g_files;

[[noreturn]] void Die(const char* what, const std::string& name) {
  std::fprintf(stderr, "qel_bench_copy_floor: %s: %s\n", what, name.c_str());
  std::exit(1);
}

int Collect(const char* path, const struct stat* info, int type, FTW*) {
  const std::string relative = std::string(path).substr(g_source.size());
  if (type == FTW_D) g_dirs.push_back(relative);
  else if (type == FTW_F && S_ISREG(info->st_mode)) g_files.push_back({relative, info->st_size});
  return 0;
}

void CopyOne(const std::string& dest, const File& file) {
  const int in = open((g_source + file.relative).c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) Die("cannot open", file.relative);
  const int out = open((dest + file.relative).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) Die("cannot create", file.relative);
  for (off_t left = file.size; left > 0;) {
    const ssize_t copied = copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(left), 0);
    if (copied <= 0) Die("cannot copy", file.relative);
    left -= copied;
  }
  close(in);
  close(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qel_bench_copy_floor SOURCE DEST\n");
    return 2;
  }
  g_source = argv[1];
  const std::string dest = argv[2];
  if (nftw(g_source.c_str(), Collect, 64, FTW_PHYS) != 0) Die("cannot list", g_source);
  for (const std::string& dir : g_dirs) mkdir((dest + dir).c_str(), 0777);  // nftw lists parents first

  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i; (i = next++) < g_files.size();) CopyOne(dest, g_files[i]);
  };
  std::vector<std::thread> threads;
  for (unsigned i = 1; i < std::max(1u, std::thread::hardware_concurrency()); ++i) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
  return 0;
}

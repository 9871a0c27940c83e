// Side-by-side timing of two commands for the benchmarks.
//
//   qel_bench_abtime [-w WARMUPS] [-n RUNS] [-p PREP] -- A ARGS... ::: B ARGS...
//
// Runs the commands alternately (A B A B ...), WARMUPS pairs first and
// uncounted, then RUNS pairs. PREP, when given, is a shell command run before
// every start of either command and not timed (it empties a destination, say).
// Each command runs without a shell, with standard input from /dev/null and
// its output discarded; a non-zero exit status stops the measurement.
// Prints one line per command and one for the comparison:
//   A median_ms min_ms max_ms maxrss_kib
//   B median_ms min_ms max_ms maxrss_kib
//   ratio median_A/median_B diff median_A-median_B
// maxrss is what wait4 reports: the child's peak or that of a child it waited
// for, whichever is larger (the kernel keeps the larger of the two).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Side {
  std::vector<char*> argv;
  std::vector<double> ms;
  long maxRssKib = 0;
};

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

[[noreturn]] void Die(const std::string& why) {
  std::fprintf(stderr, "abtime: %s\n", why.c_str());
  std::exit(2);
}

void RunPrep(const char* prep) {
  if (!prep) return;
  int status = std::system(prep);
  if (status != 0) Die(std::string("preparation failed: ") + prep);
}

// One timed start of `side`; the time is kept when `keep`.
void RunOnce(Side& side, bool keep) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (!std::getenv("ABTIME_STDERR")) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  const double start = Now();
  int error = posix_spawn(&pid, side.argv[0], &actions, nullptr, side.argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) Die(std::string("cannot start ") + side.argv[0] + ": " + std::strerror(error));
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) Die("wait4 failed");
  const double elapsed = Now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    Die(std::string(side.argv[0]) + " failed with status " + std::to_string(status));
  }
  if (keep) {
    side.ms.push_back(elapsed);
    side.maxRssKib = std::max(side.maxRssKib, usage.ru_maxrss);
  }
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void Print(const char* name, const Side& side) {
  std::printf("%s %.3f %.3f %.3f %ld\n", name, Median(side.ms),
              *std::min_element(side.ms.begin(), side.ms.end()),
              *std::max_element(side.ms.begin(), side.ms.end()), side.maxRssKib);
}

}  // namespace

int main(int argc, char** argv) {
  int warmups = 3;
  int runs = 11;
  const char* prep = nullptr;
  int i = 1;
  for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (i + 1 >= argc) Die(std::string("option needs a value: ") + argv[i]);
    if (!std::strcmp(argv[i], "-w")) {
      warmups = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "-n")) {
      runs = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "-p")) {
      prep = argv[++i];
    } else {
      Die(std::string("unknown option ") + argv[i]);
    }
  }
  Side a, b;
  Side* current = &a;
  for (++i; i < argc; ++i) {
    if (!std::strcmp(argv[i], ":::")) {
      current = &b;
    } else {
      current->argv.push_back(argv[i]);
    }
  }
  if (a.argv.empty() || b.argv.empty() || runs < 1) {
    Die("usage: qel_bench_abtime [-w N] [-n N] [-p PREP] -- A ARGS... ::: B ARGS...");
  }
  a.argv.push_back(nullptr);
  b.argv.push_back(nullptr);
  for (int k = 0; k < warmups + runs; ++k) {
    for (Side* side : {&a, &b}) {
      RunPrep(prep);
      RunOnce(*side, k >= warmups);
    }
  }
  Print("A", a);
  Print("B", b);
  const double ma = Median(a.ms), mb = Median(b.ms);
  std::printf("ratio %.3f diff %.3f\n", ma / mb, ma - mb);
  return 0;
}

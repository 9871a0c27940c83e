#include <dirent.h>
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cstdlib>
#include <utility>

#include "os.h"

namespace fakejava {

std::string ExecutablePath() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  return n > 0 && size_t(n) < sizeof buffer ? std::string(buffer, size_t(n)) : std::string();
}

bool RawCommandLine(std::string&) { return false; }

std::vector<std::string> Arguments(int argc, char** argv) { return {argv, argv + argc}; }

FILE* OpenFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

std::string CurrentDirectory() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

void SleepMilliseconds(int ms) {
  timespec t = {ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&t, &t) != 0) {
  }
}

std::string SignalDispositions() {
  std::string out;
  for (auto [sig, name] : {std::pair{SIGPIPE, "SIGPIPE"}, {SIGINT, "SIGINT"}, {SIGQUIT, "SIGQUIT"}}) {
    struct sigaction now = {};
    sigaction(sig, nullptr, &now);
    out += std::string(out.empty() ? "" : " ") + name + "=" +
           (now.sa_handler == SIG_IGN ? "ignored" : now.sa_handler == SIG_DFL ? "default" : "caught");
  }
  return out;
}

std::vector<std::string> InheritedFiles() {
  std::vector<std::string> files;
  DIR* fds = opendir("/proc/self/fd");
  if (!fds) return files;
  while (dirent* entry = readdir(fds)) {
    const int fd = atoi(entry->d_name);
    if (entry->d_name[0] == '.' || fd <= 2 || fd == dirfd(fds)) continue;
    char target[4096];
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    ssize_t n = readlink(link.c_str(), target, sizeof target);
    if (n > 0 && size_t(n) < sizeof target) files.emplace_back(target, size_t(n));
  }
  closedir(fds);
  return files;
}

int RenamePath(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace fakejava

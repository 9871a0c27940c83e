// The peak resident set of one program, its children left out:
//   qel_bench_peakrss PROGRAM ARGS...
// Runs the program traced (ptrace, exit events only; its children are not
// traced) and reads VmHWM from /proc/<pid>/status when it is about to end,
// while its memory still exists. Prints "<VmHWM kB> <status>"; the program's
// output goes where ours goes. wait4 and /usr/bin/time report instead the
// larger of the program's own peak and that of any child it waited for.
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

long ReadHwm(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qel_bench_peakrss PROGRAM ARGS...\n");
    return 2;
  }
  pid_t pid = fork();
  if (pid == 0) {
    ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    raise(SIGSTOP);
    execv(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);  // the SIGSTOP before exec
  ptrace(PTRACE_SETOPTIONS, pid, nullptr, reinterpret_cast<void*>(PTRACE_O_TRACEEXIT | PTRACE_O_TRACEEXEC));
  ptrace(PTRACE_CONT, pid, nullptr, nullptr);
  long hwm = -1;
  for (;;) {
    if (waitpid(pid, &status, 0) != pid) return 2;
    if (WIFEXITED(status) || WIFSIGNALED(status)) break;
    int signal = 0;
    if (WIFSTOPPED(status)) {
      const int event = status >> 16;
      if (event == PTRACE_EVENT_EXIT) {
        hwm = ReadHwm(pid);
      } else if (event == 0 && WSTOPSIG(status) != SIGTRAP) {
        signal = WSTOPSIG(status);  // the program's own signals go on to it
      }
    }
    ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void*>(static_cast<long>(signal)));
  }
  std::printf("%ld %d\n", hwm, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  return 0;
}

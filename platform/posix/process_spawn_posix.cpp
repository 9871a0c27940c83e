// Child processes on Linux: the Windows command line split into argv and
// executed without a shell.
#include <errno.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/shared/cmdline.h"

extern char** environ;

namespace platform {

const char* const kJavaConsoleExe = "java";
const char* const kJavaWindowedExe = "java";

FakeChildStarter& TestChildStarter() {
  static FakeChildStarter starter;
  return starter;
}

ChildProcess::~ChildProcess() { Close(); }

ChildProcess::ChildProcess(ChildProcess&& other) noexcept { *this = std::move(other); }

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    started_ = other.started_;
    ended_ = other.ended_;
    exitCode_ = other.exitCode_;
    other.handle_ = 0;
    other.started_ = false;
  }
  return *this;
}

// The child is not reaped here: one that is not waited for runs on, and the
// system collects it once the launcher has ended.
void ChildProcess::Close() {
  handle_ = 0;
  started_ = false;
}

namespace {

// What the exit status of a Windows process would be, as far as Linux keeps
// it: the low 8 bits, or 128 + signal for a child killed by a signal.
int DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return status;
}

// Where exec looks for the program: the name itself when it holds a "/",
// else each PATH directory in turn (an empty entry is the current directory).
std::vector<std::string> ProgramCandidates(const std::string& program) {
  if (program.find('/') != std::string::npos) return {program};
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/bin:/usr/bin";
  std::vector<std::string> candidates;
  size_t start = 0;
  for (;;) {
    size_t end = dirs.find(':', start);
    std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
    candidates.push_back(dir.empty() ? program : dir + "/" + program);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return candidates;
}

// Only async-signal-safe calls between fork and exec.
[[noreturn]] void ExecInChild(const std::vector<const char*>& candidates, char* const argv[],
                              bool detach, int errorPipe) {
  if (detach) setsid();
  int error = ENOENT;
  bool denied = false;
  for (const char* candidate : candidates) {
    execve(candidate, argv, environ);
    error = errno;
    if (error == EACCES) denied = true;
    // As a shell does: a name not found in one PATH directory may be in the next.
    if (error != ENOENT && error != ENOTDIR && error != EACCES) break;
  }
  if (denied && (error == ENOENT || error == ENOTDIR)) error = EACCES;
  ssize_t ignored = write(errorPipe, &error, sizeof error);
  (void)ignored;
  _exit(127);
}

}  // namespace

int StartChild(const std::string& commandLine, const ChildOptions& options, ChildProcess& child) {
  child.Close();
  child.ended_ = false;
  child.exitCode_ = 0;
  if (auto& fake = TestChildStarter()) {
    int exitCode = 0;
    int error = fake(commandLine, options, exitCode);
    if (error != 0) return error;
    child.started_ = true;
    child.ended_ = true;
    child.exitCode_ = exitCode;
    return 0;
  }

  std::vector<std::string> args = SplitWindowsCommandLine(commandLine);
  if (args.empty() || args.front().empty()) return ENOENT;
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> candidates = ProgramCandidates(args.front());
  std::vector<const char*> candidatePtrs;
  for (const std::string& c : candidates) candidatePtrs.push_back(c.c_str());

  // The exec errno comes back through a pipe that exec closes on success.
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return errno;
  pid_t pid = fork();
  if (pid < 0) {
    int error = errno;
    close(fds[0]);
    close(fds[1]);
    return error;
  }
  if (pid == 0) {
    close(fds[0]);
    ExecInChild(candidatePtrs, argv.data(), options.detach, fds[1]);
  }
  close(fds[1]);
  int execError = 0;
  ssize_t got;
  do {
    got = read(fds[0], &execError, sizeof execError);
  } while (got < 0 && errno == EINTR);
  close(fds[0]);
  if (got == static_cast<ssize_t>(sizeof execError)) {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return execError != 0 ? execError : ENOEXEC;
  }
  child.handle_ = static_cast<uintptr_t>(pid);
  child.started_ = true;
  return 0;
}

void WaitForChild(ChildProcess& child) {
  if (!child.started_ || child.ended_) return;
  int status = 0;
  pid_t got;
  do {
    got = waitpid(static_cast<pid_t>(child.handle_), &status, 0);
  } while (got < 0 && errno == EINTR);
  if (got > 0) {
    child.ended_ = true;
    child.exitCode_ = DecodeStatus(status);
  }
}

bool ChildExitCode(ChildProcess& child, int& exitCode, int& error) {
  if (!child.started_) {
    error = ESRCH;
    return false;
  }
  if (!child.ended_) {
    int status = 0;
    pid_t got;
    do {
      got = waitpid(static_cast<pid_t>(child.handle_), &status, WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      error = errno;
      return false;
    }
    if (got == 0) {
      exitCode = kStillActive;
      return true;
    }
    child.ended_ = true;
    child.exitCode_ = DecodeStatus(status);
  }
  exitCode = child.exitCode_;
  return true;
}

}  // namespace platform

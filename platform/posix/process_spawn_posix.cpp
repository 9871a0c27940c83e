// Child processes on Linux: the Windows command line split into argv and
// executed without a shell.
#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/platform.h"
#include "platform/shared/cmdline.h"

extern char** environ;

namespace platform {

const char* const kJavaConsoleExe = "java";
const char* const kJavaWindowedExe = "java";
const char* const kProgramSuffix = "";

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

// The signal set-up of one spawn. The child gets the default SIGPIPE (the
// launcher ignores it) and the launcher's signal mask. With
// `ignoreInterrupts` the child must start with SIGINT and SIGQUIT ignored;
// posix_spawn can only reset dispositions, so the launcher ignores them
// itself around the spawn, with both blocked meanwhile: a Ctrl-C typed in
// that moment is delivered, with its usual effect, once they are restored.
class SpawnSignals {
 public:
  SpawnSignals(posix_spawnattr_t& attributes, bool ignoreInterrupts) : active_(ignoreInterrupts) {
    sigset_t interrupts;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGQUIT);
    sigprocmask(SIG_BLOCK, active_ ? &interrupts : nullptr, &mask_);
    posix_spawnattr_setsigmask(&attributes, &mask_);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    if (!active_) return;
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGINT, &ignore, &oldInt_);
    sigaction(SIGQUIT, &ignore, &oldQuit_);
  }
  ~SpawnSignals() {
    if (!active_) return;
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGQUIT, &oldQuit_, nullptr);
    sigprocmask(SIG_SETMASK, &mask_, nullptr);
  }
  SpawnSignals(const SpawnSignals&) = delete;
  SpawnSignals& operator=(const SpawnSignals&) = delete;

 private:
  bool active_;
  sigset_t mask_;
  struct sigaction oldInt_ = {};
  struct sigaction oldQuit_ = {};
};

}  // namespace

int StartChild(const std::string& commandLine, const ChildOptions& options, ChildProcess& child) {
  if (int error = 0; BeginChildStart(commandLine, options, child, error)) return error;

  std::vector<std::string> args = SplitWindowsCommandLine(commandLine);
  if (args.empty() || args.front().empty()) return ENOENT;
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // posix_spawn, not fork: it shares the launcher's memory until exec instead
  // of copying its page tables first (dear on a virtual machine, and more so
  // the more memory the launcher holds), and it reports the exec error itself.
  posix_spawnattr_t attributes;
  if (int error = posix_spawnattr_init(&attributes)) return error;
  SpawnSignals signals(attributes, options.ignoreInterrupts);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  if (options.detach) flags |= POSIX_SPAWN_SETSID;
  posix_spawnattr_setflags(&attributes, flags);
  int error = ENOENT;
  bool denied = false;
  pid_t pid = 0;
  const std::vector<std::string> candidates =
      options.program.empty() ? ProgramCandidates(args.front()) : std::vector<std::string>{options.program};
  for (const std::string& candidate : candidates) {
    error = posix_spawn(&pid, candidate.c_str(), nullptr, &attributes, argv.data(), environ);
    if (error == 0) break;
    if (error == EACCES) denied = true;
    // As a shell does: a name not found in one PATH directory may be in the next.
    if (error != ENOENT && error != ENOTDIR && error != EACCES) break;
  }
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return denied && (error == ENOENT || error == ENOTDIR) ? EACCES : error;
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

// Child processes: the installer and the unzip program.
//
// A child is started from one command line, as Windows' CreateProcessA takes
// it. Windows: no application name (the system takes the program from the
// first word), CREATE_NEW_PROCESS_GROUP, the launcher's environment and
// current directory; of the launcher's handles it inherits only the standard
// ones (a handle list; where the system refuses one, what is inheritable). Linux: the same line split
// into argv by the Windows rules (shared/cmdline.h) and executed without a
// shell, with the launcher's environment and current directory; a program
// named without a "/" is searched along PATH.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// File names of the Java launchers: the console one and the windowless one
// ("java.exe" and "javaw.exe"; both "java" on Linux).
extern const char* const kJavaConsoleExe;
extern const char* const kJavaWindowedExe;
// What a program file's name ends with: ".exe" on Windows, nothing on Linux.
extern const char* const kProgramSuffix;

// The exit code reported for a child that has not ended (STILL_ACTIVE).
constexpr int kStillActive = 259;

struct ChildOptions {
  // Windows: the show state SW_HIDE instead of SW_SHOWNORMAL.
  bool hiddenWindow = false;
  // Linux: a new session, so that the child outlives the launcher and is not
  // hit by signals meant for the launcher's terminal. Set it for a child that
  // will not be waited for.
  bool detach = false;
  // Linux: the child starts with SIGINT and SIGQUIT ignored but stays in the
  // terminal's foreground group (a console installer can still read the
  // terminal), so the terminal's Ctrl-C ends the launcher only. Windows:
  // every child already gets CREATE_NEW_PROCESS_GROUP, so the installer
  // decides for itself; from its start on, the launcher rides out the
  // console's Ctrl-C and Ctrl-Break and goes on waiting, and when the
  // console closes it holds on for the system's grace period, so that the
  // wait, the scratch directory's removal and the exit with the installer's
  // status can still end the run (see shared/windows_rules.h).
  bool ignoreInterrupts = false;
  // When set, exactly this program file is run, whatever the command line's
  // first word says and wherever a search would look (Windows: the
  // application name of CreateProcessA; Linux: no PATH search).
  std::string program;
};

// A started child. Owns the process handle (Windows); the child itself runs
// on when this object goes.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  bool IsStarted() const { return started_; }
  void Close();

  // Implementation detail: HANDLE on Windows, pid on Linux; the exit code
  // once the child is known to have ended.
  uintptr_t handle_ = 0;
  bool started_ = false;
  bool ended_ = false;
  int exitCode_ = 0;
};

// Every child starts with the default SIGPIPE disposition (Linux), whatever
// the launcher itself does with it.
// Starts `commandLine`. 0 when the child was created, else the system error
// number (Linux: the error of posix_spawn, which includes that of exec).
int StartChild(const std::string& commandLine, const ChildOptions& options, ChildProcess& child);

// Blocks until the child has ended. Windows: messages sent to the launcher's
// thread are dispatched meanwhile; a WM_QUIT is dropped and the wait goes on.
void WaitForChild(ChildProcess& child);

// The child's exit code, or kStillActive while it runs; false with the
// system error number in `error` when the query fails. Linux: the 8-bit exit
// status, 128 + signal for a child killed by a signal.
bool ChildExitCode(ChildProcess& child, int& exitCode, int& error);

// What a test may put in place of StartChild (TestOverrides().startChild).
// It returns the creation error number (0: created) and, for a created child,
// sets the exit code that the child then reports as already ended.
using FakeChildStarter =
    std::function<int(const std::string& commandLine, const ChildOptions& options, int& exitCode)>;
// The start of both systems' StartChild: `child` made empty, and the fake
// child when a test set one. True when that decided the start (`error`
// holds the creation error, 0 for created).
bool BeginChildStart(const std::string& commandLine, const ChildOptions& options, ChildProcess& child,
                     int& error);

}  // namespace platform

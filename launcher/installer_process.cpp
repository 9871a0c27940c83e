#include "launcher/installer_process.h"

#include <cstdio>
#include <memory>

#include "common/process_state.h"
#include "launcher/options.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/format.h"
#include "platform/platform.h"
#include "runtime/actions_log.h"

namespace launcher {

namespace {

constexpr size_t kMessageChars = 4095;  // the run's 4096-byte message buffer

// The slot listing, appended to the actions-log file of this run, which the
// run sequence has closed by now.
void LogInstallerArgs(const std::vector<std::string>& args) {
  const std::string& path = runtime::ActionsLogPath();
  if (path.empty()) return;
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "a"), std::fclose);
  if (!file) return;
  auto write = [&](const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), file.get());
    std::fflush(file.get());
  };
  write("\n");
  write(messages::FormatText(messages::LogText("S_TOTAL_ARGS"), {static_cast<int>(args.size())},
                             kMessageChars));
  write(messages::LogText("S_CMDLINE_ARG_ELTS"));
  for (const std::string& slot : args) write(slot + "\n");
  write("\n");
}

}  // namespace

int LaunchInstaller(const std::vector<std::string>& args, bool wait) {
  const bool debug = common::Process().debug;
  std::string commandLine = JoinArgs(args, true);
  if (debug) {
    messages::ConsoleWrite(messages::FormatText(messages::UserText("S_JVMLOADMSG"),
                                                {args.empty() ? std::string() : args.front()},
                                                kMessageChars) +
                           "\n");
  }

  platform::ChildOptions how;
  how.detach = !wait;  // the installer outlives a launcher that does not wait
  how.ignoreInterrupts = wait;  // Ctrl-C at the console ends the launcher, not the installer
  platform::ChildProcess child;
  int error = platform::StartChild(commandLine, how, child);
  if (error != 0) {
    messages::ShowError(messages::FormatText(messages::UserText("S_ERGOSLST"),
                                             {"CreateQTIProcess()", error}, kMessageChars));
    messages::WaitForEnter();
    return error;
  }
  if (debug) LogInstallerArgs(args);

  if (wait) platform::WaitForChild(child);
  int exitCode = -1;
  if (!platform::ChildExitCode(child, exitCode, error)) return error;
  return exitCode;
}

}  // namespace launcher

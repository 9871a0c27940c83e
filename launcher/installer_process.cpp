#include "launcher/installer_process.h"

#include "common/actions_log.h"
#include "common/process_facts.h"
#include "common/text.h"
#include "launcher/options.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/format.h"
#include "platform/platform.h"

namespace launcher {

namespace {

constexpr size_t kMessageChars = common::kMessageChars;

// The slot listing, appended to this run's actions log, which the run
// sequence has closed by now: opened once more for it.
void LogInstallerArgs(const std::vector<std::string>& args) {
  common::ActionsLogScope log(common::ActionsLogScope::LastFile{});
  common::WriteActionsLog("\n");
  common::WriteActionsLog(messages::FormatText(messages::LogText("S_TOTAL_ARGS"),
                                               {static_cast<int>(args.size())}, kMessageChars));
  common::WriteActionsLog(messages::LogText("S_CMDLINE_ARG_ELTS"));
  for (const std::string& slot : args) common::WriteActionsLog(slot + "\n");
  common::WriteActionsLog("\n");
}

}  // namespace

int LaunchInstaller(const std::vector<std::string>& args, bool wait) {
  const bool debug = common::Facts().debug;
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

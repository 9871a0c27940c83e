#include "bootstrap/archive_expansion.h"

#include <cstdio>

#include "common/actions_log.h"
#include "common/process_facts.h"
#include "common/text.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/format.h"
#include "platform/platform.h"
#include "platform/shared/cmdline.h"

namespace bootstrap {

namespace {

constexpr size_t kMessageChars = common::kMaxValueChars;  // a 1024-byte buffer

}  // namespace

int RunChildAndWait(const std::string& commandLine, const std::string& program) {
  platform::ChildOptions options;
  options.hiddenWindow = true;
  options.program = program;
  platform::ChildProcess child;
  int error = platform::StartChild(commandLine, options, child);
  if (error != 0) return error;
  platform::WaitForChild(child);
  int exitCode = 0;
  if (!platform::ChildExitCode(child, exitCode, error)) return error;
  return exitCode;
}

std::string UnzipCommandLine(const std::string& source, const std::string& destination,
                             const std::string& unzipDir) {
  // The source stays unquoted; the unzip program expands the quoted wildcard
  // itself, so no shell is involved on either system.
  std::string program = unzipDir + platform::kPathSep + "unzip";
  if (program.find_first_of(" \t") != std::string::npos) program = platform::QuoteWindowsArgAlways(program);
  const char* options = common::Facts().debug ? " -o " : " -qqqo ";
  // A destination ending in a backslash keeps it: doubled before the quote.
  return program + options + source + "/\"*.jar\" -d " + platform::QuoteWindowsArgAlways(destination) + " ";
}

std::string UnzipProgram(const std::string& unzipDir) {
  return unzipDir + platform::kPathSep + "unzip" + platform::kProgramSuffix;
}

int ExpandJars(const std::string& source, const std::string& destination,
               const std::string& unzipDir) {
  const std::string commandLine = UnzipCommandLine(source, destination, unzipDir);
  const int status = RunChildAndWait(commandLine, UnzipProgram(unzipDir));

  common::WriteActionsLog(messages::LogText("S_UNZIP_COMMANDLINE"));
  common::WriteActionsLog(commandLine + "\n");

  if (status != 0 && !platform::PathExists(source)) {
    common::WriteActionsLog(
        messages::FormatText(messages::LogText("S_UNZIP_FAILED"), {source}, kMessageChars));
    messages::ShowError(
        messages::FormatText(messages::UserText("S_UNZIP_FAILED"), {source}, kMessageChars));
    std::fflush(stdout);
  }
  return status == 0 ? 0 : -1;
}

}  // namespace bootstrap

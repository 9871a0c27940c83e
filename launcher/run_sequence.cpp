#include "launcher/run_sequence.h"

#include <ctime>

#include "common/process_state.h"
#include "launcher/options.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/format.h"
#include "params/param_file.h"
#include "params/paths.h"
#include "platform/platform.h"
#include "prereq/prereq_run.h"

namespace launcher {

namespace {

// The state of one run, owned by LauncherMain.
struct RunState {
  explicit RunState(std::vector<std::string>& e) : elements(e) {}
  std::vector<std::string>& elements;
  Options options;
  std::string timestamp;
  std::string productTitle;
  std::string scratchDir;
  std::string paramFile;
  std::string startupDir;
  std::string secondDir;
  std::string launcherDir;
  std::string jreLocation;
  std::string scratchJrePath;
  std::string prereqConfigLocation;
  std::string installerClass;
  std::string bootstrapFlag;  // "T" or "F"
  params::Settings settings;
};

constexpr size_t kMessageChars = 4095;    // the 4096-byte message buffer
constexpr size_t kStartMessageChars = 79; // the start message's own 80-byte buffer

// Phase 8: the launcher, startup and second directories.
void SettleDirectories(RunState& run) {
  params::GetCurrentDir(run.launcherDir);
  run.startupDir = params::GetProgramDir(run.elements.front());
  run.secondDir = run.startupDir;
  if (run.options.shipHomeLocGiven) {
    std::string ship = run.options.startupLocation;
    StripQuotes(ship);
    run.startupDir = ship;
    std::string launcherDir;
    run.secondDir = params::GetCurrentDir(launcherDir) == 0 ? launcherDir : run.startupDir;
  }
  if (run.options.rscratchPath) run.scratchDir = *run.options.rscratchPath;
}

// Phase 9: the parameter file, which also creates the scratch directory.
int ReadParameters(RunState& run) {
  params::ParamFileRun in;
  in.paramFile = run.paramFile;
  in.scratchDir = run.scratchDir;
  in.startupDir = run.startupDir;
  in.jreLocation = run.options.jreLoc.value_or("");
  in.prereqConfigLocation = run.options.prereqConfigLocation;
  in.timestamp = run.timestamp;
  in.bootstrapOnly = run.options.bootstrapOnly;
  in.rscratchPath = run.options.rscratchPath.has_value();
  in.shipHomeLoc = run.options.shipHomeLocGiven;
  int status = params::ReadParamFile(in, run.settings);
  run.paramFile = in.paramFile;
  run.scratchDir = in.scratchDir;
  run.startupDir = in.startupDir;
  run.jreLocation = in.jreLocation;
  run.scratchJrePath = in.scratchJrePath;
  run.prereqConfigLocation = in.prereqConfigLocation;
  run.bootstrapFlag = run.settings.bootstrap.empty() ? "F" : run.settings.bootstrap;
  if (!run.options.shipHomeLocGiven) run.secondDir = run.startupDir;
  if (run.options.bootstrapOnly) run.scratchDir = run.options.bootstrapLoc;
  return status;
}

// Phase 10: the installer class of the launcher mode. -1 for a mode that
// may not run from the distribution medium.
int ChooseLauncherMode(RunState& run) {
  run.installerClass = run.settings.installClass;
  LauncherMode mode = DecideLauncherMode(run.options);
  if (mode.kind == LauncherMode::Class::Fixed) run.installerClass = mode.fixedClass;
  if (mode.kind == LauncherMode::Class::OneClickClass) run.installerClass = run.settings.installOneClickClass;
  if (mode.forcesNoBootstrap) run.bootstrapFlag = "F";
  if (mode.notFromDistribution && common::Process().distribution) {
    messages::ShowError(messages::FormatText(messages::UserText("S_ERRORINVOKINGFROMCD"),
                                             {run.options.upperTail}, kMessageChars));
    return -1;
  }
  return 0;
}

// Phase 11: what the prerequisite checker needs before it can run.
int CheckPrereqCheckerMode(RunState& run) {
  if (!run.options.prereqChecker) return 0;
  if (run.prereqConfigLocation.empty()) {
    messages::ConsoleWrite(messages::UserText("S_ERR_PREREQ_CONFIG_LOC"));
    return -1;
  }
  if (!platform::PathExists(run.prereqConfigLocation)) {
    platform::WriteStdout(messages::FormatText(messages::UserText("S_ERR_INVALID_PREREQ_CONFIG_LOC"),
                                               {run.prereqConfigLocation}, kMessageChars));
    return -1;
  }
  if (!common::Process().distribution) run.bootstrapFlag = "F";
  return 0;
}

// Phase 12: the start message and the prerequisite checks. -1 when the
// checks stop the launch.
int CheckPrerequisites(RunState& run) {
  if (run.options.help) return 0;
  if (!run.options.bootstrapOnly) {
    messages::ConsoleWrite(messages::FormatText(messages::UserText("S_STARTINSTALLERMSG"),
                                                {run.productTitle}, kStartMessageChars));
  }
  std::string platformPrereqs = platform::ReadProfileString(params::kParamSection, "PLATFORM_PREREQS",
                                                            "FALSE", run.paramFile, params::kMaxShortChars);
  if (platformPrereqs.empty()) platformPrereqs = "FALSE";
  const common::ProcessState& process = common::Process();
  return prereq::RunPrereqs(run.paramFile, run.scratchDir, run.timestamp, process.actionsLogName,
                            process.silent, run.options.executeSysPrereqs, run.options.ignoreSysPrereqs,
                            run.options.noConsole, platformPrereqs[0] == 'T' ? 1 : 0);
}

}  // namespace

std::string MakeRunTimestamp() {
  std::time_t now = std::time(nullptr);
  std::tm local = {};
  if (const std::tm* t = std::localtime(&now)) local = *t;
  char buffer[64];
  size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d_%I-%M-%S%p", &local);
  return std::string(buffer, n);
}

int LauncherMain(std::vector<std::string>& elements) {
  if (elements.empty()) elements.emplace_back();
  RunState run(elements);
  run.timestamp = MakeRunTimestamp();

  if (messages::InitMessages() != 0) return 1;

  ParseEarlyOptions(elements, run.options);
  if (run.options.rtimestamp) run.timestamp = *run.options.rtimestamp;
  run.paramFile = run.options.paramFile.value_or("");
  run.productTitle = "Trevanic Installer";

  ParseOptionLoop(elements, run.options);
  if (run.options.prereqChecker) run.productTitle = "Prerequisite Checker";

  if (!run.options.noConsole) {
    messages::OpenConsoleWindow();
    messages::RefreshConsoleHandle();
  }

  SettleDirectories(run);
  int paramStatus = ReadParameters(run);
  if (ChooseLauncherMode(run) != 0) return -1;
  if (CheckPrereqCheckerMode(run) != 0) return -1;
  if (CheckPrerequisites(run) != 0) return -1;
  if (paramStatus != 0) {
    if (paramStatus == -2) messages::WaitForEnter();
    return paramStatus;
  }

  int status = 0;
  messages::FreeMessages();
  return status;
}

}  // namespace launcher

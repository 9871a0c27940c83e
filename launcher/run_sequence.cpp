#include "launcher/run_sequence.h"

#include <ctime>

#include "bootstrap/component_bootstrap.h"
#include "bootstrap/tree_ops.h"
#include "common/process_state.h"
#include "launcher/installer_cmdline.h"
#include "launcher/installer_process.h"
#include "launcher/options.h"
#include "launcher/run_rules.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/format.h"
#include "params/param_file.h"
#include "params/paths.h"
#include "params/scratch_dir.h"
#include "platform/platform.h"
#include "prereq/prereq_run.h"
#include "runtime/actions_log.h"
#include "runtime/java_runtime.h"
#include "runtime/registry_probe.h"

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
  std::optional<platform::DirIdentity> scratchIdentity;  // when this run made it
  std::string paramFile;
  std::string startupDir;
  std::string secondDir;
  std::string launcherDir;
  std::string jreLocation;
  std::string scratchJrePath;
  std::string prereqConfigLocation;
  std::string installerClass;
  std::string bootstrapFlag;  // "T" or "F"
  std::string imagesDir;
  bool externalRuntime = false;  // the runtime came from -jreLoc or the prompt
  bool wait = false;
  params::Settings settings;
};

constexpr size_t kMessageChars = 4095;    // the 4096-byte message buffer
constexpr size_t kStartMessageChars = 79; // the start message's own 80-byte buffer
constexpr size_t kProgressChars = 1023;   // the bootstrap progress line's buffer
constexpr int kDefaultBootstrapMegabytes = 45;  // what S_ERBOOTSTRAP names for a size of 0
// The oldest runtime the installer runs in, named when none is found.
constexpr const char* kMinimumJavaVersion = "1.3.1";

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
  run.scratchIdentity = in.scratchIdentity;
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

// Phase 14: the images directory and an installed home around the launcher.
void LookUpRuntimeDirs(RunState& run) {
  params::GetCurrentDir(run.launcherDir);
  run.imagesDir = runtime::FindImagesDir(run.launcherDir);
  runtime::ProbeInstalledHome(run.launcherDir, run.settings.qtiLocation, run.settings.qtiCoreLocation);
}

void WriteBootstrapProgress(const RunState& run) {
  std::string line;
  if (run.options.bootstrapOnly) {
    line = messages::FormatText("%s  %s", {messages::UserText("S_BOOTSTRAPONLYMSG"),
                                           messages::UserText("S_WAITMSG")}, kProgressChars);
  } else {
    line = messages::FormatText("%s %s. %s", {messages::UserText("S_BOOTSTRAPMSG"), run.scratchDir,
                                              messages::UserText("S_WAITMSG")}, kProgressChars);
  }
  messages::ConsoleWrite(line);  // written unbuffered: seen before the copying starts
}

// Phase 16.3: which Java runtime goes into the scratch directory. 1 to go on,
// else the run's exit status. Nobody to ask (-NOCONSOLE, the prompt
// disabled, or standard input at its end) ends the run as a failure: nothing
// was installed, and a script must not read success.
int DecideJavaRuntime(RunState& run, int& exitStatus) {
  const common::ProcessState& process = common::Process();
  if (run.options.jreLoc) {
    run.externalRuntime = true;
  } else if (!run.jreLocation.empty() || !run.scratchJrePath.empty()) {
    run.externalRuntime = false;
  } else if (run.options.noConsole) {
    messages::ShowError(messages::UserText("S_JRELOC_ERROR_NOCONSOLE_WIN"));
    exitStatus = -1;
    return 0;
  } else if (run.options.bootstrapOnly) {
    run.externalRuntime = false;
  } else if (runtime::JrePromptDisabled()) {
    runtime::ReportNoJavaLocation(run.scratchDir, run.timestamp, process.actionsLogName);
    exitStatus = -1;
    return 0;
  } else {
    std::optional<std::string> answer = runtime::PromptJavaLocation();
    if (!answer) {
      runtime::ReportNoJavaLocation(run.scratchDir, run.timestamp, process.actionsLogName);
      exitStatus = -1;
      return 0;
    }
    run.jreLocation = *answer;
    run.externalRuntime = true;
  }
  return 1;
}

bootstrap::BootstrapRun MakeBootstrapRun(const RunState& run, long megabytes) {
  bootstrap::BootstrapRun b;
  b.scratchDir = run.scratchDir;
  b.scratchIdentity = run.scratchIdentity;
  b.qtiLocation = run.settings.qtiLocation;
  b.qtiCoreLocation = run.settings.qtiCoreLocation;
  b.mendraLocation = run.settings.mendraLocation;
  b.jreLocation = run.jreLocation;
  b.scratchJrePath = run.scratchJrePath;
  b.qtiVersion = run.settings.qtiVersion;
  b.jreVersion = run.settings.jreVersion;
  b.imagesDir = run.imagesDir;
  b.prereqConfigLocation = run.prereqConfigLocation;
  b.startupDir = run.startupDir;
  b.secondDir = run.secondDir;
  b.requiredKilobytes = static_cast<int64_t>(megabytes) * 1024;
  b.distribution = common::Process().distribution;
  b.extJlib = run.settings.extJlib;
  b.extLib = run.settings.extLib;
  b.extBin = run.settings.extBin;
  b.copyRuntime = !run.externalRuntime;
  b.timestamp = run.timestamp;
  b.logName = common::Process().actionsLogName;
  b.components = run.settings.bootstrapComponents;
  b.accessDir = run.settings.accessDir;
  b.bootstrapOnly = run.options.bootstrapOnly;
  b.noBootstrap = run.options.noBootstrap;
  b.shipHomeLoc = run.options.shipHomeLocGiven;
  return b;
}

void TakeBootstrapResults(RunState& run, const bootstrap::BootstrapRun& b) {
  run.settings.qtiLocation = b.qtiLocation;
  run.settings.qtiCoreLocation = b.qtiCoreLocation;
  run.settings.mendraLocation = b.mendraLocation;
  run.jreLocation = b.jreLocation;
  run.imagesDir = b.imagesDir;
  run.prereqConfigLocation = b.prereqConfigLocation;
  run.settings.bootstrapComponents = b.components;
}

// Phase 16: the component bootstrap. 1 to go on, else the run's exit status.
// A size out of range leaves the installer where it is: the run goes on
// without the bootstrap, and the installer is not told that it was
// bootstrapped.
int RunBootstrap(RunState& run, long megabytes, int& exitStatus) {
  if (run.bootstrapFlag != "T") return 1;
  if (!BootstrapSizeInRange(megabytes)) {
    messages::ShowError(messages::FormatText(messages::UserText("S_ERBOOTSTRAP_RANGE"),
                                             {kMaxBootstrapMegabytes}, kMessageChars));
    run.bootstrapFlag = "F";
    return 1;
  }
  WriteBootstrapProgress(run);
  if (!DecideJavaRuntime(run, exitStatus)) return 0;
  bootstrap::BootstrapRun b = MakeBootstrapRun(run, megabytes);
  int result = bootstrap::BootstrapComponents(b);
  TakeBootstrapResults(run, b);
  if (run.options.shipHomeLocGiven) platform::SetCurrentDir(run.startupDir);
  if (result == bootstrap::kBootstrapFailed) {
    // The bootstrap's own messages name only some causes (a missing source,
    // a missing runtime); this one tells the user that it failed at all.
    messages::ShowError(messages::FormatText(
        messages::UserText("S_ERBOOTSTRAP"),
        {run.scratchDir, megabytes > 0 ? static_cast<int>(megabytes) : kDefaultBootstrapMegabytes},
        kMessageChars));
    exitStatus = -1;
    return 0;
  }
  return 1;
}

InstallerCommandInput MakeCommandInput(const RunState& run, const ClassPathDirs& dirs) {
  InstallerCommandInput in;
  in.programPath = run.elements.front();
  in.timestamp = run.timestamp;
  in.scratchDir = run.scratchDir;
  in.startupDir = run.startupDir;
  in.launcherDir = run.launcherDir;
  in.jreLocation = run.jreLocation;
  in.bootstrap = run.bootstrapFlag == "T";
  in.externalRuntime = run.externalRuntime;
  in.installerClass = run.installerClass;
  in.prereqConfigLocation = run.prereqConfigLocation;
  in.userElements.assign(run.elements.begin() + 1, run.elements.end());
  in.options = run.options;
  in.settings = run.settings;
  in.dirs = dirs;
  return in;
}

// Phase 22: the installer of a bootstrapped run starts in the temp root, so
// that it holds no handle on the medium or on the scratch directory.
void EnterTempRoot(const RunState& run) {
  std::string root = params::GetTempRoot();
  if (!bootstrap::PathExists(root)) root = platform::kDefaultTempRoot;
  if (run.bootstrapFlag == "T") platform::SetCurrentDir(root);
}

// Phase 23: validate the runtime and start the installer.
int HandOver(RunState& run, const std::vector<std::string>& args, int status) {
  const common::ProcessState& process = common::Process();
  if (run.options.bootstrapOnly) {
    platform::WriteStdout(messages::FormatText("\nBootStrap To %s Completed\n", {run.scratchDir},
                                               kMessageChars));
    return status;
  }
  // What stands at the scratch directory's path now is not the run's own:
  // nothing is started from it, and it is not deleted.
  const bool intact = params::ScratchDirIntact(run.scratchDir, run.scratchIdentity);
  if (!intact) status = -1;
  if (status == 0) {
    runtime::OpenActionsLog(run.scratchDir, run.timestamp, process.actionsLogName);
    int valid = runtime::ValidateJavaHome(run.jreLocation, run.externalRuntime);
    runtime::CloseActionsLog();
    status = valid == 0 ? LaunchInstaller(args, run.wait) : valid;
  } else if (process.silent) {
    messages::ConsoleWrite(messages::UserText("S_ENTER_ENTER"));
    messages::ReadAnswerChar();
  }
  if (run.wait && intact && params::ScratchDirIntact(run.scratchDir, run.scratchIdentity)) {
    bootstrap::DeleteTree(run.scratchDir);
  }
  return status;
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
  platform::PrepareProcess();
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

  LookUpRuntimeDirs(run);
  const long megabytes = ParseBootstrapSize(run.settings.bootstrapSize);
  int exitStatus = 0;
  if (!RunBootstrap(run, megabytes, exitStatus)) return exitStatus;

  ClassPathDirs dirs = GetClassPathDirs(run.settings.qtiLocation, run.settings.qtiCoreLocation,
                                        run.settings.mendraLocation, run.jreLocation, run.paramFile);
  run.wait = DecideWait(run.bootstrapFlag == "T", run.settings.waitForCompletion, run.options);
  int status = 0;
  if (common::Process().debug) {
    // No library path is set for the installer; the line says so.
    messages::ConsoleWrite(messages::UserText("S_LDLIBPATH_VAR") + "\n");
  }
  std::vector<std::string> args = BuildInstallerArgs(MakeCommandInput(run, dirs));
  if (!run.options.bootstrapOnly) {
    std::string java = JavaExecutablePath(dirs, run.options);
    if (!bootstrap::PathExists(java)) {
      messages::ShowError(messages::FormatText(messages::UserText("S_ERJRENFD"),
                                               {java, kMinimumJavaVersion}, kMessageChars));
      status = -1;
    }
  }
  if (runtime::ProbeRegistryWrite() == 0) {
    messages::ShowError(messages::UserText("S_ERR_REG_ACCESS"));
    return -1;
  }
  EnterTempRoot(run);
  status = HandOver(run, args, status);
  messages::FreeMessages();
  return status;
}

}  // namespace launcher

#include "launcher/run_sequence.h"

#include <ctime>

#include "bootstrap/component_bootstrap.h"
#include "bootstrap/tree_ops.h"
#include "common/actions_log.h"
#include "common/paths.h"
#include "common/process_facts.h"
#include "common/text.h"
#include "launcher/installer_cmdline.h"
#include "launcher/installer_process.h"
#include "launcher/options.h"
#include "launcher/run.h"
#include "launcher/run_rules.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/format.h"
#include "params/param_file.h"
#include "params/paths.h"
#include "params/scratch_dir.h"
#include "platform/platform.h"
#include "prereq/prereq_run.h"
#include "runtime/inventory.h"
#include "runtime/java_runtime.h"
#include "runtime/registry_probe.h"

namespace launcher {

namespace {

constexpr size_t kMessageChars = common::kMessageChars;
constexpr size_t kStartMessageChars = 79;  // the start message's own 80-byte buffer
constexpr size_t kProgressChars = 1023;    // the bootstrap progress line's buffer
constexpr int kDefaultBootstrapMegabytes = 45;  // what S_ERBOOTSTRAP names for a size of 0
// The oldest runtime the installer runs in, named when none is found.
constexpr const char* kMinimumJavaVersion = "1.3.1";

std::string Formatted(const char* key, std::initializer_list<messages::FormatArg> args) {
  return messages::FormatText(messages::UserText(key), args, kMessageChars);
}

// The launcher's directory, and the startup directory the launcher was
// started from (or the ship home); -rscratchPath names the scratch directory
// of an earlier run.
bool SettleDirectories(Run& run) {
  std::optional<std::string> launcherDir = params::LauncherDir();
  run.dirs.launcherDir = launcherDir.value_or("");
  run.dirs.startupDir = params::GetProgramDir(run.programPath);
  run.dirs.unzipDir = run.dirs.startupDir;
  if (run.options.shipHomeLocGiven) {
    std::string ship = run.options.startupLocation;
    StripQuotes(ship);
    run.dirs.startupDir = ship;
    run.dirs.unzipDir = launcherDir.value_or(ship);
  }
  if (run.options.rscratchPath && platform::AbsoluteRootLength(*run.options.rscratchPath)) {
    run.dirs.scratchDir = *run.options.rscratchPath;
  }
  return launcherDir.has_value();
}

// The scratch directory, unless the run reuses one or fills BOOTSTRAP_LOC.
// The prerequisite checker keeps its logs below the temp root it was made
// in. -1 when it cannot be made (reported).
int MakeScratchDir(Run& run, std::string& logBase) {
  params::ScratchDir made = params::CreateScratchDir(run.options.scratchRoot, run.timestamp);
  if (run.options.Has(Mode::PrereqChecker) && logBase.empty()) logBase = made.root;
  if (made.status != 0) return made.status;
  run.dirs.scratchDir = made.path;
  run.dirs.scratchIdentity = made.identity;
  return 0;
}

// The scratch directory, the place of the actions log, and the parameter file
// with every setting. The startup directory becomes the current one once the
// file is found (relative values are taken from it); then it is the
// launcher's directory, unless it is a ship home. 0, -1 or -2: acted on after
// the prerequisite checks.
int ReadParameters(Run& run, bool launcherDirKnown) {
  const Options& o = run.options;
  std::string logBase = o.prereqLogLocation;
  const bool makeScratch = launcherDirKnown && !o.bootstrapOnly && !o.rscratchPath;
  int scratchStatus = makeScratch ? MakeScratchDir(run, logBase) : 0;
  // A reused scratch directory named without a value or relatively would be
  // the medium's own directory, and the bootstrap would fill it.
  if (o.rscratchPath && platform::AbsoluteRootLength(*o.rscratchPath) == 0) {
    messages::ShowError(Formatted("S_ERPERDIR", {*o.rscratchPath}));
    scratchStatus = -1;
  }
  common::SetActionsLogTarget({runtime::FixedLogDir(logBase), o.actionsLogName + run.timestamp + ".log"});
  run.dirs.paramFile = o.paramFile.value_or("");
  run.locations.jre = o.jreLoc.value_or("");
  run.locations.prereqConfig = o.prereqConfigLocation;
  if (scratchStatus != 0) return scratchStatus;

  const params::ParamFileResult read = params::ReadParamFile(
      {o.paramFile.value_or(""), run.dirs.startupDir, o.shipHomeLocGiven,
       launcherDirKnown ? std::optional<std::string>(run.dirs.launcherDir) : std::nullopt, run.dirs.scratchDir,
       o.jreLoc.has_value(), o.prereqConfigLocation, o.prereqLocFromFromLocation});
  // -BOOTSTRAPONLY fills BOOTSTRAP_LOC; the logs of the later phases go there.
  // A relative one would put them on the medium: it is refused later, unused.
  if (o.bootstrapOnly) {
    run.dirs.scratchDir = platform::AbsoluteRootLength(o.bootstrapLoc) && !o.bootstrapLocCut ? o.bootstrapLoc : "";
  }
  if (read.status == -2) return read.status;
  run.dirs.paramFile = read.paramFile;
  platform::SetCurrentDir(run.dirs.startupDir);
  if (read.status != 0) return read.status;

  run.settings = read.settings;
  if (!o.shipHomeLocGiven) run.dirs.startupDir = run.dirs.unzipDir = run.dirs.launcherDir;
  run.bootstrap = run.settings.bootstrap;
  if (!o.jreLoc) run.locations.jre = run.settings.jreLocation;
  run.locations.qti = run.settings.qtiLocation;
  run.locations.qtiCore = run.settings.qtiCoreLocation;
  run.locations.mendra = run.settings.mendraLocation;
  run.locations.prereqConfig = run.settings.prereqConfigLocation;
  return 0;
}

// The installer class of the launcher mode. -1 for a mode that may not run
// from the distribution medium.
int ChooseLauncherMode(Run& run) {
  run.installerClass = run.settings.installClass;
  const ModeRow* mode = DecideLauncherMode(run.options);
  if (!mode) return 0;
  if (mode->classSource == ClassSource::Fixed) run.installerClass = mode->installerClass;
  if (mode->classSource == ClassSource::OneClickClass) run.installerClass = run.settings.installOneClickClass;
  if (mode->forcesNoBootstrap) run.bootstrap = false;
  if (mode->notFromDistribution && run.settings.distribution) {
    messages::ShowError(Formatted("S_ERRORINVOKINGFROMCD", {run.options.upperTail}));
    return -1;
  }
  return 0;
}

// What the prerequisite checker needs before it can run.
int CheckPrereqCheckerMode(Run& run) {
  if (!run.options.Has(Mode::PrereqChecker)) return 0;
  const std::string& location = run.locations.prereqConfig;
  if (location.empty()) {
    messages::ConsoleWrite(messages::UserText("S_ERR_PREREQ_CONFIG_LOC"));
    return -1;
  }
  if (!platform::PathExists(location)) {
    platform::WriteStdout(Formatted("S_ERR_INVALID_PREREQ_CONFIG_LOC", {location}));
    return -1;
  }
  if (!run.settings.distribution) run.bootstrap = false;
  return 0;
}

// The start message and the prerequisite checks, unless -HELP.
prereq::PrereqOutcome CheckPrerequisites(const Run& run) {
  if (run.options.help) return prereq::PrereqOutcome::GoOn;
  if (!run.options.bootstrapOnly) {
    messages::ConsoleWrite(messages::FormatText(messages::UserText("S_STARTINSTALLERMSG"),
                                                {run.productTitle}, kStartMessageChars));
  }
  std::string platformPrereqs = platform::ReadProfileString(
      params::kParamSection, "PLATFORM_PREREQS", "FALSE", run.dirs.paramFile, params::kMaxShortChars);
  if (platformPrereqs.empty()) platformPrereqs = "FALSE";
  return prereq::RunPrereqs({run.dirs.paramFile, run.dirs.scratchDir, common::Facts().silent,
                             run.options.executeSysPrereqs, run.options.ignoreSysPrereqs,
                             run.options.noConsole, platformPrereqs[0] == 'T'});
}

// The images beside the launcher, and an installed home around it.
void LocateImagesAndInstalledHome(Run& run) {
  run.locations.images = runtime::FindImagesDir(run.dirs.launcherDir);
  runtime::ProbeInstalledHome(run.dirs.launcherDir, run.locations.qti, run.locations.qtiCore);
}

void WriteBootstrapProgress(const Run& run) {
  std::string line;
  if (run.options.bootstrapOnly) {
    line = messages::FormatText("%s  %s", {messages::UserText("S_BOOTSTRAPONLYMSG"),
                                           messages::UserText("S_WAITMSG")}, kProgressChars);
  } else {
    line = messages::FormatText("%s %s. %s", {messages::UserText("S_BOOTSTRAPMSG"), run.dirs.scratchDir,
                                              messages::UserText("S_WAITMSG")}, kProgressChars);
  }
  messages::ConsoleWrite(line);  // written unbuffered: seen before the copying starts
}

// Which Java runtime goes into the scratch directory. True to go on, else
// false with the run's exit status. Nobody to ask (-NOCONSOLE, the prompt
// disabled, or standard input at its end) ends the run as a failure: nothing
// was installed, and a script must not read success.
bool SettleJavaRuntime(Run& run, int& exitStatus) {
  const params::JavaChoice& choice = run.settings.java;
  const bool known = !run.locations.jre.empty() || !run.settings.scratchJrePath.empty();
  std::optional<std::string> answer;
  switch (DecideRuntimeSource(run.options.jreLoc.has_value(), known, run.options.noConsole,
                              run.options.bootstrapOnly, runtime::IsExactlyTrue(choice.disableJrePrompt))) {
    case RuntimeSource::CommandLine:
      run.externalRuntime = true;
      return true;
    case RuntimeSource::Settings:
    case RuntimeSource::NotNeeded:
      run.externalRuntime = false;
      return true;
    case RuntimeSource::NobodyToAsk:
      messages::ShowError(messages::UserText("S_JRELOC_ERROR_NOCONSOLE_WIN"));
      break;
    case RuntimeSource::PromptDisabled:
      runtime::ReportNoJavaLocation(run.dirs.scratchDir);
      break;
    case RuntimeSource::Prompt:
      answer = runtime::PromptJavaLocation(choice);
      if (!answer) {
        runtime::ReportNoJavaLocation(run.dirs.scratchDir);
        break;
      }
      run.locations.jre = *answer;
      run.externalRuntime = true;
      return true;
  }
  exitStatus = -1;
  return false;
}

bootstrap::BootstrapInput MakeBootstrapInput(const Run& run, long megabytes) {
  const params::Settings& s = run.settings;
  bootstrap::BootstrapInput in;
  in.scratchDir = run.dirs.scratchDir;
  in.scratchIdentity = run.dirs.scratchIdentity;
  in.locations = run.locations;
  in.scratchJrePath = s.scratchJrePath;
  in.jreVersion = s.jreVersion;
  in.startupDir = run.dirs.startupDir;
  in.unzipDir = run.dirs.unzipDir;
  in.requiredKilobytes = static_cast<int64_t>(megabytes) * 1024;
  in.distribution = s.distribution;
  in.extJlib = s.extJlib;
  in.extLib = s.extLib;
  in.extBin = s.extBin;
  in.copyRuntime = !run.externalRuntime;
  in.components = s.bootstrapComponents;
  in.accessDir = s.accessDir;
  in.bootstrapOnly = run.options.bootstrapOnly;
  in.noBootstrap = run.options.noBootstrap;
  in.shipHomeLoc = run.options.shipHomeLocGiven;
  in.printTime = run.options.printTime;
  in.timestamp = run.timestamp;
  return in;
}

// The component bootstrap. True to go on, else false with the run's exit
// status. A size out of range leaves the installer where it is: the run goes
// on without the bootstrap, and the installer is not told that it was
// bootstrapped.
bool RunBootstrap(Run& run, int& exitStatus) {
  if (!run.bootstrap) return true;
  const long megabytes = ParseBootstrapSize(run.settings.bootstrapSize);
  if (!BootstrapSizeInRange(megabytes)) {
    messages::ShowError(Formatted("S_ERBOOTSTRAP_RANGE", {kMaxBootstrapMegabytes}));
    run.bootstrap = false;
    return true;
  }
  WriteBootstrapProgress(run);
  if (!SettleJavaRuntime(run, exitStatus)) return false;
  const bootstrap::BootstrapResult result = bootstrap::BootstrapComponents(MakeBootstrapInput(run, megabytes));
  run.locations = result.locations;
  if (result.status == bootstrap::kBootstrapFailed) {
    // The bootstrap's own messages name only some causes (a missing source,
    // a missing runtime); this one tells the user that it failed at all.
    const int shown = megabytes > 0 ? static_cast<int>(megabytes) : kDefaultBootstrapMegabytes;
    messages::ShowError(Formatted("S_ERBOOTSTRAP", {run.dirs.scratchDir, shown}));
    exitStatus = -1;
    return false;
  }
  return true;
}

// The Java executable the command line names must be there (unless nothing
// is to be started). -1 after S_ERJRENFD, else 0.
int CheckJavaExecutable(const Run& run, const ClassPathDirs& dirs) {
  if (run.options.bootstrapOnly) return 0;
  const std::string java = JavaExecutablePath(dirs, run.options);
  // Cut to the limit, the path names the bin directory or another file.
  const bool whole = common::JoinExactly(dirs.javaBinDir, JavaExecutableName(run.options)).size() <= common::kMaxPath;
  if (whole && platform::PathExists(java)) return 0;
  messages::ShowError(Formatted("S_ERJRENFD", {java, kMinimumJavaVersion}));
  return -1;
}

// -BOOTSTRAPONLY that cannot fill BOOTSTRAP_LOC: why, on standard output
// where the completion would stand, and -1.
int RefuseBootstrapOnly(const Run& run, const char* why) {
  platform::WriteStdout(messages::FormatText("\nBootStrap To %s Not Done: %s\n", {run.options.bootstrapLoc, why},
                                             kMessageChars));
  return -1;
}

// BOOTSTRAP_LOC must name a directory of its own: an empty or relative one
// would fill the medium beside the launcher.
bool BootstrapLocUsable(const Run& run) {
  return !run.options.bootstrapOnly || platform::AbsoluteRootLength(run.options.bootstrapLoc) != 0;
}

// The installer of a bootstrapped run starts in the temp root, so that it
// holds no handle on the medium or on the scratch directory.
void EnterTempRoot(const Run& run) {
  std::string root = params::GetTempRoot(run.options.scratchRoot);
  if (!platform::PathExists(root)) root = platform::kDefaultTempRoot;
  if (run.bootstrap) platform::SetCurrentDir(root);
}

// Validates the runtime and starts the installer; after a wait the scratch
// directory goes. What stands at the scratch directory's path must still be
// the run's own: nothing is started from anything else, nor deleted.
int HandOver(const Run& run, const std::vector<std::string>& args, int status) {
  if (run.options.bootstrapOnly) {
    // A script relaunches with -rscratchPath on success: nothing copied is no success.
    if (!run.bootstrap) return RefuseBootstrapOnly(run, "the bootstrap is off (BOOTSTRAP, the mode or BOOTSTRAP_SIZE)");
    platform::WriteStdout(messages::FormatText("\nBootStrap To %s Completed\n", {run.dirs.scratchDir},
                                               kMessageChars));
    return status;
  }
  const bool intact = params::ScratchDirIntact(run.dirs.scratchDir, run.dirs.scratchIdentity);
  if (!intact) status = -1;
  if (status == 0) {
    int valid = 0;
    {
      common::ActionsLogScope log(run.dirs.scratchDir);
      valid = runtime::ValidateJavaHome(run.locations.jre, run.options.jreLoc.has_value(), run.externalRuntime,
                                        run.settings.java);
    }
    status = valid == 0 ? LaunchInstaller(args, run.wait) : valid;
  } else if (common::Facts().silent) {
    messages::ConsoleWrite(messages::UserText("S_ENTER_ENTER"));
    messages::ReadAnswerChar();
  }
  if (run.wait && intact && params::ScratchDirIntact(run.dirs.scratchDir, run.dirs.scratchIdentity)) {
    platform::ReleaseDirectory(run.dirs.scratchDir);
    bootstrap::DeleteTree(run.dirs.scratchDir);
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
  Run run(elements);
  run.programPath = elements.front();
  run.timestamp = MakeRunTimestamp();
  if (messages::InitMessages() != 0) return 1;

  run.options = ReadOptions(elements);
  if (run.options.rtimestamp) run.timestamp = *run.options.rtimestamp;
  common::SetProcessFacts({run.options.silent, run.options.debug});
  run.productTitle = run.options.Has(Mode::PrereqChecker) ? "Prerequisite Checker" : "Trevanic Installer";
  if (!run.options.noConsole) {
    messages::OpenConsoleWindow();
    messages::RefreshConsoleHandle();
  }

  const bool launcherDirKnown = SettleDirectories(run);
  const int paramStatus = ReadParameters(run, launcherDirKnown);
  if (ChooseLauncherMode(run) != 0) return -1;
  if (CheckPrereqCheckerMode(run) != 0) return -1;
  if (CheckPrerequisites(run) == prereq::PrereqOutcome::Stop) return -1;
  if (paramStatus != 0) {
    if (paramStatus == -2) messages::WaitForEnter();
    return paramStatus;
  }

  if (!BootstrapLocUsable(run)) return RefuseBootstrapOnly(run, "BOOTSTRAP_LOC must name an absolute directory");
  if (run.options.bootstrapOnly && run.options.bootstrapLocCut) {
    return RefuseBootstrapOnly(run, "BOOTSTRAP_LOC was cut (\"-J\" inside, a quote or its length)");
  }

  LocateImagesAndInstalledHome(run);
  int exitStatus = 0;
  if (!RunBootstrap(run, exitStatus)) return exitStatus;

  const ClassPathDirs dirs = GetClassPathDirs(run.locations, run.dirs.paramFile);
  run.wait = DecideWait(run.bootstrap, run.settings.waitForCompletion, run.options);
  if (common::Facts().debug) {
    // No library path is set for the installer; the line says so.
    messages::ConsoleWrite(messages::UserText("S_LDLIBPATH_VAR") + "\n");
  }
  const std::vector<std::string> args = BuildInstallerArgs(run, dirs);
  const int status = CheckJavaExecutable(run, dirs);
  if (runtime::ProbeRegistryWrite() == 0) {
    messages::ShowError(messages::UserText("S_ERR_REG_ACCESS"));
    return -1;
  }
  EnterTempRoot(run);
  const int result = HandOver(run, args, status);
  messages::FreeMessages();
  return result;
}

}  // namespace launcher

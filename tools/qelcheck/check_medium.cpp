#include "tools/qelcheck/check_medium.h"

#include "platform/platform.h"
#include "tools/qelcheck/bootstrap_checks.h"
#include "tools/qelcheck/catalogue_checks.h"
#include "tools/qelcheck/param_checks.h"
#include "tools/qelcheck/prereq_checks.h"
#include "tools/qelcheck/staged_archives.h"

namespace qelcheck {

namespace {

const char* const kSynopsis = "usage: qelcheck [--quiet] [--windows|--linux] [INSTALL_DIR]\n";

const char* const kUsage =
    "usage: qelcheck [--quiet] [--windows|--linux] [INSTALL_DIR]\n"
    "       qelcheck --help | --version\n"
    "Checks the distribution medium whose launcher lies in INSTALL_DIR (default: the\n"
    "checker's own directory) and prints one line per finding, \"error:\" where the\n"
    "launcher would fail or do other than the medium asks, \"warning:\" where it runs\n"
    "but probably not as meant.\n"
    "  --quiet             print the errors only\n"
    "  --windows, --linux  the medium's system (default: from the launcher found)\n"
    "  --help              print this text\n"
    "  --version           print the kit's version\n"
    "Exit status: 0 nothing found, 1 warnings only, 2 errors, 3 nothing checked\n"
    "(a command line it does not take, or INSTALL_DIR is no directory).\n";

// A usage error names what was wrong; the whole text is one option away.
int UsageError(const std::string& problem) {
  platform::WriteStderr("qelcheck: " + problem + "\n" + kSynopsis + "Run qelcheck --help for more.\n");
  return kExitUsage;
}

// The programs the launcher needs beside it.
void CheckPrograms(const Medium& medium, const ParamView& view, Findings& findings) {
  const std::string setup = medium.Program("setup");
  if (!platform::PathExists(*medium.Host(setup))) findings.Error(setup, "missing: the medium has no launcher");
  const std::string unzip = medium.Program("unzip");
  if (view.bootstrap && !platform::PathExists(*medium.Host(unzip))) {
    findings.Error(unzip, "missing: the bootstrap cannot expand the staged archives");
  } else if (view.bootstrap && platform::IsDirectory(*medium.Host(unzip))) {
    findings.Error(unzip, "a directory, not a program: the bootstrap cannot expand the staged archives");
  }
}

}  // namespace

Findings CheckMedium(const Medium& medium) {
  Findings findings;
  ParamView view;
  const std::optional<ParamFile> file = FindParamFile(medium);
  if (file) {
    view = CheckParamFile(medium, *file, findings);
  } else {
    findings.Error("qelparam.ini", "not found beside the launcher or one level above: the launcher ends with -2");
  }
  CheckPrograms(medium, view, findings);
  StagedArchives archives(medium, findings);
  CheckStageArea(medium, view, archives, findings);
  if (file) {
    CheckBootstrapPlan(medium, *file, view, archives, findings);
    CheckPrereqSections(medium, *file, view, findings);
  }
  archives.Settle();
  CheckCatalogues(medium, findings);
  return findings;
}

std::optional<Options> ReadOptions(const std::vector<std::string>& args, std::string& error) {
  Options options;
  for (const std::string& arg : args) {
    if (arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "--windows" || arg == "--linux") {
      options.kind = arg == "--windows" ? MediumKind::Windows : MediumKind::Linux;
    } else if (arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + arg;
      return std::nullopt;
    } else if (options.installDir) {
      error = "more than one INSTALL_DIR: " + *options.installDir + " and " + arg;
      return std::nullopt;
    } else {
      options.installDir = arg;
    }
  }
  return options;
}

int Main(const std::vector<std::string>& args, const std::string& ownDir) {
  std::string error;
  std::optional<Options> options = ReadOptions(args, error);
  if (!options) return UsageError(error);
  if (options->help) {
    platform::WriteStdout(kUsage);
    return kExitClean;
  }
  if (options->version) {
    platform::WriteStdout(std::string("qelcheck (setup launcher kit) ") + QEL_KIT_VERSION + "\n");
    return kExitClean;
  }
  const std::string dir = options->installDir.value_or(ownDir);
  if (!platform::IsDirectory(dir)) return UsageError(dir + " is not a directory");
  const MediumKind kind = options->kind ? *options->kind : KindFromLauncher(dir).value_or(HostKind());
  const Findings findings = CheckMedium(Medium(dir, kind));
  platform::WriteConsoleUtf8(findings.Lines(options->quiet));
  return findings.ExitStatus();
}

}  // namespace qelcheck

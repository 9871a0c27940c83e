#include "tools/qelcheck/check_medium.h"

#include "platform/platform.h"
#include "tools/qelcheck/bootstrap_checks.h"
#include "tools/qelcheck/catalogue_checks.h"
#include "tools/qelcheck/param_checks.h"
#include "tools/qelcheck/prereq_checks.h"
#include "tools/qelcheck/staged_archives.h"

namespace qelcheck {

namespace {

const char* const kUsage =
    "usage: qelcheck [--quiet] [--windows|--linux] [INSTALL_DIR]\n"
    "Checks the distribution medium whose launcher lies in INSTALL_DIR (default: the\n"
    "checker's own directory). Exit status: 0 clean, 1 warnings only, 2 errors.\n";

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
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + arg;
      return std::nullopt;
    } else if (options.installDir) {
      error = "more than one INSTALL_DIR";
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
  if (!options) {
    platform::WriteStderr("qelcheck: " + error + "\n" + kUsage);
    return kExitUsage;
  }
  const std::string dir = options->installDir.value_or(ownDir);
  if (!platform::IsDirectory(dir)) {
    platform::WriteStderr("qelcheck: " + dir + " is not a directory\n" + kUsage);
    return kExitUsage;
  }
  const MediumKind kind = options->kind ? *options->kind : KindFromLauncher(dir).value_or(HostKind());
  const Findings findings = CheckMedium(Medium(dir, kind));
  platform::WriteConsoleUtf8(findings.Lines(options->quiet));
  return findings.ExitStatus();
}

}  // namespace qelcheck

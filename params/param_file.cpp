#include "params/param_file.h"

#include "common/process_state.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/format.h"
#include "params/paths.h"
#include "params/scratch_dir.h"
#include "platform/platform.h"
#include "runtime/actions_log.h"

namespace params {

const char* const kParamSection = "Quelta";

namespace {

constexpr size_t kMessageChars = 4095;
const char* const kParamFileName = "qelparam.ini";

std::string Cut(std::string text, size_t capacity) {
  if (text.size() > capacity) text.resize(capacity);
  return text;
}

std::string LogFormat(const char* key, const std::string& path) {
  return messages::FormatText(messages::LogText(key), {path}, kMessageChars);
}

std::string UserFormat(const char* key, const std::string& path) {
  return messages::FormatText(messages::UserText(key), {path}, kMessageChars);
}

// "<dir>\..\qelparam.ini": the parent of a directory, named through it.
std::string ParentCandidate(const std::string& dir) {
  const char sep = platform::kPathSep;
  return dir + sep + ".." + sep + kParamFileName;
}

// Steps 1 to 11 of the search: the parameter file in use, or -1/-2.
int FindParamFile(ParamFileRun& run) {
  std::string launcherDir;
  bool haveLauncherDir = GetCurrentDir(launcherDir) == 0;
  if (haveLauncherDir && !run.bootstrapOnly && !run.rscratchPath) {
    if (CreateScratchDir(run.scratchDir, run.timestamp, run.scratchIdentity) != 0) return -1;
  }
  const std::string& logName = common::Process().actionsLogName;
  runtime::OpenActionsLog(run.scratchDir, run.timestamp, logName);

  std::string found;
  std::string requested;
  if (!run.paramFile.empty()) {
    if (platform::PathExists(run.paramFile)) {
      found = run.paramFile;
    } else {
      requested = run.paramFile;
    }
  }
  if (found.empty()) {
    const char sep = platform::kPathSep;
    for (const std::string& candidate :
         {run.startupDir + sep + kParamFileName, ParentCandidate(run.startupDir),
          launcherDir + sep + kParamFileName, ParentCandidate(launcherDir)}) {
      if (platform::PathExists(candidate)) {
        found = candidate;
        break;
      }
      runtime::WriteActionsLog(LogFormat("S_ERQELPARAMNFD_LOC", candidate));
    }
  }
  if (found.empty()) {
    messages::ShowError(messages::UserText("S_ERQELPARAMNFD"));
    runtime::WriteActionsLog(messages::LogText("S_ERQELPARAMNFD"));
    runtime::CloseActionsLog();
    return -2;
  }

  run.paramFile = MakeAbsolutePath(found);
  if (!requested.empty()) {
    messages::ConsoleWrite(UserFormat("S_ERUSR_PARAMFILE_NOT_FOUND", requested));
    runtime::WriteActionsLog(LogFormat("S_ERUSR_PARAMFILE_NOT_FOUND", requested));
    messages::ConsoleWrite(UserFormat("S_DEF_PARAMFILE", run.paramFile));
    runtime::WriteActionsLog(LogFormat("S_DEF_PARAMFILE", run.paramFile));
  } else {
    runtime::WriteActionsLog(LogFormat("S_USING_PARAMFILE", run.paramFile));
  }
  runtime::CloseActionsLog();

  platform::SetCurrentDir(run.startupDir);
  int status = GetCurrentDir(launcherDir);
  if (status != 0) return status;
  if (!run.shipHomeLoc) run.startupDir = launcherDir;
  return 0;
}

// "..\stage\Components\<component>\<version>\1\DataFiles\" with the
// platform's separator.
std::string StagedDefault(const std::string& component, const std::string& version) {
  const std::string sep(1, platform::kPathSep);
  return ".." + sep + "stage" + sep + "Components" + sep + component + sep + version + sep + "1" +
         sep + "DataFiles" + sep;
}

void ReportDroppedComponents(const ParamFileRun& run, const std::vector<std::string>& dropped) {
  std::string names;
  for (const std::string& name : dropped) names += (names.empty() ? "" : ",") + name;
  runtime::OpenActionsLog(run.scratchDir, run.timestamp, common::Process().actionsLogName);
  runtime::WriteActionsLog("WARNING: BOOTSTRAP_COMPS names more than 16 components; not bootstrapped: " +
                           names + "\n");
  runtime::CloseActionsLog();
}

void ReadSettings(ParamFileRun& run, Settings& s) {
  common::ProcessState& process = common::Process();
  const std::string& file = run.paramFile;
  auto whole = [&](const char* key, const std::string& dflt, size_t capacity = kMaxValueChars) {
    return GetParamValue(key, dflt, file, ValueMode::Whole, capacity);
  };
  auto first = [&](const char* key, const std::string& dflt) {
    return GetParamValue(key, dflt, file, ValueMode::First);
  };

  s.distribution = first("DISTRIBUTION", "F");
  process.distribution = s.distribution == "T";
  if (!process.jreLocGiven) {
    s.jreScratchLoc = whole("JRE_SCRATCH_LOC", "");
    run.jreLocation = whole("JRE_LOCATION", "");
    if (!s.jreScratchLoc.empty()) {
      run.scratchJrePath = Cut(run.scratchDir + platform::kPathSep + s.jreScratchLoc, kMaxValueChars);
    }
  }
  s.accessDir = whole("ACCESS_DIR", "");
  s.jreMemoryOptions = whole("JRE_MEMORY_OPTIONS", "");
  s.qtiVersion = whole("QTI_VERSION", "0.0.0.0.0", kMaxVersionChars);
  s.jreVersion = whole("JRE_VERSION", "", kMaxVersionChars);
  process.useJreOnly = whole("USEJREONLY", "FALSE");
  process.useJdkOnly = whole("USEJDKONLY", "FALSE");
  process.disableJrePrompt = whole("DISABLE_JRE_PROMPT", "FALSE");

  std::string qtiDefault = run.startupDir, coreDefault = run.startupDir, mendraDefault = run.startupDir;
  if (process.distribution) {
    qtiDefault = StagedDefault("quelta.swd.qti", s.qtiVersion);
    coreDefault = StagedDefault("quelta.swd.qti.core", s.qtiVersion);
    mendraDefault = StagedDefault("quelta.swd.mendra", s.qtiVersion);
  }
  s.qtiLocation = whole("QTI_LOCATION", Cut(qtiDefault, kMaxValueChars));
  s.qtiCoreLocation = whole("QTI_CORE_LOCATION", Cut(coreDefault, kMaxValueChars));
  s.mendraLocation = whole("MENDRA_LOCATION", Cut(mendraDefault, kMaxValueChars));
  s.bootstrap = first("BOOTSTRAP", "F");
  s.bootstrapSize = whole("BOOTSTRAP_SIZE", "45");
  s.thinJdbcFilename = whole("THIN_JDBC_FILENAME", "");
  s.jreOsdParam = whole("JRE_OSDPARAM", "");
  s.addToClasspath = whole("ADDTO_CLASSPATH", "");
  s.installClass = whole("INSTALL_CLASS", "quelta.admkit.qsi.qsic.QsicInstaller");
  s.installOneClickClass = whole("INSTALL_ONECLICK_CLASS", "quelta.admkit.qso.qsoc.QsocOneClickInstaller");
  if (process.distribution) s.bootstrap = "T";  // a medium always bootstraps
  if (run.prereqConfigLocation.empty() || process.prereqLocFromFromLocation == 1) {
    run.prereqConfigLocation = whole("PREREQ_CONFIG_LOCATION", run.prereqConfigLocation);
  }
  s.waitForCompletion = first("WAIT_FOR_COMPLETION", "F");
  s.copyThreads = whole("COPY_THREADS", "0", kMaxShortChars);
  s.extJlib = whole("EXT_JLIB", "");
  s.extLib = whole("EXT_LIB", "");
  s.extBin = whole("EXT_BIN", "");

  std::vector<std::string> components = SplitBootstrapComps(whole("BOOTSTRAP_COMPS", ""));
  if (components.size() > kMaxBootstrapComps) {
    ReportDroppedComponents(run, {components.begin() + kMaxBootstrapComps, components.end()});
    components.resize(kMaxBootstrapComps);
  }
  s.bootstrapComponents = components;
}

}  // namespace

std::string GetParamValue(const std::string& key, const std::string& defaultValue,
                          const std::string& path, ValueMode mode, size_t capacity) {
  std::string value = platform::ReadProfileString(kParamSection, key, defaultValue, path, kMaxValueChars);
  if (value.empty()) value = Cut(defaultValue, kMaxValueChars);
  if (mode == ValueMode::First && value.size() > 1) value.resize(1);
  return Cut(value, capacity);
}

std::vector<std::string> SplitBootstrapComps(const std::string& value) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= value.size()) {
    size_t comma = value.find(',', start);
    if (comma == std::string::npos) comma = value.size();
    if (comma > start) parts.push_back(value.substr(start, comma - start));
    start = comma + 1;
  }
  return parts;
}

int ReadParamFile(ParamFileRun& run, Settings& settings) {
  int status = FindParamFile(run);
  if (status != 0) return status;
  ReadSettings(run, settings);
  return 0;
}

}  // namespace params

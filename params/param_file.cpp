#include "params/param_file.h"

#include "common/actions_log.h"
#include "common/paths.h"
#include "common/process_facts.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/format.h"
#include "params/paths.h"
#include "platform/platform.h"

namespace params {

namespace {

const char* const kParamFileName = "qelparam.ini";

std::string LogFormat(const char* key, const std::string& path) {
  return messages::FormatText(messages::LogText(key), {path}, common::kMessageChars);
}

std::string UserFormat(const char* key, const std::string& path) {
  return messages::FormatText(messages::UserText(key), {path}, common::kMessageChars);
}

// "<dir>\..\qelparam.ini": the parent of a directory, named through it.
std::string ParentCandidate(const std::string& dir) {
  return common::JoinExactly(common::JoinExactly(dir, ".."), kParamFileName);
}

// The file -paramFile names when it exists, else the first of the four
// places beside and above the startup and launcher directories; each place
// tried in vain is recorded. "" when there is none.
std::string SearchParamFile(const ParamFileInput& in, std::string& requested) {
  if (!in.paramFileOption.empty()) {
    if (platform::PathExists(in.paramFileOption)) return in.paramFileOption;
    requested = in.paramFileOption;
  }
  for (const std::string& candidate :
       {common::JoinExactly(in.startupDir, kParamFileName), ParentCandidate(in.startupDir),
        common::JoinExactly(in.launcherDir.value_or(""), kParamFileName),
        ParentCandidate(in.launcherDir.value_or(""))}) {
    if (platform::PathExists(candidate)) return candidate;
    common::WriteActionsLog(LogFormat("S_ERQELPARAMNFD_LOC", candidate));
  }
  return {};
}

// A requested file that was missing is told on the console as well.
void ReportChoice(const std::string& requested, const std::string& paramFile) {
  if (requested.empty()) {
    common::WriteActionsLog(LogFormat("S_USING_PARAMFILE", paramFile));
    return;
  }
  messages::ConsoleWrite(UserFormat("S_ERUSR_PARAMFILE_NOT_FOUND", requested));
  common::WriteActionsLog(LogFormat("S_ERUSR_PARAMFILE_NOT_FOUND", requested));
  messages::ConsoleWrite(UserFormat("S_DEF_PARAMFILE", paramFile));
  common::WriteActionsLog(LogFormat("S_DEF_PARAMFILE", paramFile));
}

// The distribution default of a component: its staged data directory for
// QTI_VERSION, relative to the launcher's directory, ending with a separator.
std::string StagedDefault(const std::string& component, const std::string& version) {
  return common::StageDataDir(common::StageAreaNear(), component, version) + platform::kPathSep;
}

void ReportDroppedComponents(const std::string& scratchDir, const std::vector<std::string>& dropped) {
  std::string names;
  for (const std::string& name : dropped) names += (names.empty() ? "" : ",") + name;
  common::ActionsLogScope log(scratchDir);
  common::WriteActionsLog("WARNING: BOOTSTRAP_COMPS names more than 16 components; not bootstrapped: " +
                          names + "\n");
}

// Reads the keys in the order of the key table, each with the table's
// default and limit unless the run supplies the default.
class SettingsReader {
 public:
  explicit SettingsReader(const std::string& file) : file_(file) {}
  std::string Whole(const char* key) const { return Read(key, Row(key).defaultValue); }
  std::string Whole(const char* key, const std::string& dflt) const { return Read(key, dflt); }
  bool Flag(const char* key) const {
    return GetParamValue(key, Row(key).defaultValue, file_, ValueMode::First) == "T";
  }

 private:
  static const ParamKey& Row(const char* key) { return *FindParamKey(key); }
  std::string Read(const char* key, const std::string& dflt) const {
    return GetParamValue(key, dflt, file_, ValueMode::Whole, Row(key).maxChars);
  }
  const std::string& file_;
};

Settings ReadSettings(const ParamFileInput& in, const std::string& file) {
  const SettingsReader read(file);
  Settings s;
  s.distribution = read.Flag("DISTRIBUTION");
  if (!in.jreLocGiven) {
    s.jreScratchLoc = read.Whole("JRE_SCRATCH_LOC");
    s.jreLocation = read.Whole("JRE_LOCATION");
    if (!s.jreScratchLoc.empty()) {
      s.scratchJrePath = common::Cut(common::JoinExactly(in.scratchDir, s.jreScratchLoc), common::kMaxPath);
    }
  }
  s.accessDir = read.Whole("ACCESS_DIR");
  s.jreMemoryOptions = read.Whole("JRE_MEMORY_OPTIONS");
  s.qtiVersion = read.Whole("QTI_VERSION");
  s.jreVersion = read.Whole("JRE_VERSION");
  s.java = {read.Whole("USEJREONLY"), read.Whole("USEJDKONLY"), read.Whole("DISABLE_JRE_PROMPT")};

  const std::string home = common::Cut(in.shipHomeLoc ? in.startupDir : *in.launcherDir, common::kMaxPath);
  auto component = [&](const char* key, const char* name) {
    return read.Whole(key, s.distribution ? common::Cut(StagedDefault(name, s.qtiVersion), common::kMaxPath)
                                          : home);
  };
  s.qtiLocation = component("QTI_LOCATION", "quelta.swd.qti");
  s.qtiCoreLocation = component("QTI_CORE_LOCATION", "quelta.swd.qti.core");
  s.mendraLocation = component("MENDRA_LOCATION", "quelta.swd.mendra");
  s.bootstrap = read.Flag("BOOTSTRAP");
  s.bootstrapSize = read.Whole("BOOTSTRAP_SIZE");
  s.thinJdbcFilename = read.Whole("THIN_JDBC_FILENAME");
  s.jreOsdParam = read.Whole("JRE_OSDPARAM");
  s.addToClasspath = read.Whole("ADDTO_CLASSPATH");
  s.installClass = read.Whole("INSTALL_CLASS");
  s.installOneClickClass = read.Whole("INSTALL_ONECLICK_CLASS");
  if (s.distribution) s.bootstrap = true;  // a medium always bootstraps
  s.prereqConfigLocation = in.prereqConfigLocation;
  if (in.prereqConfigLocation.empty() || in.prereqLocFromFromLocation) {
    s.prereqConfigLocation = read.Whole("PREREQ_CONFIG_LOCATION", in.prereqConfigLocation);
  }
  s.waitForCompletion = read.Flag("WAIT_FOR_COMPLETION");
  s.copyThreads = read.Whole("COPY_THREADS");
  s.extJlib = read.Whole("EXT_JLIB");
  s.extLib = read.Whole("EXT_LIB");
  s.extBin = read.Whole("EXT_BIN");

  std::vector<std::string> components = common::SplitDroppingEmpty(read.Whole("BOOTSTRAP_COMPS"), ',');
  if (components.size() > kMaxBootstrapComps) {
    ReportDroppedComponents(in.scratchDir, {components.begin() + kMaxBootstrapComps, components.end()});
    components.resize(kMaxBootstrapComps);
  }
  s.bootstrapComponents = components;
  return s;
}

}  // namespace

std::string GetParamValue(const std::string& key, const std::string& defaultValue,
                          const std::string& path, ValueMode mode, size_t capacity) {
  std::string value =
      platform::ReadProfileString(kParamSection, key, defaultValue, path, common::kMaxValueChars);
  if (value.empty()) value = common::Cut(defaultValue, common::kMaxValueChars);
  if (mode == ValueMode::First && value.size() > 1) value.resize(1);
  return common::Cut(value, capacity);
}

ParamFileResult ReadParamFile(const ParamFileInput& in) {
  ParamFileResult result;
  std::string found;
  std::string requested;
  {
    common::ActionsLogScope log(in.scratchDir);
    found = SearchParamFile(in, requested);
    if (found.empty()) {
      messages::ShowError(messages::UserText("S_ERQELPARAMNFD"));
      common::WriteActionsLog(messages::LogText("S_ERQELPARAMNFD"));
      result.status = -2;
      return result;
    }
    // Made absolute against the directory the launcher was started in.
    result.paramFile = MakeAbsolutePath(found, common::Facts().debug);
    ReportChoice(requested, result.paramFile);
  }
  if (!in.launcherDir) {
    result.status = -1;
    return result;
  }
  result.settings = ReadSettings(in, result.paramFile);
  return result;
}

}  // namespace params

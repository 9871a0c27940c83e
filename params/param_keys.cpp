#include "params/param_keys.h"

#include "common/text.h"

namespace params {

const char* const kParamSection = "Quelta";

namespace {
constexpr size_t kMax = common::kMaxValueChars;
}  // namespace

const std::vector<ParamKey>& ParamKeys() {
  static const std::vector<ParamKey> keys = {
      {"DISTRIBUTION", "F", KeyKind::Flag, kMax,
       "T: run from a distribution medium (staged component defaults, forced bootstrap)"},
      {"JRE_SCRATCH_LOC", "", KeyKind::Location, kMax, "the Java runtime inside the scratch directory"},
      {"JRE_LOCATION", "", KeyKind::Location, kMax, "the Java runtime to use or to copy"},
      {"ACCESS_DIR", "", KeyKind::Location, kMax, "files copied into the scratch directory"},
      {"JRE_MEMORY_OPTIONS", "", KeyKind::Text, kMax, "Java runtime options, one argument per word"},
      {"QTI_VERSION", "0.0.0.0.0", KeyKind::Text, kMaxVersionChars, "version of the installer components"},
      {"JRE_VERSION", "", KeyKind::Text, kMaxVersionChars, "version of the Java runtime component"},
      {"USEJREONLY", "FALSE", KeyKind::ExactTrue, kMax, "TRUE: only a runtime home is accepted"},
      {"USEJDKONLY", "FALSE", KeyKind::ExactTrue, kMax, "TRUE: only a development-kit home is accepted"},
      {"DISABLE_JRE_PROMPT", "FALSE", KeyKind::ExactTrue, kMax, "TRUE: never ask for a Java runtime"},
      {"QTI_LOCATION", "the staged component, or the launcher's directory", KeyKind::Location, kMax,
       "the installer component"},
      {"QTI_CORE_LOCATION", "the staged component, or the launcher's directory", KeyKind::Location, kMax,
       "the installer core component"},
      {"MENDRA_LOCATION", "the staged component, or the launcher's directory", KeyKind::Location, kMax,
       "the patch-tool component"},
      {"BOOTSTRAP", "F", KeyKind::Flag, kMax, "T: copy the installer into the scratch directory first"},
      {"BOOTSTRAP_SIZE", "45", KeyKind::Number, kMax, "megabytes the bootstrap needs, 0 to 2047"},
      {"THIN_JDBC_FILENAME", "", KeyKind::Text, kMax, "an extra jar of the installer's jar directory"},
      {"JRE_OSDPARAM", "", KeyKind::Text, kMax, "an argument right after the Java executable"},
      {"ADDTO_CLASSPATH", "", KeyKind::Text, kMax, "extra class-path entries below the scratch directory"},
      {"INSTALL_CLASS", "quelta.admkit.qsi.qsic.QsicInstaller", KeyKind::Text, kMax, "the installer class"},
      {"INSTALL_ONECLICK_CLASS", "quelta.admkit.qso.qsoc.QsocOneClickInstaller", KeyKind::Text, kMax,
       "the installer class under -ONECLICK"},
      {"PREREQ_CONFIG_LOCATION", "the command line's value", KeyKind::Location, kMax,
       "the prerequisite configuration"},
      {"WAIT_FOR_COMPLETION", "F", KeyKind::Flag, kMaxShortChars, "T: wait for the installer to end"},
      {"COPY_THREADS", "0", KeyKind::Text, kMaxShortChars, "copy threads the installer is told to use"},
      {"EXT_JLIB", "", KeyKind::Location, kMax, "extra jar libraries"},
      {"EXT_LIB", "", KeyKind::Location, kMax, "extra libraries"},
      {"EXT_BIN", "", KeyKind::Location, kMax, "extra programs"},
      {"BOOTSTRAP_COMPS", "", KeyKind::List, kMax, "extra components to bootstrap, at most 16"},
      {"PLATFORM_PREREQS", "FALSE", KeyKind::Flag, kMaxShortChars, "T: also run the platform prerequisite checks"},
      {"HLP_LOCATION", "the installer's jar directory", KeyKind::Location, kMax,
       "not used: the help jars come from the installer's jar directory"},
      {"GLAZE_LOCATION", "the installer's jar directory", KeyKind::Location, kMax,
       "not used: the toolkit jars come from the installer's jar directory"},
      {"SOURCE", "", KeyKind::Text, kMax, "the installation source the installer is told"},
      {"NLS_ENABLED", "TRUE", KeyKind::Text, kMax, "the installer's national-language switch"},
  };
  return keys;
}

const ParamKey* FindParamKey(std::string_view name) {
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  for (const ParamKey& key : ParamKeys()) {
    std::string_view known = key.name;
    if (known.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; same && i < name.size(); ++i) same = upper(known[i]) == upper(name[i]);
    if (same) return &key;
  }
  return nullptr;
}

}  // namespace params

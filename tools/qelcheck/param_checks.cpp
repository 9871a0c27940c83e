#include "tools/qelcheck/param_checks.h"

#include <algorithm>

#include "common/paths.h"
#include "common/text.h"
#include "launcher/run_rules.h"
#include "params/param_file.h"
#include "params/param_keys.h"
#include "platform/platform.h"
#include "platform/shared/ini_reader.h"
#include "runtime/java_runtime.h"
#include "tools/qelcheck/near_names.h"

namespace qelcheck {

namespace {

const char* const kParamFileName = "qelparam.ini";

// As the launcher reads it: a regular file of a parameter file's size.
std::optional<std::string> ReadBytes(const std::string& path) {
  return platform::ReadRegularFile(path, platform::kMaxIniFileBytes);
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// Spellings that plainly mean "on" but that a switch does not take.
bool MeansOn(const std::string& value) {
  const std::string upper = Upper(value);
  for (const char* on : {"TRUE", "T", "YES", "Y", "ON", "1"}) {
    if (upper == on) return true;
  }
  return false;
}

// [sign] digits, as a number is plainly written.
bool IsPlainNumber(const std::string& text) {
  size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i) {
    if (!common::IsDigit(text[i])) return false;
  }
  return true;
}

std::vector<std::string> KnownKeyNames() {
  std::vector<std::string> names;
  for (const params::ParamKey& key : params::ParamKeys()) names.push_back(key.name);
  return names;
}

// Comments are lines the launcher has no key for; ";" is the kit's way.
bool IsComment(const std::string& name) { return !name.empty() && (name[0] == ';' || name[0] == '#'); }

class ParamChecker {
 public:
  ParamChecker(const Medium& medium, const ParamFile& file, Findings& findings)
      : medium_(medium), file_(file), findings_(findings) {}

  ParamView Run() {
    CheckLines();
    ReadView();
    for (const params::ParamKey& key : params::ParamKeys()) {
      if (view_.Line(key.name) > 0) CheckValue(key);
    }
    return view_;
  }

 private:
  void Error(size_t line, const std::string& text) { findings_.Error(file_.name, line, text); }
  void Warning(size_t line, const std::string& text) { findings_.Warning(file_.name, line, text); }

  // The value as the launcher takes it: the key table's default and limit
  // (a location's default depends on the run: "" stands for it here).
  std::string Taken(const params::ParamKey& key) const {
    const bool first = key.kind == params::KeyKind::Flag;
    return params::GetParamValue(key.name, Default(key), file_.host,
                                 first ? params::ValueMode::First : params::ValueMode::Whole, key.maxChars);
  }
  std::string Taken(const char* name) const { return Taken(*params::FindParamKey(name)); }
  static std::string Default(const params::ParamKey& key) {
    return key.kind == params::KeyKind::Location ? std::string() : std::string(key.defaultValue);
  }
  // The value as written, whole.
  std::string Written(const params::ParamKey& key) const {
    return platform::IniReadString(file_.content, params::kParamSection, key.name, "", std::string::npos);
  }

  // Sections and key names, line by line.
  void CheckLines() {
    bool inParams = false;
    bool anySection = false;
    size_t paramsLine = 0;
    for (const platform::IniLine& line : platform::IniReadLines(file_.content)) {
      if (line.isSection) {
        anySection = true;
        const bool params = platform::IniNamesEqual(line.name, params::kParamSection);
        if (params && paramsLine > 0) {
          Warning(line.number, "a second [" + line.name + "] section: the launcher reads only the first, at line " +
                                   std::to_string(paramsLine));
        } else if (params) {
          paramsLine = line.number;
        }
        inParams = params && paramsLine == line.number;
        continue;
      }
      if (IsComment(line.name) || line.name.empty()) continue;
      const params::ParamKey* key = params::FindParamKey(line.name);
      if (!anySection) {
        if (key) Warning(line.number, line.name + " stands before the [Quelta] section: the launcher does not read it");
        continue;
      }
      if (!inParams) continue;
      if (!key) {
        std::optional<std::string> near = NearestName(line.name, KnownKeyNames());
        Warning(line.number, line.name + ": not a key the launcher reads" +
                                 (near ? "; did you mean " + *near + "?" : " (the installer may read it)"));
        continue;
      }
      if (view_.lines.count(key->name)) {
        Warning(line.number, line.name + " is set again: the launcher reads only line " +
                                 std::to_string(view_.lines[key->name]));
        continue;
      }
      view_.lines[key->name] = line.number;
      if (!line.hasEquals) Warning(line.number, line.name + " has no \"=\": the launcher takes its default");
    }
    if (paramsLine == 0) {
      Error(0, "no [Quelta] section: the launcher takes the default of every setting");
    }
  }

  void ReadView() {
    view_.distribution = Taken("DISTRIBUTION") == "T";
    view_.bootstrap = view_.distribution || Taken("BOOTSTRAP") == "T";
    view_.platformPrereqs = Taken("PLATFORM_PREREQS") == "T";
    view_.jreLocation = Taken("JRE_LOCATION");
    view_.jreScratchLoc = Taken("JRE_SCRATCH_LOC");
    view_.qtiVersion = Taken("QTI_VERSION");
    view_.qtiVersionSet = view_.qtiVersion != params::FindParamKey("QTI_VERSION")->defaultValue;
    view_.qtiLocation = Taken("QTI_LOCATION");
    view_.qtiCoreLocation = Taken("QTI_CORE_LOCATION");
    view_.mendraLocation = Taken("MENDRA_LOCATION");
    view_.disableJrePrompt = runtime::IsExactlyTrue(Taken("DISABLE_JRE_PROMPT"));
    view_.components = common::SplitDroppingEmpty(Taken("BOOTSTRAP_COMPS"), ',');
    if (view_.components.size() > params::kMaxBootstrapComps) view_.components.resize(params::kMaxBootstrapComps);
  }

  void CheckValue(const params::ParamKey& key) {
    const size_t line = view_.Line(key.name);
    const std::string written = Written(key);
    const std::string name = key.name;
    if (written.empty()) return;  // the default
    switch (key.kind) {
      case params::KeyKind::Flag:
        // Only the first letter counts, so a cut changes nothing.
        if (written[0] != 'T' && (written[0] == 't' || MeansOn(written))) {
          Error(line, name + "=" + written + " is off: a flag is on only when its first letter is an upper-case T");
        }
        return;
      case params::KeyKind::ExactTrue:
        if (!runtime::IsExactlyTrue(written) && MeansOn(written)) {
          Error(line, name + "=" + written + " is off: it is on only for the text TRUE, exactly");
        }
        return;
      default:
        break;
    }
    if (written.size() > key.maxChars) {
      Error(line, name + ": the value has " + std::to_string(written.size()) + " characters; the launcher keeps the first " +
                      std::to_string(key.maxChars));
    }
    const std::string taken = Taken(key);
    if (name == "BOOTSTRAP_SIZE") CheckBootstrapSize(line, taken);
    if (name == "BOOTSTRAP_COMPS") CheckComponentList(line, taken);
    if (name == "HLP_LOCATION" || name == "GLAZE_LOCATION") {
      Warning(line, name + " changes nothing: the launcher always takes these jars from the installer's jlib directory");
    }
    if (name == "SOURCE") CheckSource(line, taken);
    if (key.kind == params::KeyKind::Location) CheckLocation(key, line, taken);
  }

  void CheckBootstrapSize(size_t line, const std::string& taken) {
    const long megabytes = launcher::ParseBootstrapSize(taken);
    if (!launcher::BootstrapSizeInRange(megabytes)) {
      if (view_.bootstrap) {
        Error(line, "BOOTSTRAP_SIZE=" + taken + " is outside 0 to " + std::to_string(launcher::kMaxBootstrapMegabytes) +
                        ": the launcher runs without the bootstrap");
      }
    } else if (!IsPlainNumber(taken)) {
      Warning(line, "BOOTSTRAP_SIZE=" + taken + " is read as " + std::to_string(megabytes));
    }
  }

  void CheckComponentList(size_t line, const std::string& taken) {
    const std::vector<std::string> kept = common::SplitDroppingEmpty(taken, ',');
    const size_t pieces = static_cast<size_t>(std::count(taken.begin(), taken.end(), ',')) + 1;
    if (pieces > kept.size()) Warning(line, "BOOTSTRAP_COMPS has empty entries: the launcher drops them");
    if (kept.size() > params::kMaxBootstrapComps) {
      std::string left;
      for (size_t i = params::kMaxBootstrapComps; i < kept.size(); ++i) left += (left.empty() ? "" : ",") + kept[i];
      Error(line, "BOOTSTRAP_COMPS names " + std::to_string(kept.size()) + " components: the launcher bootstraps the first " +
                      std::to_string(params::kMaxBootstrapComps) + " and leaves out " + left);
    }
  }

  // A value that starts with http:// is a web address; anything else lies
  // below the launcher's directory.
  void CheckSource(size_t line, const std::string& taken) {
    if (Upper(taken.substr(0, 7)) == "HTTP://") return;
    std::optional<std::string> host = medium_.Host(taken);
    if (host && !platform::PathExists(*host)) {
      Warning(line, "SOURCE: " + taken + " names nothing on the medium; the installer is told to install from there");
    }
  }

  // Locations whose use does not depend on what is staged; those of a
  // distribution medium's components are checked with the stage area.
  void CheckLocation(const params::ParamKey& key, size_t line, const std::string& taken) {
    const std::string name = key.name;
    std::optional<std::string> host = medium_.Host(taken);
    if (!host) return;
    if (platform::PathExists(*host)) {
      if (name == "JRE_LOCATION" && !view_.distribution) CheckJavaHome(line, taken, *host);
      return;
    }
    const std::string missing = name + ": " + taken + " names nothing";
    if (name == "ACCESS_DIR" || name == "EXT_JLIB" || name == "EXT_LIB" || name == "EXT_BIN") {
      if (view_.bootstrap) Warning(line, missing + ": the bootstrap copies nothing from it");
    } else if (name == "PREREQ_CONFIG_LOCATION") {
      Warning(line, missing + ": the installer is told a prerequisite configuration that does not exist");
    } else if (name == "JRE_LOCATION" && !view_.distribution) {
      Error(line, missing + ": the launcher finds no Java runtime");
    } else if ((name == "QTI_LOCATION" || name == "QTI_CORE_LOCATION" || name == "MENDRA_LOCATION") &&
               !view_.distribution) {
      Error(line, missing + ": the installer's files are not there");
    }
  }

  // A Java home the launcher starts (or copies and then starts).
  void CheckJavaHome(size_t line, const std::string& taken, const std::string& host) {
    for (const std::string& program : medium_.JavaPrograms()) {
      if (!platform::PathExists(common::AppendPath(common::AppendPath(host, "bin"), program))) {
        Error(line, "JRE_LOCATION: " + taken + " holds no " + medium_.Join("bin", program) + ": the installer cannot start");
      }
    }
  }

  const Medium& medium_;
  const ParamFile& file_;
  Findings& findings_;
  ParamView view_;
};

}  // namespace

size_t ParamView::Line(const std::string& key) const {
  auto it = lines.find(key);
  return it == lines.end() ? 0 : it->second;
}

std::optional<ParamFile> FindParamFile(const Medium& medium) {
  for (const std::string& name : {std::string(kParamFileName), medium.Join("..", kParamFileName)}) {
    const std::string host = *medium.Host(name);
    if (!platform::PathExists(host) || platform::IsDirectory(host)) continue;
    std::optional<std::string> content = ReadBytes(host);
    if (content) return ParamFile{name, host, *content};
  }
  return std::nullopt;
}

ParamView CheckParamFile(const Medium& medium, const ParamFile& file, Findings& findings) {
  return ParamChecker(medium, file, findings).Run();
}

}  // namespace qelcheck

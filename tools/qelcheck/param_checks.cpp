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

// Line `number` (from 1) of the file, lines ended as the profile reader ends
// them: CR LF, a lone CR or a lone LF.
std::string RawLine(const std::string& content, size_t number) {
  size_t start = 0;
  for (size_t n = 1; start <= content.size(); ++n) {
    size_t end = content.find_first_of("\r\n", start);
    if (end == std::string::npos) end = content.size();
    if (n == number) return content.substr(start, end - start);
    start = end + (content.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return {};
}

// What the launcher would take from `line`, which sets `name`, had it
// stood in its section under the name of `key`.
std::string ValueOfLine(const std::string& line, const std::string& name, const params::ParamKey& key) {
  const std::string alone = "[" + std::string(params::kParamSection) + "]\n" + line + "\n";
  const std::string value = platform::IniReadString(alone, params::kParamSection, name, "", key.maxChars);
  return key.kind == params::KeyKind::Flag ? value.substr(0, 1) : value;
}

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
    CheckUnread();
    return view_;
  }

 private:
  void Error(size_t line, const std::string& text) { findings_.Error(file_.name, line, text); }
  void Warning(size_t line, const std::string& text) { findings_.Warning(file_.name, line, text); }

  // A line the launcher never reads: a key out of its section, set again,
  // or a slip of the keyboard from a key it reads.
  struct Unread {
    size_t line;
    std::string name;             // as the line writes it
    const params::ParamKey* key;  // the key the line sets or almost names
    std::string text;             // what the finding says
    bool misspelt;
    std::string hint;             // the key meant, for a slip
  };

  // Whether two values, as the launcher takes them, make the same run.
  bool SameEffect(const params::ParamKey& key, const std::string& a, const std::string& b) const {
    if (key.kind == params::KeyKind::Flag) {
      if (std::string(key.name) == "BOOTSTRAP" && view_.distribution) return true;  // always on there
      return (a == "T") == (b == "T");
    }
    if (key.kind == params::KeyKind::ExactTrue) return runtime::IsExactlyTrue(a) == runtime::IsExactlyTrue(b);
    return a == b;
  }

  // An unread line is an error when its value would change the run: the
  // launcher then does other than the line asks.
  void CheckUnread() {
    for (const Unread& u : unread_) {
      const std::string value = ValueOfLine(RawLine(file_.content, u.line), u.name, *u.key);
      const std::string taken = Taken(*u.key);
      if (u.misspelt && view_.Line(u.key->name) > 0) {
        Warning(u.line, u.text + u.hint + " (" + u.key->name + " is set too)");
      } else if (SameEffect(*u.key, value, taken)) {
        Warning(u.line, u.text + u.hint);
      } else {
        Error(u.line, u.text + "; it takes " + u.key->name + "=" + (taken.empty() ? std::string("its default") : taken) +
                          ", not " + value + u.hint);
      }
    }
  }

  bool HasCertifiedSection() const {
    for (const platform::IniLine& line : platform::IniReadLines(file_.content)) {
      if (line.isSection && line.name == "Certified Versions") return true;
    }
    return false;
  }

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
    size_t secondSection = 0;
    size_t paramsLine = 0;
    for (const platform::IniLine& line : platform::IniReadLines(file_.content)) {
      if (line.isSection) {
        anySection = true;
        const bool params = platform::IniNamesEqual(line.name, params::kParamSection);
        if (params && paramsLine > 0) {
          Warning(line.number, "a second [" + line.name + "] section: the launcher reads only the first, at line " +
                                   std::to_string(paramsLine));
          secondSection = line.number;
        } else if (params) {
          paramsLine = line.number;
        }
        inParams = params && paramsLine == line.number;
        continue;
      }
      if (IsComment(line.name) || line.name.empty()) continue;
      const params::ParamKey* key = params::FindParamKey(line.name);
      if (!anySection) {
        if (key && line.hasEquals) {
          unread_.push_back({line.number, line.name, key, line.name + " stands before the [Quelta] section: the launcher does not read it", false, ""});
        }
        continue;
      }
      if (!inParams) {
        if (key && line.hasEquals && secondSection > 0 && paramsLine > 0 &&
            platform::IniNamesEqual(CurrentSection(line.number), params::kParamSection)) {
          unread_.push_back({line.number, line.name, key, line.name + " stands in the second [Quelta] section, at line " +
                                                   std::to_string(secondSection) + ": the launcher does not read it", false, ""});
        }
        continue;
      }
      if (!key) {
        std::optional<std::string> near = NearestName(line.name, KnownKeyNames());
        const std::string text = line.name + ": not a key the launcher reads";
        if (near && line.hasEquals) {
          unread_.push_back({line.number, line.name, params::FindParamKey(*near), text, true, "; did you mean " + *near + "?"});
        } else {
          Warning(line.number, text + (near ? "; did you mean " + *near + "?" : " (the installer may read it)"));
        }
        continue;
      }
      if (view_.lines.count(key->name)) {
        const std::string text = line.name + " is set again: the launcher reads only line " +
                                 std::to_string(view_.lines[key->name]);
        if (line.hasEquals) {
          unread_.push_back({line.number, line.name, key, text, false, ""});
        } else {
          Warning(line.number, text);
        }
        continue;
      }
      view_.lines[key->name] = line.number;
      if (!line.hasEquals) Warning(line.number, line.name + " has no \"=\": the launcher takes its default");
    }
    if (paramsLine == 0) {
      Error(0, "no [Quelta] section: the launcher takes the default of every setting");
    }
  }

  // The name of the section line `number` stands in.
  std::string CurrentSection(size_t number) const {
    std::string name;
    for (const platform::IniLine& line : platform::IniReadLines(file_.content)) {
      if (line.number > number) break;
      if (line.isSection) name = line.name;
    }
    return name;
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
    view_.thinJdbc = Taken("THIN_JDBC_FILENAME");
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
          const std::string off = name + "=" + written + " is off: a flag is on only when its first letter is an upper-case T";
          if (name == "BOOTSTRAP" && view_.distribution) {
            Warning(line, off + "; a distribution medium bootstraps all the same");
          } else if (name == "PLATFORM_PREREQS" && !HasCertifiedSection()) {
            Warning(line, off + "; there is no [Certified Versions] section for it to check");
          } else {
            Error(line, off);
          }
        }
        return;
      case params::KeyKind::ExactTrue:
        // These choose among the runtimes of the machine that installs, or
        // what to do when it has none: what "off" changes depends on it.
        if (!runtime::IsExactlyTrue(written) && MeansOn(written)) {
          Warning(line, name + "=" + written + " is off: it is on only for the text TRUE, exactly; what that changes "
                               "depends on the Java runtime the machine that installs holds or the user gives");
        }
        return;
      default:
        break;
    }
    if (written.size() > key.maxChars) {
      const std::string cut = name + ": the value has " + std::to_string(written.size()) +
                              " characters; the launcher keeps the first " + std::to_string(key.maxChars);
      // A cut version names no staged version: the launcher falls back as
      // for any other (checked with the stage area).
      if (name == "QTI_VERSION" || name == "JRE_VERSION") {
        Warning(line, cut);
      } else {
        Error(line, cut);
      }
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
  std::vector<Unread> unread_;
};

}  // namespace

size_t ParamView::Line(const std::string& key) const {
  auto it = lines.find(key);
  return it == lines.end() ? 0 : it->second;
}

std::optional<ParamFile> FindParamFile(const Medium& medium) {
  // The launcher takes the first place where anything at all stands.
  for (const std::string& name : {std::string(kParamFileName), medium.Join("..", kParamFileName)}) {
    const std::string host = *medium.Host(name);
    if (!platform::PathExists(host)) continue;
    std::optional<std::string> content = ReadBytes(host);
    return ParamFile{name, host, content.value_or(""), !content.has_value()};
  }
  return std::nullopt;
}

ParamView CheckParamFile(const Medium& medium, const ParamFile& file, Findings& findings) {
  if (file.unreadable) {
    findings.Error(file.name, 0, "not a file the launcher can read (a directory, or too big): the launcher takes it "
                                 "for the parameter file all the same, reads nothing from it and runs with the "
                                 "default of every setting");
    return ParamView{};
  }
  return ParamChecker(medium, file, findings).Run();
}

}  // namespace qelcheck

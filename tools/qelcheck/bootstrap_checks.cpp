#include "tools/qelcheck/bootstrap_checks.h"

#include <algorithm>

#include "bootstrap/component_bootstrap.h"
#include "bootstrap/tree_ops.h"
#include "common/paths.h"
#include "common/text.h"
#include "platform/platform.h"

namespace qelcheck {

namespace {

constexpr unsigned kAnyExecute = 0111;

std::vector<std::string> SortedDirs(const std::string& host) {
  std::vector<std::string> names;
  if (std::optional<std::vector<platform::DirEntry>> listing = platform::ListDirectory(host)) {
    for (const platform::DirEntry& entry : *listing) {
      if (entry.isDirectory) names.push_back(entry.name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool IsVersion(const std::string& name) {
  return name == bootstrap::kLowestVersion ||
         bootstrap::VersionLess(bootstrap::kLowestVersion, name, bootstrap::kVersionFields) == 1;
}

std::string DataDirOf(const Medium& medium, const std::string& stage, const std::string& component,
                      const std::string& version) {
  return medium.Join({stage, component, version, "1", "DataFiles"});
}

class PlanChecker {
 public:
  PlanChecker(const Medium& medium, const ParamFile& file, const ParamView& view, StagedArchives& archives,
              Findings& findings)
      : medium_(medium), file_(file), view_(view), archives_(archives), findings_(findings),
        stage_(medium.StageArea()) {}

  void Run() {
    if (!view_.bootstrap) return;
    PromptDisabled();
    ExpandComponents();
    if (!view_.jreScratchLoc.empty()) CheckScratchRuntime();
    if (!view_.distribution) return;
    LeftOutSteps();
    NamedStep(bootstrap::kQtiComponent, "QTI_LOCATION", view_.qtiLocation, steps_.qti, listed_.qti, true);
    // A failed expansion of the core is passed over, but the installer's
    // class path is then made from the core's location: it names nothing.
    NamedStep(bootstrap::kQtiCoreComponent, "QTI_CORE_LOCATION", view_.qtiCoreLocation, steps_.qtiCore,
              listed_.qtiCore, true);
    NamedStep(bootstrap::kMendraComponent, "MENDRA_LOCATION", view_.mendraLocation, steps_.mendra, listed_.mendra,
              true);
    if (steps_.runtime) RuntimeStep();
    CheckThinJdbc();
  }

  // Nothing names a runtime and nobody may be asked for one: the run ends
  // before the bootstrap, whatever the machine.
  void PromptDisabled() {
    if (!view_.jreLocation.empty() || !view_.jreScratchLoc.empty() || !view_.disableJrePrompt) return;
    ParamError("DISABLE_JRE_PROMPT", "no Java runtime is set (JRE_LOCATION, JRE_SCRATCH_LOC) and "
                                     "DISABLE_JRE_PROMPT=TRUE: the run ends with -1 before the bootstrap");
  }

  // The extra jar of the installer's jar directory must come out of the
  // archives the bootstrap expands.
  void CheckThinJdbc() {
    if (view_.thinJdbc.empty() || !steps_.qti) return;
    std::vector<std::string> path = {"qti", "jlib"};
    for (const std::string& part : common::SplitDroppingEmpty(view_.thinJdbc, medium_.sep())) {
      for (const std::string& piece : common::SplitDroppingEmpty(part, kLinuxPathSep)) {
        if (piece == "..") {
          if (!path.empty()) path.pop_back();
        } else if (piece != ".") {
          path.push_back(piece);
        }
      }
    }
    for (const DataDir* data : expanded_) {
      for (const StagedEntry& entry : data->entries) {
        if (!entry.isDir && entry.parts.size() == path.size() && StartsWith(entry.parts, path)) return;
      }
    }
    for (const DataDir* data : earlyEntries_) {
      for (const StagedEntry& entry : data->entries) {
        if (!entry.isDir && entry.parts.size() == path.size() && StartsWith(entry.parts, path)) return;
      }
    }
    ParamError("THIN_JDBC_FILENAME", "THIN_JDBC_FILENAME: no archive the bootstrap expands holds " +
                                         medium_.Join(path) + ": the installer's class path names a jar that is not there");
  }

 private:
  struct Steps {
    bool qti = true, qtiCore = true, mendra = true, runtime = true;
  };
  // A named step's component as BOOTSTRAP_COMPS lists it: the entry wins
  // over the location the file gives.
  struct Listed {
    std::string item;  // "name[:version]" as written
    std::optional<std::string> version;
  };
  struct ListedSteps {
    std::optional<Listed> qti, qtiCore, mendra;
  };

  void ParamError(const char* key, const std::string& text) { findings_.Error(file_.name, view_.Line(key), text); }
  void ParamWarning(const char* key, const std::string& text) {
    findings_.Warning(file_.name, view_.Line(key), text);
  }
  std::string StageName() const { return stage_.value_or(medium_.Join({"..", "stage", "Components"})); }
  std::string Host(const std::string& path) const { return medium_.Host(path).value_or(path); }
  bool Exists(const std::string& path) const { return platform::PathExists(Host(path)); }
  bool Staged(const std::string& component) const {
    return stage_ && platform::IsDirectory(Host(medium_.Join(*stage_, component)));
  }
  std::string Highest(const std::string& component) const {
    return bootstrap::FindHighestVersionDir(Host(medium_.Join(*stage_, component)) + platform::kPathSep);
  }
  // The data directory of the highest staged version, when it exists.
  std::optional<std::string> HighestDataDir(const std::string& component) const {
    if (!Staged(component)) return std::nullopt;
    std::string dir = DataDirOf(medium_, *stage_, component, Highest(component));
    if (!platform::IsDirectory(Host(dir))) return std::nullopt;
    return dir;
  }

  // BOOTSTRAP_COMPS: which steps run, and every other component expanded
  // first, from the stage area of any bootstrap.
  void ExpandComponents() {
    if (view_.components.empty()) return;
    steps_ = {false, false, false, false};
    for (const std::string& item : view_.components) {
      const bootstrap::ComponentEntry entry = bootstrap::SplitComponentEntry(item);
      if (entry.name.empty()) {
        ParamWarning("BOOTSTRAP_COMPS", "BOOTSTRAP_COMPS entry " + item + " names no component: the launcher passes over it");
        continue;
      }
      if (entry.name == bootstrap::kQtiComponent) {
        steps_.qti = true;
        listed_.qti = Listed{item, entry.version};
      } else if (entry.name == bootstrap::kQtiCoreComponent) {
        steps_.qtiCore = true;
        listed_.qtiCore = Listed{item, entry.version};
      } else if (entry.name == bootstrap::kMendraComponent) {
        steps_.mendra = true;
        listed_.mendra = Listed{item, entry.version};
      } else if (entry.name == bootstrap::kJreComponent) {
        steps_.runtime = true;
        if (entry.version) {
          ParamWarning("BOOTSTRAP_COMPS", "BOOTSTRAP_COMPS: the version of " + item +
                                              " is not used: the runtime comes from JRE_LOCATION or the highest staged version");
        }
      } else {
        OtherComponent(entry);
      }
    }
  }

  // A list that names only extra components turns off the steps of the
  // installer, the patch tool and the runtime the file names.
  void LeftOutSteps() {
    // Java passes over class-path entries that name nothing; but the core
    // holds the jar of the installer's own class.
    ClassPathLeftOut(steps_.qtiCore, bootstrap::kQtiCoreComponent, view_.qtiCoreLocation);
    std::vector<std::string> left;
    if (!steps_.qti) left.push_back(bootstrap::kQtiComponent);
    if (!steps_.mendra) left.push_back(bootstrap::kMendraComponent);
    if (!steps_.runtime && !view_.jreLocation.empty() && view_.jreScratchLoc.empty()) {
      left.push_back(bootstrap::kJreComponent);
      RuntimeLeftOut();
    }
    if (left.empty()) return;
    std::string names;
    for (size_t i = 0; i < left.size(); ++i) {
      names += (i == 0 ? "" : i + 1 == left.size() ? " and " : ", ") + left[i];
    }
    ParamWarning("BOOTSTRAP_COMPS", "BOOTSTRAP_COMPS leaves out " + names +
                                        ": the launcher bootstraps only the components it lists");
  }

  // A step left out leaves its location as the file gives it (or its staged
  // data directory): the installer's class path takes the core's jars, the
  // installer's own among them, from its jlib directory.
  void ClassPathLeftOut(bool runs, const char* component, const std::string& location) {
    if (runs || !stage_) return;
    const std::string dir = location.empty() ? DataDirOf(medium_, *stage_, component, view_.qtiVersion) : location;
    if (medium_.IsAbsolute(dir)) return;  // a place on the machine that installs
    if (platform::IsDirectory(common::AppendPath(Host(dir), "jlib"))) return;
    ParamError("BOOTSTRAP_COMPS", "BOOTSTRAP_COMPS leaves out " + std::string(component) +
                                      ": the installer's class path takes its jars from " + medium_.Join(dir, "jlib") +
                                      ", which is not there");
  }

  // Without the runtime step the installer starts from JRE_LOCATION itself:
  // a runtime's data directory holds archives, not a Java program.
  void RuntimeLeftOut() {
    const std::string& location = view_.jreLocation;
    if (medium_.IsAbsolute(location)) return;  // a place on the machine that installs
    for (const std::string& program : medium_.JavaPrograms()) {
      if (platform::PathExists(common::AppendPath(common::AppendPath(Host(location), "bin"), program))) continue;
      ParamError("BOOTSTRAP_COMPS", "BOOTSTRAP_COMPS leaves out " + std::string(bootstrap::kJreComponent) +
                                        ": the installer is started from JRE_LOCATION, " + location + ", which holds no " +
                                        medium_.Join("bin", program));
      return;
    }
  }

  void OtherComponent(const bootstrap::ComponentEntry& entry) {
    if (!stage_) return;  // reported with the stage area
    if (!Staged(entry.name)) {
      ParamError("BOOTSTRAP_COMPS", "BOOTSTRAP_COMPS: " + entry.name + " is not staged (no " +
                                        medium_.Join(*stage_, entry.name) + "): the bootstrap fails");
      return;
    }
    const std::string version = entry.version.value_or(Highest(entry.name));
    const std::string dir = DataDirOf(medium_, *stage_, entry.name, version);
    if (!platform::IsDirectory(Host(dir))) {
      if (entry.version) {
        ParamError("BOOTSTRAP_COMPS", "BOOTSTRAP_COMPS: " + entry.name + ":" + version + " is not staged (no " + dir +
                                          "): the bootstrap fails");
      } else {
        HighestWithoutData(entry.name, true);
      }
      return;
    }
    earlyEntries_.push_back(&archives_.Use(dir));
  }

  // The installer, its core or the patch tool: the location the file gives
  // (or its staged default), else the highest staged version.
  void NamedStep(const char* component, const char* key, const std::string& location, bool runs,
                 const std::optional<Listed>& listed, bool needed) {
    if (!runs) return;
    std::string dir;
    if (listed) {
      if (!stage_) return;  // reported with the stage area
      if (!listed->version && !Staged(component)) {
        NotStaged(component, needed);
        return;
      }
      dir = DataDirOf(medium_, *stage_, component, listed->version.value_or(Highest(component)));
    } else if (!location.empty()) {
      if (medium_.IsAbsolute(location)) return;  // a place on the installing machine
      dir = location;
    } else if (stage_) {
      dir = DataDirOf(medium_, *stage_, component, view_.qtiVersion);
    } else {
      return;
    }
    if (Exists(dir)) {
      if (!platform::IsDirectory(Host(dir))) {
        NotADirectory(listed ? "BOOTSTRAP_COMPS" : location.empty() ? "QTI_VERSION" : key, dir, needed);
        return;
      }
      Expanded(archives_.Use(dir, needed));
      return;
    }
    std::optional<std::string> highest = HighestDataDir(component);
    if (!highest) {
      if (!Staged(component) || !HighestWithoutData(component, needed)) NotStaged(component, needed);
      return;
    }
    const std::string instead = ": the launcher takes the highest staged version, " + Highest(component);
    if (listed) {
      ParamWarning("BOOTSTRAP_COMPS", "BOOTSTRAP_COMPS: " + listed->item + " is not staged" + instead);
    } else if (!location.empty()) {
      ParamWarning(key, std::string(key) + ": " + location + " names nothing" + instead);
    } else if (view_.qtiVersionSet) {
      ParamWarning("QTI_VERSION", "QTI_VERSION=" + view_.qtiVersion + ": no such version of " + component +
                                      " is staged" + instead);
    }
    Expanded(archives_.Use(*highest, needed));
  }

  void Expanded(const DataDir& data) { expanded_.push_back(&data); }



  // A location that names a file: the launcher hands it to the unzip tool,
  // which finds no archives in it.
  void NotADirectory(const char* key, const std::string& path, bool needed) {
    const std::string text = std::string(key) + ": " + path + " is a file, not a directory: the unzip tool finds "
                             "no archives in it and the bootstrap " + (needed ? "fails" : "passes over the installer core");
    needed ? ParamError(key, text) : ParamWarning(key, text);
  }

  // The highest version of a staged component without its data directory:
  // the launcher takes it all the same, and finds nothing to expand. False
  // when the highest version has its data directory.
  bool HighestWithoutData(const std::string& component, bool needed) {
    const std::string version = Highest(component);
    const std::string dir = DataDirOf(medium_, *stage_, component, version);
    if (version.empty() || platform::IsDirectory(Host(dir))) return false;
    const std::string text = "the launcher takes the highest version, " + version + ", which holds no " +
                             medium_.Join("1", "DataFiles") + ": the bootstrap " +
                             (needed ? "fails" : "passes over the installer core");
    const std::string where = medium_.Join({*stage_, component, version});
    needed ? findings_.Error(where, text) : findings_.Warning(where, text);
    return true;
  }

  void NotStaged(const char* component, bool needed) {
    const std::string text = std::string(component) + " is not staged: the bootstrap " +
                             (needed ? "fails" : "passes over the installer core");
    needed ? findings_.Error(StageName(), text) : findings_.Warning(StageName(), text);
  }

  // The runtime step, when the settings know a runtime (else the user is
  // asked for one, and nothing staged is used).
  void RuntimeStep() {
    const std::optional<std::string> jre = HighestDataDir(bootstrap::kJreComponent);
    const std::optional<std::string> jdk = HighestDataDir(bootstrap::kJdkComponent);
    if (view_.jreLocation.empty() && view_.jreScratchLoc.empty()) {
      if (view_.disableJrePrompt) {
        return;  // reported for every bootstrap
      } else if (jre || jdk) {
        ParamWarning("JRE_LOCATION", "JRE_LOCATION is not set: the launcher asks the user for a Java runtime "
                                     "instead of taking the staged one");
      }
      return;
    }
    const std::string& location = view_.jreLocation;
    const bool relative = !location.empty() && !medium_.IsAbsolute(location);
    if (relative && Exists(location)) {
      if (!platform::IsDirectory(Host(location))) {
        NotADirectory("JRE_LOCATION", location, true);
        return;
      }
      CheckRuntime(location, false);
      return;
    }
    if (!jre && !jdk) {
      if (!medium_.IsAbsolute(location)) {
        const std::string text = "no Java runtime is staged (" + std::string(bootstrap::kJreComponent) + " or " +
                                 bootstrap::kJdkComponent + "): the bootstrap fails";
        location.empty() ? ParamError("JRE_SCRATCH_LOC", text)
                         : ParamError("JRE_LOCATION", "JRE_LOCATION: " + location + " names nothing and " + text);
      }
      return;
    }
    CheckRuntime(jre ? *jre : *jdk, !jre);
  }

  // Names in an archive as the medium's file system tells them apart.
  bool SameName(const std::string& a, const std::string& b) const {
    if (!medium_.windows()) return a == b;
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return upper(x) == upper(y); });
  }
  bool StartsWith(const std::vector<std::string>& parts, const std::vector<std::string>& prefix) const {
    if (parts.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
      if (!SameName(parts[i], prefix[i])) return false;
    }
    return true;
  }

  // The runtime's archives expand below <scratch>/jre (a development kit's
  // below <scratch>/jdk); the installer runs in the first directory there.
  void CheckRuntime(const std::string& dir, bool devKit) {
    const DataDir& data = archives_.Use(dir);
    Expanded(data);
    if (data.archives.empty()) return;  // reported with the directory
    std::vector<std::string> home = {devKit ? "jdk" : "jre"};
    if (!devKit) {
      std::optional<std::string> first;
      for (const StagedEntry& entry : data.entries) {
        if (entry.parts.size() < 2 || !SameName(entry.parts[0], home[0])) continue;
        if (!first || bootstrap::ListedBefore(entry.parts[1], *first)) first = entry.parts[1];
      }
      if (!first) {
        findings_.Error(dir, "no archive holds a " + medium_.Join(home[0], "<name>") +
                                 " directory: the launcher finds no Java runtime after the bootstrap");
        return;
      }
      home.push_back(*first);
    }
    for (const std::string& program : medium_.JavaPrograms()) {
      std::vector<std::string> path = home;
      path.insert(path.end(), {"bin", program});
      auto found = std::find_if(data.entries.begin(), data.entries.end(), [&](const StagedEntry& entry) {
        return !entry.isDir && entry.parts.size() == path.size() && StartsWith(entry.parts, path);
      });
      if (found == data.entries.end()) {
        findings_.Error(dir, "the runtime " + medium_.Join(home) + " holds no " + medium_.Join("bin", program) +
                                 ": the installer cannot start");
      } else if (!medium_.windows() && (!found->unixMode || (*found->unixMode & kAnyExecute) == 0)) {
        findings_.Error(dir, medium_.Join(path) + " is not executable once expanded: its archive stores no "
                                                  "execute permission for it");
      }
    }
  }

  // Found there, it is the installer's runtime: its Java program must come
  // out of the same archives.
  void ScratchRuntimeHoldsJava(const std::vector<std::string>& location) {
    for (const std::string& program : medium_.JavaPrograms()) {
      std::vector<std::string> path = location;
      path.insert(path.end(), {"bin", program});
      bool found = false;
      for (const DataDir* data : earlyEntries_) {
        for (const StagedEntry& entry : data->entries) {
          found = found || (!entry.isDir && entry.parts.size() == path.size() && StartsWith(entry.parts, path));
        }
      }
      if (!found) {
        ParamError("JRE_SCRATCH_LOC", "JRE_SCRATCH_LOC: " + view_.jreScratchLoc + " comes out of the components "
                                      "BOOTSTRAP_COMPS expands without " + medium_.Join(path) +
                                      ": the launcher takes it for the runtime and the installer cannot start");
        return;
      }
    }
  }

  // JRE_SCRATCH_LOC counts when, after the other components of
  // BOOTSTRAP_COMPS are expanded, something is there.
  void CheckScratchRuntime() {
    std::vector<std::string> location;
    std::string part;
    for (char c : view_.jreScratchLoc + medium_.sep()) {
      if (c == medium_.sep() || c == kLinuxPathSep) {
        if (!part.empty() && part != ".") location.push_back(part);
        part.clear();
      } else {
        part += c;
      }
    }
    for (const DataDir* data : earlyEntries_) {
      for (const StagedEntry& entry : data->entries) {
        if (StartsWith(entry.parts, location)) {
          ScratchRuntimeHoldsJava(location);
          return;
        }
      }
    }
    ParamWarning("JRE_SCRATCH_LOC", "JRE_SCRATCH_LOC: " + view_.jreScratchLoc +
                                        " is in no archive of the components BOOTSTRAP_COMPS expands: the launcher "
                                        "takes the runtime of the runtime step instead");
  }

  const Medium& medium_;
  const ParamFile& file_;
  const ParamView& view_;
  StagedArchives& archives_;
  Findings& findings_;
  std::optional<std::string> stage_;
  Steps steps_;
  ListedSteps listed_;
  std::vector<const DataDir*> earlyEntries_;
  std::vector<const DataDir*> expanded_;  // by the named steps
};

}  // namespace

void CheckStageArea(const Medium& medium, const ParamView& view, StagedArchives& archives, Findings& findings) {
  const std::optional<std::string> stage = medium.StageArea();
  if (!stage) {
    if (view.distribution || (view.bootstrap && !view.components.empty())) {
      findings.Error(medium.Join({"..", "stage", "Components"}),
                     "no staged component area here or at " + medium.Join({"..", "..", "stage", "Components"}) +
                         ": the bootstrap finds no components");
    }
    return;
  }
  for (const std::string& component : SortedDirs(*medium.Host(*stage))) {
    const std::string componentDir = medium.Join(*stage, component);
    for (const std::string& version : SortedDirs(*medium.Host(componentDir))) {
      const std::string versionDir = medium.Join(componentDir, version);
      if (!IsVersion(version)) {
        findings.Warning(versionDir, "not a version: the launcher never takes it as the highest");
      }
      const std::string dataDir = medium.Join({versionDir, "1", "DataFiles"});
      if (!platform::IsDirectory(*medium.Host(dataDir))) {
        // An error where the launcher takes this version (with the plan).
        findings.Warning(versionDir, "holds no " + medium.Join("1", "DataFiles") + " directory: the bootstrap finds no archives in it");
        continue;
      }
      archives.Read(dataDir);
    }
  }
}

void CheckBootstrapPlan(const Medium& medium, const ParamFile& file, const ParamView& view,
                        StagedArchives& archives, Findings& findings) {
  PlanChecker(medium, file, view, archives, findings).Run();
}

}  // namespace qelcheck

#include "bootstrap/component_bootstrap.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "bootstrap/archive_expansion.h"
#include "bootstrap/free_space.h"
#include "bootstrap/tree_ops.h"
#include "common/process_state.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "params/scratch_dir.h"
#include "platform/platform.h"
#include "runtime/actions_log.h"

namespace bootstrap {

namespace {

constexpr size_t kMaxComponents = 16;

const char* const kQti = "quelta.swd.qti";
const char* const kQtiCore = "quelta.swd.qti.core";
const char* const kMendra = "quelta.swd.mendra";
const char* const kJre = "quelta.swd.jre";
const char* const kJdk = "quelta.jdk";
const char* const kExpanded = "Expanded";

std::string Joined(const std::string& dir, const std::string& name) {
  std::string path = dir;
  AppendPathPart(path, name);
  return path;
}

// Relative to the current directory at each use: the medium's launcher sits
// one or two levels below the directory that holds "stage".
std::string ChooseStageDir() {
  const std::string sep(1, platform::kPathSep);
  const std::string near = ".." + sep + "stage" + sep + "Components";
  if (PathExists(near)) return near;
  return ".." + sep + ".." + sep + "stage" + sep + "Components";
}

std::string ComponentDataDir(const std::string& stage, const std::string& name,
                             const std::string& version) {
  const std::string sep(1, platform::kPathSep);
  return stage + sep + name + sep + version + sep + "1" + sep + "DataFiles";
}

std::string HighestVersion(const std::string& stage, const std::string& name) {
  return FindHighestVersionDir(stage + platform::kPathSep + name + platform::kPathSep);
}

std::string HighestDataDir(const std::string& stage, const std::string& name) {
  return ComponentDataDir(stage, name, HighestVersion(stage, name));
}

// Measures one step on the millisecond tick counter; the unsigned difference
// stays right across one wrap of the counter.
class StepTimer {
 public:
  StepTimer() : start_(platform::TickCountMs()) {}
  // The component loop's line has three blanks before "seconds", the named
  // steps' lines two; readers of the timing log tell them apart by that.
  void Report(const std::string& name, bool componentLoop) const {
    const uint32_t elapsed = platform::TickCountMs() - start_;
    const char* format = componentLoop
                             ? "\n Time taken for bootstrapping %s is %5.5f   seconds"
                             : "\n Time taken for bootstrapping %s is %5.5f  seconds";
    char line[1024];
    std::snprintf(line, sizeof line, format, name.c_str(), elapsed * 0.001);
    runtime::WriteTimingLog(line);
  }

 private:
  uint32_t start_;
};

// Name and version of one BOOTSTRAP_COMPS entry "name[:version]". Empty
// pieces between colons are passed over, so "::" has no name at all.
struct ComponentEntry {
  std::string name;
  std::optional<std::string> version;
};

ComponentEntry SplitEntry(const std::string& entry) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start <= entry.size() && pieces.size() < 2) {
    size_t colon = entry.find(':', start);
    if (colon == std::string::npos) colon = entry.size();
    if (colon > start) pieces.push_back(entry.substr(start, colon - start));
    start = colon + 1;
  }
  ComponentEntry out;
  if (!pieces.empty()) out.name = pieces[0];
  if (pieces.size() > 1) out.version = pieces[1];
  return out;
}

struct StepFlags {
  bool qti = false;
  bool qtiCore = false;
  bool mendra = false;
  bool runtime = false;
};

class Bootstrap {
 public:
  explicit Bootstrap(BootstrapRun& run) : run_(run) {}
  int Run();

 private:
  bool ExpandComponents();
  void CheckScratchRuntime();
  bool DistributionSteps();
  bool RuntimeStep();
  bool QtiStep();
  void QtiCoreStep();
  bool MendraStep();
  bool PlainTreeCopies();
  void CopyExtLibraries();
  bool Intact();
  int Expand(const std::string& source, const std::string& unzipDir);
  int Copy(const std::string& source, const std::string& target);
  std::string Scratch(const std::string& name) const { return Joined(run_.scratchDir, name); }

  BootstrapRun& run_;
  StepFlags steps_;
  bool scratchRuntime_ = true;
  bool devKit_ = false;
  int result_ = kBootstrapNothingCopied;
  bool lost_ = false;  // the scratch directory is no longer the one the run made
  std::string stage_;
};

bool Bootstrap::Intact() {
  if (!lost_ && !params::ScratchDirIntact(run_.scratchDir, run_.scratchIdentity)) lost_ = true;
  return !lost_;
}

// Every write into the scratch directory goes through these two: one that is
// no longer the directory the run made must not be filled, not even by the
// steps whose failures are otherwise passed over.
int Bootstrap::Expand(const std::string& source, const std::string& unzipDir) {
  if (!Intact()) return -1;
  return ExpandJars(source, run_.scratchDir, unzipDir);
}

int Bootstrap::Copy(const std::string& source, const std::string& target) {
  if (!Intact()) return -1;
  return CopyTree(source, target);
}

int Bootstrap::Run() {
  if (!Intact()) return kBootstrapFailed;
  runtime::OpenActionsLog(run_.scratchDir, run_.timestamp, run_.logName);
  const bool printTime = common::Process().printTime;
  // A failing step returns at once; its timing lines must still be on disk.
  struct TimingLogCloser {
    bool active;
    ~TimingLogCloser() {
      if (active) runtime::CloseTimingLog();
    }
  } timingCloser{printTime};

  if (!HasFreeSpace(run_.scratchDir, run_.requiredKilobytes)) {
    result_ = kBootstrapFailed;
  } else {
    if (!run_.imagesDir.empty()) {
      const std::string images = Scratch("images");
      Copy(run_.imagesDir, images);  // a missing images copy is not fatal
      run_.imagesDir = images;
    }
    if (printTime) runtime::OpenTimingLog(run_.timestamp);
    stage_ = ChooseStageDir();
    if (!ExpandComponents()) return kBootstrapFailed;
    if (run_.shipHomeLoc) platform::SetCurrentDir(run_.secondDir);
    CheckScratchRuntime();
    if (run_.distribution) {
      if (!DistributionSteps()) return kBootstrapFailed;
    } else if (!PlainTreeCopies()) {
      return kBootstrapFailed;
    }
    if (run_.shipHomeLoc) platform::SetCurrentDir(run_.startupDir);
    if (scratchRuntime_) run_.jreLocation = run_.scratchJrePath;
    if (!run_.accessDir.empty()) {
      StepTimer timer;
      if (!run_.noBootstrap && Copy(run_.accessDir, run_.scratchDir) != 0) return kBootstrapFailed;
      timer.Report("Access Files", false);
    }
    if (printTime) runtime::CloseTimingLog();
    if (!run_.prereqConfigLocation.empty()) {
      const std::string prereq = Scratch("prereq");
      if (Copy(run_.prereqConfigLocation, prereq) != 0) return kBootstrapFailed;
      run_.prereqConfigLocation = prereq;
      result_ = kBootstrapCopied;
    }
  }
  // Runs after a space failure too: the installer still finds its extra
  // libraries in a scratch directory that exists.
  if (!run_.noBootstrap) CopyExtLibraries();
  LogBootstrapCounts(run_.scratchDir);
  runtime::CloseActionsLog();
  return lost_ ? kBootstrapFailed : result_;
}

bool Bootstrap::ExpandComponents() {
  std::vector<std::string>& list = run_.components;
  const size_t count = std::min(list.size(), kMaxComponents);
  if (count == 0 || list[0].empty()) {
    steps_ = {true, true, true, true};
    return true;
  }
  for (size_t i = 0; i < count && !list[i].empty(); ++i) {
    ComponentEntry entry = SplitEntry(list[i]);
    list[i] = entry.name;
    if (entry.name.empty()) {
      // An entry of colons alone names nothing that could be looked up.
      runtime::WriteActionsLog("WARNING: BOOTSTRAP_COMPS entry without a component name ignored\n");
      continue;
    }
    const std::string version = entry.version ? *entry.version : HighestVersion(stage_, entry.name);
    const std::string dataDir = ComponentDataDir(stage_, entry.name, version);
    if (entry.name == kQti) {
      steps_.qti = true;
      run_.qtiLocation = dataDir;
    } else if (entry.name == kQtiCore) {
      steps_.qtiCore = true;
      run_.qtiCoreLocation = dataDir;
    } else if (entry.name == kMendra) {
      steps_.mendra = true;
      run_.mendraLocation = dataDir;
    } else if (entry.name == kJre && !run_.bootstrapOnly) {
      steps_.runtime = true;
    } else {
      StepTimer timer;
      if (!run_.noBootstrap && Expand(dataDir, run_.startupDir) != 0) return false;
      timer.Report(entry.name, true);
    }
  }
  return true;
}

// The scratch runtime counts when its path names anything at all; a
// runtime missing from it is caught by the Java executable test before the
// start.
void Bootstrap::CheckScratchRuntime() {
  if (run_.scratchJrePath.empty()) {
    scratchRuntime_ = false;
    return;
  }
  if (!platform::PathExists(run_.scratchJrePath)) {
    runtime::WriteActionsLog(messages::UserText("S_ERJRE_MISSING"));
    scratchRuntime_ = false;
  }
}

bool Bootstrap::DistributionSteps() {
  if (run_.copyRuntime && steps_.runtime && !RuntimeStep()) return false;
  if (steps_.qti && !QtiStep()) return false;
  if (steps_.qtiCore) QtiCoreStep();
  if (steps_.mendra && !MendraStep()) return false;
  return true;
}

bool Bootstrap::RuntimeStep() {
  StepTimer timer;
  if (!PathExists(run_.jreLocation)) {
    std::string dataDir = HighestDataDir(stage_, kJre);
    if (!PathExists(dataDir)) {
      dataDir = HighestDataDir(stage_, kJdk);
      if (!PathExists(dataDir)) {
        messages::ConsoleWrite(messages::UserText("S_JRELOC_ERROR_NOCONSOLE_WIN"));
        return false;
      }
      devKit_ = true;
    }
    run_.jreLocation = dataDir;
  }
  if (!run_.noBootstrap && Expand(run_.jreLocation, run_.secondDir) != 0) {
    return false;
  }
  timer.Report(kJre, false);
  if (run_.jreVersion.size() > 2) {
    Copy(Joined(run_.jreLocation, kExpanded), Joined(Scratch("jre"), run_.jreVersion));
  }

  const std::string home = Scratch(devKit_ ? "jdk" : "jre");
  std::optional<std::vector<platform::DirEntry>> listing = platform::ListDirectory(home);
  if (!listing || listing->empty()) {
    messages::ConsoleWrite(messages::UserText("S_ERJRE_MISSING"));
    return false;
  }
  if (devKit_) {
    run_.jreLocation = home + platform::kPathSep;
    return true;
  }
  // The first entry as an NTFS listing gives it: by name, letters compared
  // upper-cased (so "jA" comes before "j_1"). Linux (and Wine on a Linux
  // volume) lists in no useful order, and the first entry must not change
  // with the file system.
  auto byName = [](const platform::DirEntry& a, const platform::DirEntry& b) {
    auto upper = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
    return std::lexicographical_compare(
        a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
        [&](char x, char y) { return upper(x) < upper(y); });
  };
  const platform::DirEntry& first = *std::min_element(listing->begin(), listing->end(), byName);
  run_.jreLocation = home + platform::kPathSep + first.name;
  return true;
}

bool Bootstrap::QtiStep() {
  if (!PathExists(run_.qtiLocation)) run_.qtiLocation = HighestDataDir(stage_, kQti);
  StepTimer timer;
  if (!run_.noBootstrap && Expand(run_.qtiLocation, run_.secondDir) != 0) {
    return false;
  }
  timer.Report(kQti, false);
  Copy(Joined(run_.qtiLocation, kExpanded), run_.scratchDir);
  run_.qtiLocation = Scratch("qti");
  result_ = kBootstrapCopied;
  return true;
}

// The core's archives are optional on some media: a failed expansion leaves
// its location alone and the bootstrap goes on.
void Bootstrap::QtiCoreStep() {
  StepTimer timer;
  if (!PathExists(run_.qtiCoreLocation)) run_.qtiCoreLocation = HighestDataDir(stage_, kQtiCore);
  Copy(Joined(run_.qtiCoreLocation, kExpanded), run_.scratchDir);
  if (!run_.noBootstrap && Expand(run_.qtiCoreLocation, run_.secondDir) != 0) {
    return;
  }
  timer.Report(kQtiCore, false);
  run_.qtiCoreLocation = Scratch("qti");
  result_ = kBootstrapCopied;
}

bool Bootstrap::MendraStep() {
  StepTimer timer;
  if (!PathExists(run_.mendraLocation)) run_.mendraLocation = HighestDataDir(stage_, kMendra);
  if (!run_.noBootstrap && Expand(run_.mendraLocation, run_.secondDir) != 0) {
    return false;
  }
  timer.Report(kMendra, false);
  run_.mendraLocation = Scratch("Mendra");
  result_ = kBootstrapCopied;
  return true;
}

bool Bootstrap::PlainTreeCopies() {
  if (run_.copyRuntime) {
    const std::string jre = Scratch("jre");
    if (Copy(run_.jreLocation, jre) != 0) return false;
    run_.jreLocation = jre;
  }
  const std::string qti = Scratch("qti");
  if (Copy(run_.qtiLocation, qti) != 0) return false;
  run_.qtiLocation = qti;
  if (Copy(run_.qtiCoreLocation, qti) != 0) return false;
  run_.qtiCoreLocation = qti;
  const std::string mendra = Scratch("Mendra");
  if (Copy(run_.mendraLocation, mendra) != 0) return false;
  run_.mendraLocation = mendra;
  result_ = kBootstrapCopied;
  return true;
}

void Bootstrap::CopyExtLibraries() {
  const std::pair<const std::string*, const char*> libraries[] = {
      {&run_.extJlib, "jlib"}, {&run_.extLib, "lib"}, {&run_.extBin, "bin"}};
  const std::string ext = Scratch("ext");
  bool created = false;
  for (const auto& [source, name] : libraries) {
    if (!PathExists(*source) || !Intact()) continue;
    if (!created) platform::CreateDir(ext);
    created = true;
    const std::string target = Joined(ext, name);
    platform::CreateDir(target);
    Copy(*source, target);
  }
}

}  // namespace

int BootstrapComponents(BootstrapRun& run) { return Bootstrap(run).Run(); }

}  // namespace bootstrap

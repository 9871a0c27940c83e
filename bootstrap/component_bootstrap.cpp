#include "bootstrap/component_bootstrap.h"

#include <algorithm>
#include <cstdio>

#include "bootstrap/archive_expansion.h"
#include "bootstrap/free_space.h"
#include "bootstrap/tree_ops.h"
#include "common/actions_log.h"
#include "common/current_dir.h"
#include "common/paths.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "params/param_keys.h"
#include "params/scratch_dir.h"
#include "platform/platform.h"

namespace bootstrap {

namespace {

const char* const kExpanded = "Expanded";

// Relative to the current directory at each use: the medium's launcher sits
// one or two levels below the directory that holds "stage".
std::string ChooseStageDir() {
  const std::string near = common::StageAreaNear();
  return platform::PathExists(near) ? near : common::StageAreaFar();
}

std::string HighestVersion(const std::string& stage, const std::string& name) {
  return FindHighestVersionDir(common::JoinExactly(stage, name) + platform::kPathSep);
}

std::string HighestDataDir(const std::string& stage, const std::string& name) {
  return common::StageDataDir(stage, name, HighestVersion(stage, name));
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
    common::WriteTimingLog(line);
  }

 private:
  uint32_t start_;
};

// The named steps of a distribution medium that the component list asks for
// (all of them without a list).
struct StepFlags {
  bool qti = false;
  bool qtiCore = false;
  bool mendra = false;
  bool runtime = false;
};

// One bootstrap: reads its input, keeps the locations it moves in `moved_`.
class Bootstrap {
 public:
  explicit Bootstrap(const BootstrapInput& in) : in_(in), moved_(in.locations) {}
  BootstrapResult Run();

 private:
  bool FillScratchDir();
  bool ExpandComponents();
  void CheckScratchRuntime();
  bool DistributionSteps();
  bool RuntimeStep();
  bool QtiStep();
  void QtiCoreStep();
  bool MendraStep();
  bool PlainTreeCopies();
  void CopyExtLibraries();
  bool MakeScratchSubdir(const std::string& path);
  bool Intact();
  int Expand(const std::string& source, const std::string& unzipDir);
  int Copy(const std::string& source, const std::string& target);
  std::string Scratch(const std::string& name) const { return common::AppendPath(in_.scratchDir, name); }

  const BootstrapInput& in_;
  ComponentLocations moved_;
  StepFlags steps_;
  bool scratchRuntime_ = true;
  bool devKit_ = false;
  int status_ = kBootstrapNothingCopied;
  bool lost_ = false;  // the scratch directory is no longer the one the run made
  std::string stage_;
};

bool Bootstrap::Intact() {
  if (!lost_ && !params::ScratchDirIntact(in_.scratchDir, in_.scratchIdentity)) lost_ = true;
  return !lost_;
}

// Every write into the scratch directory goes through these two: one that is
// no longer the directory the run made must not be filled, not even by the
// steps whose failures are otherwise passed over.
int Bootstrap::Expand(const std::string& source, const std::string& unzipDir) {
  if (!Intact()) return -1;
  return ExpandJars(source, in_.scratchDir, unzipDir);
}

int Bootstrap::Copy(const std::string& source, const std::string& target) {
  if (!Intact()) return -1;
  return CopyTree(source, target);
}

BootstrapResult Bootstrap::Run() {
  if (!Intact()) return {kBootstrapFailed, moved_};
  common::ActionsLogScope log(in_.scratchDir);
  if (!HasFreeSpace(in_.scratchDir, in_.requiredKilobytes)) {
    status_ = kBootstrapFailed;
  } else if (!FillScratchDir()) {
    return {kBootstrapFailed, moved_};
  }
  // Runs after a space failure too: the installer still finds its extra
  // libraries in a scratch directory that exists.
  if (!in_.noBootstrap) CopyExtLibraries();
  LogBootstrapCounts(in_.scratchDir);
  return {lost_ ? kBootstrapFailed : status_, moved_};
}

// The components, the runtime, access files and the prerequisite
// configuration; false when a step that must not fail failed.
bool Bootstrap::FillScratchDir() {
  if (!moved_.images.empty()) {
    const std::string images = Scratch("images");
    Copy(moved_.images, images);  // a missing images copy is not fatal
    moved_.images = images;
  }
  {
    common::TimingLogScope timing(in_.printTime, in_.timestamp);
    stage_ = ChooseStageDir();
    if (!ExpandComponents()) return false;
    {
      // The named steps run from the launcher's directory when it is not the
      // startup directory (a ship home elsewhere on the medium).
      common::ScopedCurrentDir launcherHome(in_.unzipDir, in_.shipHomeLoc);
      CheckScratchRuntime();
      if (in_.distribution ? !DistributionSteps() : !PlainTreeCopies()) return false;
    }
    if (scratchRuntime_) moved_.jre = in_.scratchJrePath;
    if (!in_.accessDir.empty()) {
      StepTimer timer;
      if (!in_.noBootstrap && Copy(in_.accessDir, in_.scratchDir) != 0) return false;
      timer.Report("Access Files", false);
    }
  }
  if (!moved_.prereqConfig.empty()) {
    const std::string prereq = Scratch("prereq");
    if (Copy(moved_.prereqConfig, prereq) != 0) return false;
    moved_.prereqConfig = prereq;
    status_ = kBootstrapCopied;
  }
  return true;
}

bool Bootstrap::ExpandComponents() {
  const std::vector<std::string>& list = in_.components;
  const size_t count = std::min(list.size(), params::kMaxBootstrapComps);
  if (count == 0 || list[0].empty()) {
    steps_ = {true, true, true, true};
    return true;
  }
  for (size_t i = 0; i < count && !list[i].empty(); ++i) {
    const ComponentEntry entry = SplitComponentEntry(list[i]);
    if (entry.name.empty()) {
      // An entry of colons alone names nothing that could be looked up.
      common::WriteActionsLog("WARNING: BOOTSTRAP_COMPS entry without a component name ignored\n");
      continue;
    }
    const std::string version = entry.version ? *entry.version : HighestVersion(stage_, entry.name);
    const std::string dataDir = common::StageDataDir(stage_, entry.name, version);
    if (entry.name == kQtiComponent) {
      steps_.qti = true;
      moved_.qti = dataDir;
    } else if (entry.name == kQtiCoreComponent) {
      steps_.qtiCore = true;
      moved_.qtiCore = dataDir;
    } else if (entry.name == kMendraComponent) {
      steps_.mendra = true;
      moved_.mendra = dataDir;
    } else if (entry.name == kJreComponent && !in_.bootstrapOnly) {
      steps_.runtime = true;
    } else {
      StepTimer timer;
      if (!in_.noBootstrap && Expand(dataDir, in_.startupDir) != 0) return false;
      timer.Report(entry.name, true);
    }
  }
  return true;
}

// The scratch runtime counts when its path names anything at all; a
// runtime missing from it is caught by the Java executable test before the
// start.
void Bootstrap::CheckScratchRuntime() {
  if (in_.scratchJrePath.empty()) {
    scratchRuntime_ = false;
    return;
  }
  if (!platform::PathExists(in_.scratchJrePath)) {
    common::WriteActionsLog(messages::UserText("S_ERJRE_MISSING"));
    scratchRuntime_ = false;
  }
}

bool Bootstrap::DistributionSteps() {
  if (in_.copyRuntime && steps_.runtime && !RuntimeStep()) return false;
  if (steps_.qti && !QtiStep()) return false;
  if (steps_.qtiCore) QtiCoreStep();
  if (steps_.mendra && !MendraStep()) return false;
  return true;
}

bool Bootstrap::RuntimeStep() {
  StepTimer timer;
  if (!platform::PathExists(moved_.jre)) {
    std::string dataDir = HighestDataDir(stage_, kJreComponent);
    if (!platform::PathExists(dataDir)) {
      dataDir = HighestDataDir(stage_, kJdkComponent);
      if (!platform::PathExists(dataDir)) {
        messages::ConsoleWrite(messages::UserText("S_JRELOC_ERROR_NOCONSOLE_WIN"));
        return false;
      }
      devKit_ = true;
    }
    moved_.jre = dataDir;
  }
  if (!in_.noBootstrap && Expand(moved_.jre, in_.unzipDir) != 0) return false;
  timer.Report(kJreComponent, false);
  if (in_.jreVersion.size() > 2) {
    Copy(common::AppendPath(moved_.jre, kExpanded), common::AppendPath(Scratch("jre"), in_.jreVersion));
  }

  const std::string home = Scratch(devKit_ ? "jdk" : "jre");
  std::optional<std::vector<platform::DirEntry>> listing = platform::ListDirectory(home);
  if (!listing || listing->empty()) {
    messages::ConsoleWrite(messages::UserText("S_ERJRE_MISSING"));
    return false;
  }
  if (devKit_) {
    moved_.jre = home + platform::kPathSep;
    return true;
  }
  // Linux (and Wine on a Linux volume) lists in no useful order, and the
  // first entry must not change with the file system.
  auto byName = [](const platform::DirEntry& a, const platform::DirEntry& b) {
    return ListedBefore(a.name, b.name);
  };
  const platform::DirEntry& first = *std::min_element(listing->begin(), listing->end(), byName);
  moved_.jre = common::JoinExactly(home, first.name);
  return true;
}

bool Bootstrap::QtiStep() {
  if (!platform::PathExists(moved_.qti)) moved_.qti = HighestDataDir(stage_, kQtiComponent);
  StepTimer timer;
  if (!in_.noBootstrap && Expand(moved_.qti, in_.unzipDir) != 0) return false;
  timer.Report(kQtiComponent, false);
  Copy(common::AppendPath(moved_.qti, kExpanded), in_.scratchDir);
  moved_.qti = Scratch("qti");
  status_ = kBootstrapCopied;
  return true;
}

// The core's archives are optional on some media: a failed expansion leaves
// its location alone and the bootstrap goes on.
void Bootstrap::QtiCoreStep() {
  StepTimer timer;
  if (!platform::PathExists(moved_.qtiCore)) moved_.qtiCore = HighestDataDir(stage_, kQtiCoreComponent);
  Copy(common::AppendPath(moved_.qtiCore, kExpanded), in_.scratchDir);
  if (!in_.noBootstrap && Expand(moved_.qtiCore, in_.unzipDir) != 0) return;
  timer.Report(kQtiCoreComponent, false);
  moved_.qtiCore = Scratch("qti");
  status_ = kBootstrapCopied;
}

bool Bootstrap::MendraStep() {
  StepTimer timer;
  if (!platform::PathExists(moved_.mendra)) moved_.mendra = HighestDataDir(stage_, kMendraComponent);
  if (!in_.noBootstrap && Expand(moved_.mendra, in_.unzipDir) != 0) return false;
  timer.Report(kMendraComponent, false);
  moved_.mendra = Scratch("Mendra");
  status_ = kBootstrapCopied;
  return true;
}

bool Bootstrap::PlainTreeCopies() {
  if (in_.copyRuntime) {
    const std::string jre = Scratch("jre");
    if (Copy(moved_.jre, jre) != 0) return false;
    moved_.jre = jre;
  }
  const std::string qti = Scratch("qti");
  if (Copy(moved_.qti, qti) != 0) return false;
  moved_.qti = qti;
  if (Copy(moved_.qtiCore, qti) != 0) return false;
  moved_.qtiCore = qti;
  const std::string mendra = Scratch("Mendra");
  if (Copy(moved_.mendra, mendra) != 0) return false;
  moved_.mendra = mendra;
  status_ = kBootstrapCopied;
  return true;
}

// A directory of the scratch directory that the extra libraries go into.
// A link standing there (the access files may bring one, as a copy makes a
// link to a directory again) would lead the copy out of the scratch
// directory: then nothing goes there.
bool Bootstrap::MakeScratchSubdir(const std::string& path) {
  platform::CreateDir(path);
  if (platform::DirectoryIdentity(path)) return true;
  common::WriteActionsLog("WARNING: not a directory, extra libraries not copied: " + path + "\n");
  return false;
}

void Bootstrap::CopyExtLibraries() {
  const std::pair<const std::string*, const char*> libraries[] = {
      {&in_.extJlib, "jlib"}, {&in_.extLib, "lib"}, {&in_.extBin, "bin"}};
  const std::string ext = Scratch("ext");
  std::optional<bool> extUsable;
  for (const auto& [source, name] : libraries) {
    if (!platform::PathExists(*source) || !Intact()) continue;
    if (!extUsable) extUsable = MakeScratchSubdir(ext);
    const std::string target = common::AppendPath(ext, name);
    if (*extUsable && MakeScratchSubdir(target)) Copy(*source, target);
  }
}

}  // namespace

bool ListedBefore(std::string_view a, std::string_view b) {
  auto upper = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [&](char x, char y) { return upper(x) < upper(y); });
}

ComponentEntry SplitComponentEntry(const std::string& entry) {
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

BootstrapResult BootstrapComponents(const BootstrapInput& input) { return Bootstrap(input).Run(); }

}  // namespace bootstrap

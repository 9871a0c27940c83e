#include "params/scratch_dir.h"

#include "common/process_state.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/format.h"
#include "platform/platform.h"

namespace params {

namespace {

void ShowDirError(const std::string& path) {
  messages::ShowError(messages::FormatText(messages::UserText("S_ERPERDIR"), {path}, 4095));
}

}  // namespace

int IsValidAbsPath(const std::string& path) {
  if (path.size() < 2) return 0;
  size_t root = platform::AbsoluteRootLength(path);
  if (root == 0) return 0;
  // The search starts at the root's separator, so a drive colon does not count.
  return path.find_first_of(platform::kForbiddenTempChars, root - 1) == std::string::npos ? 1 : 0;
}

std::string GetTempRoot() {
  std::string root = platform::kDefaultTempRoot;
  const std::string& option = common::Process().scratchRoot;
  // A root too long for the run's 1024-byte path is passed over like an
  // invalid one: cut, it would name a directory nobody chose.
  auto usable = [](const std::string& path) { return path.size() <= 1023 && IsValidAbsPath(path); };
  if (!option.empty() && usable(option)) {
    root = option;
  } else {
    std::optional<std::string> value = platform::GetEnv("TEMP");
    if (!value) value = platform::GetEnv("TMP");
    if (value && usable(*value)) root = *value;
  }
  if (!root.empty() && root.back() == platform::kPathSep) root.pop_back();
  return root;
}

int MakeDirTree(const std::string& path) {
  if (path.empty()) return 0;
  if (!platform::PathExists(path)) {
    size_t cut = path.rfind(platform::kPathSep);
    std::string parent = cut == std::string::npos ? std::string() : path.substr(0, cut);
    if (!parent.empty() && parent != path && MakeDirTree(parent) == 0) return 0;
    platform::CreateDir(path);
  }
  // A file of that name is no directory to create things in.
  return platform::IsDirectory(path) && platform::CanReadWrite(path) ? 1 : 0;
}

int CreateScratchDir(std::string& scratchDir, const std::string& timestamp,
                     std::optional<platform::DirIdentity>& identity) {
  std::string root = GetTempRoot();
  if (MakeDirTree(root) == 0 || !platform::IsTrustedTempRoot(root)) {
    ShowDirError(root);
    return -1;
  }
  common::ProcessState& process = common::Process();
  if (process.prereqChecker && process.prereqLogLocation.empty()) process.prereqLogLocation = root;

  const std::string base = root + platform::kPathSep + "QelInstall" + timestamp;
  for (int suffix = 0; suffix <= kMaxScratchSuffix; ++suffix) {
    std::string candidate = suffix == 0 ? base : base + "_" + std::to_string(suffix);
    // A link counts as taken even when it leads nowhere.
    if (platform::NameTaken(candidate)) continue;
    // The installer runs code from here: only its owner may read or change it.
    if (platform::CreateDir(candidate, true)) {
      scratchDir = candidate;
      identity = platform::DirectoryIdentity(candidate);
      return 0;
    }
    // Another run took the name between the test and the creation.
    if (platform::NameTaken(candidate)) continue;
    ShowDirError(candidate);
    return -1;
  }
  ShowDirError(base);
  return -1;
}

bool ScratchDirIntact(const std::string& scratchDir,
                      const std::optional<platform::DirIdentity>& identity) {
  if (!identity || platform::DirectoryIdentity(scratchDir) == identity) return true;
  ShowDirError(scratchDir);
  return false;
}

}  // namespace params

#include "params/scratch_dir.h"

#include "common/paths.h"
#include "common/text.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/format.h"
#include "platform/platform.h"

namespace params {

namespace {

// "<sep>QelInstall<timestamp>_<suffix>" at its longest.
constexpr size_t kScratchNameRoom = sizeof("/QelInstall2026-12-09_11-32-02AM_1023") - 1;

void ShowDirError(const std::string& path) {
  messages::ShowError(messages::FormatText(messages::UserText("S_ERPERDIR"), {path}, common::kMessageChars));
}

}  // namespace

int IsValidAbsPath(const std::string& path) {
  if (path.size() < 2) return 0;
  size_t root = platform::AbsoluteRootLength(path);
  if (root == 0) return 0;
  // The search starts at the root's separator, so a drive colon does not count.
  return path.find_first_of(platform::kForbiddenTempChars, root - 1) == std::string::npos ? 1 : 0;
}

std::string GetTempRoot(const std::string& scratchRootOption) {
  std::string root = platform::kDefaultTempRoot;
  // A root without room for the scratch directory's name in the run's
  // 1024-byte paths is passed over like an invalid one: a path below it cut
  // to the limit would name a file nobody chose, in a directory others share.
  auto usable = [](const std::string& path) {
    return path.size() + kScratchNameRoom <= common::kMaxPath && IsValidAbsPath(path);
  };
  if (!scratchRootOption.empty() && usable(scratchRootOption)) {
    root = scratchRootOption;
  } else {
    std::optional<std::string> value = platform::GetEnv("TEMP");
    if (!value) value = platform::GetEnv("TMP");
    if (value && usable(*value)) root = *value;
  }
  if (!root.empty() && root.back() == platform::kPathSep) root.pop_back();
  return root;
}

ScratchDir CreateScratchDir(const std::string& scratchRootOption, const std::string& timestamp) {
  ScratchDir made;
  const std::string root = GetTempRoot(scratchRootOption);
  if (common::MakeDirTree(root) == 0 || !platform::IsTrustedTempRoot(root)) {
    ShowDirError(root);
    made.status = -1;
    return made;
  }
  made.root = root;
  const std::string base = common::JoinExactly(root, "QelInstall" + timestamp);
  for (int suffix = 0; suffix <= kMaxScratchSuffix; ++suffix) {
    std::string candidate = suffix == 0 ? base : base + "_" + std::to_string(suffix);
    // A link counts as taken even when it leads nowhere.
    if (platform::NameTaken(candidate)) continue;
    // The installer runs code from here: only its owner may read or change it.
    if (platform::CreateDir(candidate, true)) {
      made.path = candidate;
      made.identity = platform::DirectoryIdentity(candidate);
      return made;
    }
    // Another run took the name between the test and the creation.
    if (platform::NameTaken(candidate)) continue;
    ShowDirError(candidate);
    made.status = -1;
    return made;
  }
  ShowDirError(base);
  made.status = -1;
  return made;
}

bool ScratchDirIntact(const std::string& scratchDir,
                      const std::optional<platform::DirIdentity>& identity) {
  if (!identity || platform::DirectoryIdentity(scratchDir) == identity) return true;
  ShowDirError(scratchDir);
  return false;
}

}  // namespace params

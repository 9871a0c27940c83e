#include "common/paths.h"

#include "platform/platform.h"

namespace common {

std::string AppendPath(const std::string& path, const std::string& part) {
  if (path.empty()) return part;
  if (path.back() == platform::kPathSep) return path + part;
  return path + platform::kPathSep + part;
}

std::string JoinExactly(const std::string& dir, const std::string& part) {
  return dir + platform::kPathSep + part;
}

std::string StageAreaNear() { return JoinExactly(JoinExactly("..", "stage"), "Components"); }

std::string StageAreaFar() { return JoinExactly("..", StageAreaNear()); }

std::string StageDataDir(const std::string& stage, const std::string& component,
                         const std::string& version) {
  return JoinExactly(JoinExactly(JoinExactly(JoinExactly(stage, component), version), "1"), "DataFiles");
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

}  // namespace common

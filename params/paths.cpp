#include "params/paths.h"

#include "common/process_state.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/format.h"
#include "platform/platform.h"

namespace params {

std::string MakeAbsolutePath(const std::string& path) {
  std::optional<std::string> full = platform::FullPath(path);
  if (full && full->size() <= kMaxPath) return *full;
  int error = platform::LastError();
  if (common::Process().debug) {
    platform::WriteStderr(messages::FormatText(messages::UserText("S_ERABS_PATH"), {path}) + ": " +
                          platform::ErrorText(error) + "\n");
  }
  return path;
}

void GetDirPart(std::string& dest, const std::string& path) {
  if (path.empty()) return;
  size_t cut = path.rfind(platform::kPathSep);
  dest = cut == std::string::npos ? path : path.substr(0, cut);
}

std::string AppendPath(const std::string& path, const std::string& component) {
  if (path.empty()) return component;
  if (path.back() == platform::kPathSep) return path + component;
  return path + platform::kPathSep + component;
}

int GetCurrentDir(std::string& dest) {
  std::string module = platform::ModuleFileName();
  if (module.empty()) {
    int error = platform::LastError();
    messages::ConsoleWrite(
        messages::FormatText(messages::UserText("S_ERGOSLST"), {"GetCurrentDir()", error}, 4095));
    return -1;
  }
  size_t cut = module.rfind(platform::kPathSep);
  std::string dir = cut == std::string::npos ? std::string() : module.substr(0, cut + 1);
  if (dir.size() > kMaxPath) dir.resize(kMaxPath);
  // A root directory keeps its separator on Linux ("/"), where nothing else names it.
  if (dir.size() > 1 && dir.back() == platform::kPathSep) dir.pop_back();
  dest = dir;
  return 0;
}

std::string GetProgramDir(const std::string& programPath) {
  std::string path = programPath;
  if (path.size() >= 2 && path[0] == '.' && path[1] == platform::kPathSep) path.erase(0, 2);
  size_t cut = path.rfind(platform::kPathSep);
  if (cut == std::string::npos) return ".";
  return path.substr(0, cut);
}

}  // namespace params

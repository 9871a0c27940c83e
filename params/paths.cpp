#include "params/paths.h"

#include "common/paths.h"
#include "common/text.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/format.h"
#include "platform/platform.h"

namespace params {

std::string MakeAbsolutePath(const std::string& path, bool reportFailure) {
  std::optional<std::string> full = platform::FullPath(path);
  if (full && full->size() <= common::kMaxPath) return *full;
  int error = platform::LastError();
  if (reportFailure) {
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

std::optional<std::string> LauncherDir() {
  std::string module = platform::ModuleFileName();
  if (module.empty()) {
    int error = platform::LastError();
    messages::ConsoleWrite(messages::FormatText(messages::UserText("S_ERGOSLST"), {"GetCurrentDir()", error},
                                                common::kMessageChars));
    return std::nullopt;
  }
  size_t cut = module.rfind(platform::kPathSep);
  std::string dir = cut == std::string::npos ? std::string() : module.substr(0, cut + 1);
  dir = common::Cut(dir, common::kMaxPath);
  // A root directory keeps its separator on Linux ("/"), where nothing else names it.
  if (dir.size() > 1 && dir.back() == platform::kPathSep) dir.pop_back();
  return dir;
}

std::string GetProgramDir(const std::string& programPath) {
  std::string path = programPath;
  if (path.size() >= 2 && path[0] == '.' && path[1] == platform::kPathSep) path.erase(0, 2);
  size_t cut = path.rfind(platform::kPathSep);
  if (cut == std::string::npos) return ".";
  return path.substr(0, cut);
}

}  // namespace params

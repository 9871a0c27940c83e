#include "common/actions_log.h"

#include <cstdio>

#include "common/paths.h"
#include "platform/platform.h"

namespace common {

namespace {

struct LogStream {
  FILE* file = nullptr;
  std::string path;
  int scopes = 0;

  bool Open(const std::string& newPath) {
    file = platform::OpenAppendFile(newPath);
    return file != nullptr;
  }
  void Close() {
    if (file) std::fclose(file);
    file = nullptr;
  }
  void Write(const std::string& text) {
    if (!file) return;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fflush(file);
  }
};

ActionsLogTarget g_target;
LogStream g_actions;
LogStream g_timing;

}  // namespace

void SetActionsLogTarget(const ActionsLogTarget& target) { g_target = target; }

ActionsLogScope::ActionsLogScope(const std::string& scratchDir) {
  if (g_actions.scopes++ > 0) return;
  opened_ = true;
  const std::string dir = g_target.fixedDir.empty() ? scratchDir : g_target.fixedDir;
  g_actions.path.clear();
  if (MakeDirTree(dir) == 1 && g_actions.Open(dir + g_target.fileName)) g_actions.path = dir + g_target.fileName;
}

ActionsLogScope::ActionsLogScope(LastFile) {
  if (g_actions.scopes++ > 0) return;
  opened_ = true;
  g_actions.Open(g_actions.path);
}

ActionsLogScope::~ActionsLogScope() {
  --g_actions.scopes;
  if (opened_) g_actions.Close();
}

void WriteActionsLog(const std::string& text) { g_actions.Write(text); }

const std::string& ActionsLogPath() { return g_actions.path; }

TimingLogScope::TimingLogScope(bool active, const std::string& timestamp) {
  if (!active || g_timing.file || g_actions.path.empty()) return;
  const size_t cut = g_actions.path.rfind(platform::kPathSep);
  const std::string dir = cut == std::string::npos ? std::string() : g_actions.path.substr(0, cut + 1);
  const std::string path = dir + "launcherTiming" + timestamp + ".log";
  if (g_timing.Open(path)) {
    g_timing.path = path;
    opened_ = true;
  }
}

TimingLogScope::~TimingLogScope() {
  if (opened_) g_timing.Close();
}

void WriteTimingLog(const std::string& text) { g_timing.Write(text); }

const std::string& TimingLogPath() { return g_timing.path; }

}  // namespace common

#include "runtime/actions_log.h"

#include <cstdio>

#include "common/process_state.h"
#include "params/scratch_dir.h"
#include "platform/platform.h"

namespace runtime {

namespace {

constexpr size_t kMaxInventoryBytes = 1024;

struct LogStream {
  FILE* file = nullptr;
  std::string path;

  void Close() {
    if (file) std::fclose(file);
    file = nullptr;
  }
  void Write(const std::string& text) {
    if (!file) return;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fflush(file);
  }
  ~LogStream() { Close(); }
};

LogStream g_actions;
LogStream g_timing;

}  // namespace

std::string ReadInventoryLocation() {
  platform::RegKey key;
  // A 32-bit launcher on 64-bit Windows would read the WOW6432Node view twice.
  if (platform::RegOpenKey("SOFTWARE\\QUELTA", platform::RegAccess::Query, key, platform::RegView::Bits64) !=
          platform::kRegOk &&
      platform::RegOpenKey("SOFTWARE\\WOW6432NODE\\QUELTA", platform::RegAccess::Query, key) !=
          platform::kRegOk) {
    return {};
  }
  std::string data;
  if (platform::RegQueryValue(key, "inst_loc", data, kMaxInventoryBytes) != platform::kRegOk) return {};
  size_t nul = data.find('\0');
  if (nul != std::string::npos) data.resize(nul);
  // A value written by hand into the Linux store usually ends in a newline.
  while (!data.empty() && (data.back() == '\n' || data.back() == '\r')) data.pop_back();
  for (unsigned char c : data) {
    if (c < 0x20) return {};  // binary data is no location
  }
  return data;
}

void OpenActionsLog(const std::string& fallbackDir, const std::string& timestamp,
                    const std::string& logName) {
  const std::string& prereqLocation = common::Process().prereqLogLocation;
  std::string dir = prereqLocation.empty() ? ReadInventoryLocation() : prereqLocation;
  dir = dir.empty() ? fallbackDir : dir + platform::kPathSep + "logs";

  g_actions.path.clear();
  if (params::MakeDirTree(dir) == 1) {
    std::string path = dir + logName + timestamp + ".log";
    if (FILE* file = std::fopen(path.c_str(), "a")) {
      // A second open replaces the stream; the file is the same one.
      g_actions.Close();
      g_actions.file = file;
      g_actions.path = path;
    }
  }
  if (g_actions.path.empty()) g_actions.Close();
}

void WriteActionsLog(const std::string& text) { g_actions.Write(text); }

void CloseActionsLog() { g_actions.Close(); }

const std::string& ActionsLogPath() { return g_actions.path; }

void OpenTimingLog(const std::string& timestamp) {
  if (g_timing.file || g_actions.path.empty()) return;
  size_t cut = g_actions.path.rfind(platform::kPathSep);
  std::string dir = cut == std::string::npos ? std::string() : g_actions.path.substr(0, cut + 1);
  std::string path = dir + "launcherTiming" + timestamp + ".log";
  if (FILE* file = std::fopen(path.c_str(), "a")) {
    g_timing.file = file;
    g_timing.path = path;
  }
}

void WriteTimingLog(const std::string& text) { g_timing.Write(text); }

void CloseTimingLog() { g_timing.Close(); }

const std::string& TimingLogPath() { return g_timing.path; }

}  // namespace runtime

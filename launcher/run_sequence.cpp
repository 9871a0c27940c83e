#include "launcher/run_sequence.h"

#include <ctime>

#include "common/process_state.h"
#include "launcher/options.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/format.h"
#include "params/paths.h"
#include "platform/platform.h"

namespace launcher {

namespace {

// The state of one run, owned by LauncherMain.
struct RunState {
  explicit RunState(std::vector<std::string>& e) : elements(e) {}
  std::vector<std::string>& elements;
  Options options;
  std::string timestamp;
  std::string productTitle;
  std::string scratchDir;
  std::string paramFile;
  std::string startupDir;
  std::string secondDir;
  std::string launcherDir;
};

// Phase 8: the launcher, startup and second directories.
void SettleDirectories(RunState& run) {
  params::GetCurrentDir(run.launcherDir);
  run.startupDir = params::GetProgramDir(run.elements.front());
  run.secondDir = run.startupDir;
  if (run.options.shipHomeLocGiven) {
    std::string ship = run.options.startupLocation;
    StripQuotes(ship);
    run.startupDir = ship;
    std::string launcherDir;
    run.secondDir = params::GetCurrentDir(launcherDir) == 0 ? launcherDir : run.startupDir;
  }
  if (run.options.rscratchPath) run.scratchDir = *run.options.rscratchPath;
}

}  // namespace

std::string MakeRunTimestamp() {
  std::time_t now = std::time(nullptr);
  std::tm local = {};
  if (const std::tm* t = std::localtime(&now)) local = *t;
  char buffer[64];
  size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d_%I-%M-%S%p", &local);
  return std::string(buffer, n);
}

int LauncherMain(std::vector<std::string>& elements) {
  if (elements.empty()) elements.emplace_back();
  RunState run(elements);
  run.timestamp = MakeRunTimestamp();

  if (messages::InitMessages() != 0) return 1;

  ParseEarlyOptions(elements, run.options);
  if (run.options.rtimestamp) run.timestamp = *run.options.rtimestamp;
  run.paramFile = run.options.paramFile.value_or("");
  run.productTitle = "Trevanic Installer";

  ParseOptionLoop(elements, run.options);
  if (run.options.prereqChecker) run.productTitle = "Prerequisite Checker";

  if (!run.options.noConsole) {
    messages::OpenConsoleWindow();
    messages::RefreshConsoleHandle();
  }

  SettleDirectories(run);

  int status = 0;
  messages::FreeMessages();
  return status;
}

}  // namespace launcher

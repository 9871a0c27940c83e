#include "prereq/prereq_run.h"

#include <fstream>

#include "messages/catalogue.h"
#include "messages/console.h"
#include "prereq/certified_versions.h"
#include "prereq/prereq_reader.h"
#include "prereq/resource_checks.h"
#include "runtime/actions_log.h"

namespace prereq {

namespace {

void RunSwapCheck(const std::string& value, PrereqState& state) {
  std::string failureMessage = ReadFailureMessage(state, "TEMP_SPACE_FAILURE_MESSAGE");
  if (CheckSwapSpace(value, state) == 1) ApplyCheckFailure(state, failureMessage);
}

struct CheckEntry {
  const char* key;
  void (*check)(const std::string& value, PrereqState& state);
  bool genericOnly;
  bool notSilent;
};

// Tried in this order on every entry.
const CheckEntry kChecks[] = {
    {"SERVICE_PACK", CheckServicePack, false, false},
    {"MIN_DISPLAY_COLORS", CheckDisplayColors, true, true},
    {"CPU", CheckCpuSpeed, false, false},
    {"SWAP_SPACE", RunSwapCheck, true, false},
};

void RunCheck(const std::string& key, const std::string& value, PrereqState& state) {
  if (value.empty()) return;
  for (const CheckEntry& entry : kChecks) {
    if (key != entry.key) continue;
    if (entry.genericOnly && !state.genericFlag) return;
    if (entry.notSilent && state.silent) return;
    entry.check(value, state);
    return;
  }
}

int StopRun() {
  ReportMessage("S_EXIT_MSG", {runtime::ActionsLogPath()});
  runtime::CloseActionsLog();
  return -1;
}

// The prompt after a failed pass. The end of input answers no.
int AskToContinue(const PrereqState& state) {
  for (;;) {
    ReportMessage("S_CONTINUE");
    std::optional<std::string> answer = messages::ReadAnswerLine(kMaxAnswerChars);
    char first = !answer ? 'n' : answer->empty() ? '\n' : answer->front();
    if (first == 'y' || first == 'Y') {
      ReportMessage("S_CONTINUE_YES");
      if (state.requiredFlag) ReportMessage("S_IGNORE_REQ_SYS_PREREQ");
      runtime::CloseActionsLog();
      return 0;
    }
    if (first == 'n' || first == 'N' || first == '\n') {
      ReportMessage("S_CONTINUE_NO");
      return StopRun();
    }
  }
}

}  // namespace

int RunPrereqPass(PrereqState& state) {
  state.version = platform::GetOsVersion();
  state.versionText = std::to_string(state.version.major) + "." + std::to_string(state.version.minor);
  if (state.requiredFlag && !state.genericFlag) {
    switch (CheckCertifiedVersion(state)) {
      case VersionCheck::Certified: break;
      case VersionCheck::Accepted: return 0;
      case VersionCheck::Ignored: return 1;
      case VersionCheck::NoList: return 3;
      case VersionCheck::Stop: return kPassStop;
    }
  }
  state.genericSection = kGenericSection;

  std::ifstream file(state.paramFile, std::ios::binary);
  if (!file) return 0;
  const std::string& section = state.genericFlag    ? state.genericSection
                               : state.requiredFlag ? state.requiredSection
                                                    : state.optionalSection;
  if (FindPrereqSection(file, section) != 0) return 0;

  state.passResult = 0;
  std::string key, value;
  for (;;) {
    key.clear();
    value.clear();
    if (NextPrereqEntry(file, key, value) != 0) break;
    RunCheck(key, value, state);
  }
  return state.passResult;
}

int RunPrereqs(const std::string& paramFile, const std::string& scratchDir, const std::string& timestamp,
               const std::string& logName, bool silent, bool execute, bool ignore, bool noConsole,
               int platformFlag) {
  runtime::OpenActionsLog(scratchDir, timestamp, logName);
  PrereqState state;
  state.paramFile = paramFile;
  state.silent = silent;
  state.ignore = ignore;
  state.noConsole = noConsole;
  state.genericFlag = 1;
  state.requiredFlag = 1;

  for (;;) {
    state.failureText.clear();
    state.failureTextCut = false;
    int result = RunPrereqPass(state);
    if (result == kPassStop) return -1;

    if (ignore && result != 0) {
      if (state.requiredFlag) {
        ReportMessage("S_IGNORE_REQ_SYS_PREREQ");
      } else if (state.failureText.find(messages::UserText("S_FAILED_PATCHES_1")) != std::string::npos) {
        ReportMessage("S_IGNORE_PATCH_SYS_PREREQ");
      } else {
        ReportMessage("S_IGNORE_OPT_SYS_PREREQ");
      }
    }

    if (execute) {
      // The checks only: report and end after the generic pass.
      ShowAndLog(state.failureText);
      ReportMessage("S_EXIT_MSG", {runtime::ActionsLogPath()});
      runtime::CloseActionsLog();
      if (!silent && !noConsole) {
        messages::ConsoleWrite(messages::UserText("S_EXIT_CONTINUE"));
        messages::ReadAnswerChar();
      }
      return -1;
    }

    if (result == 0 || result == 3 || ignore) {
      if (state.genericFlag) {
        state.genericFlag = 0;
        if (!platformFlag) break;
      } else if (state.requiredFlag) {
        state.requiredFlag = 0;
        if (result == 0) ReportMessage("S_PRE_REQREQ_PASSED");
      } else {
        break;
      }
      continue;
    }

    if (!state.failureText.empty()) ShowAndLog(state.failureText);
    if (state.requiredFlag) {
      ReportMessage("S_FAILED_PRE_REQ_1");
      ReportMessage("S_FAILED_PRE_REQ_2");
      messages::ConsoleWrite("\n\n");
    } else if (state.failureText.empty()) {
      ReportMessage("S_FAILED_OPTIONAL");
    }
    if (silent || noConsole) return StopRun();
    return AskToContinue(state);
  }

  ShowAndLog("\n");
  runtime::CloseActionsLog();
  return 0;
}

}  // namespace prereq

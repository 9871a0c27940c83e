#include "prereq/prereq_run.h"

#include "common/actions_log.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "prereq/certified_versions.h"
#include "prereq/prereq_reader.h"
#include "prereq/resource_checks.h"

namespace prereq {

namespace {

void RunSwapCheck(const std::string& value, PrereqState& state) {
  std::string failureMessage = ReadFailureMessage(state, kSwapFailureKey);
  if (CheckSwapSpace(value, state) == 1) ApplyCheckFailure(state, failureMessage);
}

void RunCheck(const std::string& key, const std::string& value, PrereqState& state) {
  if (value.empty()) return;
  for (const PrereqCheck& entry : PrereqChecks()) {
    if (key != entry.key) continue;
    if (entry.genericOnly && !state.genericFlag) return;
    if (entry.notSilent && state.silent) return;
    entry.check(value, state);
    return;
  }
}

PrereqOutcome StopRun() {
  ReportMessage("S_EXIT_MSG", {common::ActionsLogPath()});
  return PrereqOutcome::Stop;
}

// After a failed pass: go on only when the user says so.
PrereqOutcome AskToContinue(const PrereqState& state) {
  if (!AskYesNo([] { ReportMessage("S_CONTINUE"); })) {
    ReportMessage("S_CONTINUE_NO");
    return StopRun();
  }
  ReportMessage("S_CONTINUE_YES");
  if (state.requiredFlag) ReportMessage("S_IGNORE_REQ_SYS_PREREQ");
  return PrereqOutcome::GoOn;
}

void ReportIgnored(const PrereqState& state) {
  if (state.requiredFlag) {
    ReportMessage("S_IGNORE_REQ_SYS_PREREQ");
  } else if (state.failureText.find(messages::UserText("S_FAILED_PATCHES_1")) != std::string::npos) {
    ReportMessage("S_IGNORE_PATCH_SYS_PREREQ");
  } else {
    ReportMessage("S_IGNORE_OPT_SYS_PREREQ");
  }
}

// -EXECUTESYSPREREQS: the generic pass's findings, then the end.
PrereqOutcome EndAfterChecks(const PrereqInput& in, const PrereqState& state) {
  ShowAndLog(state.failureText);
  ReportMessage("S_EXIT_MSG", {common::ActionsLogPath()});
  if (!in.silent && !in.noConsole) {
    messages::ConsoleWrite(messages::UserText("S_EXIT_CONTINUE"));
    messages::ReadAnswerChar();
  }
  return PrereqOutcome::Stop;
}

// The next pass after one that passed or does not count: false when none is
// left.
bool NextPass(PrereqState& state, int result, bool platformPrereqs) {
  if (state.genericFlag) {
    state.genericFlag = 0;
    return platformPrereqs;
  }
  if (state.requiredFlag) {
    state.requiredFlag = 0;
    if (result == 0) ReportMessage("S_PRE_REQREQ_PASSED");
    return true;
  }
  return false;
}

// A failed pass: its findings, and the user's choice where there is a user.
PrereqOutcome ReportFailedPass(const PrereqInput& in, const PrereqState& state) {
  if (!state.failureText.empty()) ShowAndLog(state.failureText);
  if (state.requiredFlag) {
    ReportMessage("S_FAILED_PRE_REQ_1");
    ReportMessage("S_FAILED_PRE_REQ_2");
    messages::ConsoleWrite("\n\n");
  } else if (state.failureText.empty()) {
    ReportMessage("S_FAILED_OPTIONAL");
  }
  if (in.silent || in.noConsole) return StopRun();
  return AskToContinue(state);
}

}  // namespace

const std::vector<PrereqCheck>& PrereqChecks() {
  static const std::vector<PrereqCheck> checks = {
      {"SERVICE_PACK", kServicePackFailureKey, CheckServicePack, false, false},
      {"MIN_DISPLAY_COLORS", kDisplayColorsFailureKey, CheckDisplayColors, true, true},
      {"CPU", kCpuFailureKey, CheckCpuSpeed, false, false},
      {"SWAP_SPACE", kSwapFailureKey, RunSwapCheck, true, false},
  };
  return checks;
}

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

  std::optional<PrereqText> file = OpenPrereqFile(state.paramFile);
  if (!file) return 0;
  const std::string& section = state.genericFlag    ? state.genericSection
                               : state.requiredFlag ? state.requiredSection
                                                    : state.optionalSection;
  if (FindPrereqSection(*file, section) != 0) return 0;

  state.passResult = 0;
  std::string key, value;
  for (;;) {
    key.clear();
    value.clear();
    if (NextPrereqEntry(*file, key, value) != 0) break;
    RunCheck(key, value, state);
  }
  return state.passResult;
}

PrereqOutcome RunPrereqs(const PrereqInput& in) {
  common::ActionsLogScope log(in.scratchDir);
  PrereqState state;
  state.paramFile = in.paramFile;
  state.silent = in.silent;
  state.ignore = in.ignore;
  state.noConsole = in.noConsole;
  for (;;) {
    state.failureText.clear();
    state.failureTextCut = false;
    const int result = RunPrereqPass(state);
    if (result == kPassStop) return PrereqOutcome::Stop;
    // A pass without a certified list found nothing that failed.
    if (in.ignore && result != 0 && result != 3) ReportIgnored(state);
    if (in.execute) return EndAfterChecks(in, state);
    if (result != 0 && result != 3 && !in.ignore) return ReportFailedPass(in, state);
    if (!NextPass(state, result, in.platformPrereqs)) break;
  }
  ShowAndLog("\n");
  return PrereqOutcome::GoOn;
}

}  // namespace prereq

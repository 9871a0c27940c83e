// The prerequisite run: up to three passes over the prerequisite sections of
// the parameter file (generic, then the version's required and optional
// sections), their outcome, and the prompt that lets the user go on.
#pragma once

#include <string>
#include <vector>

#include "prereq/prereq_report.h"

namespace prereq {

// A key of a prerequisite section and the check it runs.
struct PrereqCheck {
  const char* key;
  const char* failureMessageKey;  // read from the version's required section, else its optional one
  void (*check)(const std::string& value, PrereqState& state);
  bool genericOnly;  // read in the generic section only
  bool notSilent;    // passed over in silent mode
};
// Tried in this order on every entry of a section; keys compare exactly.
const std::vector<PrereqCheck>& PrereqChecks();

// RunPrereqPass's result when the launch must end (reported).
constexpr int kPassStop = -1;

// One pass, chosen by state's flags: 0 passed (or nothing to check), 1
// failed, 3 no certified list (required pass), kPassStop.
int RunPrereqPass(PrereqState& state);

struct PrereqInput {
  std::string paramFile;
  std::string scratchDir;  // where the actions log goes when it has no fixed place
  bool silent = false;
  bool execute = false;    // -EXECUTESYSPREREQS: the checks only, then the end
  bool ignore = false;     // -IGNORESYSPREREQS
  bool noConsole = false;
  bool platformPrereqs = false;  // PLATFORM_PREREQS begins with "T": the version's passes too
};

enum class PrereqOutcome {
  GoOn,  // the launch goes on
  Stop,  // everything is reported; the launch ends with -1
};

// The whole run, with the actions log open from start to end.
PrereqOutcome RunPrereqs(const PrereqInput& input);

}  // namespace prereq

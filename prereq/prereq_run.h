// The prerequisite run: up to three passes over the prerequisite sections of
// the parameter file (generic, then the version's required and optional
// sections), their outcome, and the prompt that lets the user go on.
#pragma once

#include <string>

#include "prereq/prereq_report.h"

namespace prereq {

// RunPrereqPass's result when the launch must end (reported, log closed).
constexpr int kPassStop = -1;

// One pass, chosen by state's flags: 0 passed (or nothing to check), 1
// failed, 3 no certified list (required pass), kPassStop.
int RunPrereqPass(PrereqState& state);

// The whole run, with the actions log open from start to end. 0 when the
// launch goes on; -1 when it must end with exit status -1 (everything is
// reported and the log closed by then). `platformFlag` (PLATFORM_PREREQS
// begins with "T") adds the version-specific passes.
int RunPrereqs(const std::string& paramFile, const std::string& scratchDir, const std::string& timestamp,
               const std::string& logName, bool silent, bool execute, bool ignore, bool noConsole,
               int platformFlag);

}  // namespace prereq

// The few facts of a run that the console and the logs read from anywhere:
// taken from the command line once, right after the options, and only read
// after that. Everything else a subsystem needs it gets as input.
#pragma once

#include <string>

namespace common {

struct ProcessFacts {
  bool silent = false;  // -SILENT, -HELP, -BOOTSTRAPONLY and the home-management modes
  bool debug = false;   // -DEBUG
};

// Sets the facts; a run does it once (unit tests once per test).
void SetProcessFacts(const ProcessFacts& facts);
const ProcessFacts& Facts();

}  // namespace common

// Process-wide facts of one run that several subsystems read: set by the
// option loop and the parameter file, read by the console, the logs, the
// bootstrap and the runtime checks. One instance per process.
#pragma once

#include <string>

namespace common {

struct ProcessState {
  bool silent = false;         // -SILENT, -HELP, -BOOTSTRAPONLY and the home-management modes
  bool debug = false;          // -DEBUG
  bool memory = false;         // -MEMORY
  bool printTime = false;      // -PRINTTIME
  bool jreLocGiven = false;    // -jreLoc present
  bool prereqChecker = false;  // -PREREQCHECKER
  bool distribution = false;   // DISTRIBUTION begins with "T"
  // 1 when the prerequisite-configuration location was derived from
  // FROM_LOCATION, 0 when PREREQ_CONFIG_LOCATION gave it.
  int prereqLocFromFromLocation = 0;
  // "\installActions" unless a mode option names another log (with the
  // platform's separator in front).
  std::string actionsLogName;
  // Base of the log directory when set; see runtime/actions_log.
  std::string prereqLogLocation;
  // Root for scratch directories given with -SCRATCHPATH.
  std::string scratchRoot;
  // Java runtime choice texts of the parameter file, compared whole.
  std::string useJreOnly = "FALSE";
  std::string useJdkOnly = "FALSE";
  std::string disableJrePrompt = "FALSE";
};

ProcessState& Process();
// Back to a fresh state (unit tests; a process runs LauncherMain once).
void ResetProcess();

}  // namespace common

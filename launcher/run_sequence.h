// The run sequence: one pass from the catalogue to the installer's exit code.
#pragma once

#include <string>
#include <vector>

namespace launcher {

// Runs one launch. `elements` are the launcher's full file name and the
// command tail (modified in place: the -J text and -shipHomeLoc are cut out).
// Returns the exit status: 1 without a catalogue, -1 and -2 for the reported
// failures, else the installer's exit code (259 while it still runs).
int LauncherMain(std::vector<std::string>& elements);

// The run timestamp "%Y-%m-%d_%I-%M-%S%p" of the current local time.
std::string MakeRunTimestamp();

}  // namespace launcher

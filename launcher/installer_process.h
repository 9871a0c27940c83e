// Starting the installer process and, when asked, waiting for it.
#pragma once

#include <string>
#include <vector>

namespace launcher {

// Joins the installer argument vector into one command line (one blank after
// each slot) and starts it. Returns the installer's exit code when `wait` is
// set; without it, the code the system reports right after the start (259,
// STILL_ACTIVE, while the installer runs). When the process cannot be created
// the error is shown (S_ERGOSLST with "CreateQTIProcess()"; in silent mode on
// the console, followed by a key wait) and its system error number returned.
// Debug mode lists the slots on the console before the start and in the
// actions log after a successful one.
int LaunchInstaller(const std::vector<std::string>& args, bool wait);

}  // namespace launcher

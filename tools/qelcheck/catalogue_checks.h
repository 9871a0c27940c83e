// The message catalogues beside the launcher: cons.nls, which the logs use
// and every translation falls back to, and each cons_*.nls, whose keys and
// placeholders must match it.
#pragma once

#include <map>
#include <string>

#include "tools/qelcheck/findings.h"
#include "tools/qelcheck/medium.h"

namespace qelcheck {

void CheckCatalogues(const Medium& medium, Findings& findings);

// The values the launcher hands each message it formats, as conversion
// letters ("sd"); a message not named is shown as it stands.
const std::map<std::string, std::string>& LauncherArguments();

}  // namespace qelcheck

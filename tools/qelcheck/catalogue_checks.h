// The message catalogues beside the launcher: cons.nls, which the logs use
// and every translation falls back to, and each cons_*.nls, whose keys and
// placeholders must match it.
#pragma once

#include "tools/qelcheck/findings.h"
#include "tools/qelcheck/medium.h"

namespace qelcheck {

void CheckCatalogues(const Medium& medium, Findings& findings);

}  // namespace qelcheck

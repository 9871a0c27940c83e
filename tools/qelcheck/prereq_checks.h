// The prerequisite sections of the parameter file, read the way the
// prerequisite reader reads them: exactly named sections, lines it stops at
// or reads no value from, keys no check reads, and the version sections the
// certified list names.
#pragma once

#include "tools/qelcheck/findings.h"
#include "tools/qelcheck/medium.h"
#include "tools/qelcheck/param_checks.h"

namespace qelcheck {

void CheckPrereqSections(const Medium& medium, const ParamFile& file, const ParamView& view, Findings& findings);

}  // namespace qelcheck

// The staged component area and what the bootstrap will take from it: every
// staged version's archives, the components the parameter file names or
// leaves to their defaults, and the Java runtime the installer will run in.
#pragma once

#include "tools/qelcheck/findings.h"
#include "tools/qelcheck/medium.h"
#include "tools/qelcheck/param_checks.h"
#include "tools/qelcheck/staged_archives.h"

namespace qelcheck {

// Every <component>/<version>/1/DataFiles of the stage area.
void CheckStageArea(const Medium& medium, const ParamView& view, StagedArchives& archives, Findings& findings);

// The components and the runtime a bootstrap from this medium expands, as
// the launcher chooses them; findings about settings name the parameter file.
void CheckBootstrapPlan(const Medium& medium, const ParamFile& file, const ParamView& view,
                        StagedArchives& archives, Findings& findings);

}  // namespace qelcheck

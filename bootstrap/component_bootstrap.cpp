#include "bootstrap/component_bootstrap.h"

namespace bootstrap {

// Replaced by the full bootstrap on its own branch.
int BootstrapComponents(BootstrapRun&) { return kBootstrapFailed; }

}  // namespace bootstrap

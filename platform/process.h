// Child processes: the installer and the unzip program.
#pragma once

#include <string>

namespace platform {}  // namespace platform

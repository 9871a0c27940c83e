// Directory listing, file copy and removal, free space.
#pragma once

#include <string>

namespace platform {}  // namespace platform

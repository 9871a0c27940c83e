// System facts that the prerequisite checks query.
#pragma once

#include <string>

namespace platform {}  // namespace platform

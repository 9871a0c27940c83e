#include "platform/platform.h"

namespace platform {

Overrides& TestOverrides() {
  static Overrides overrides;
  return overrides;
}

}  // namespace platform

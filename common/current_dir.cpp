#include "common/current_dir.h"

#include "platform/platform.h"

namespace common {

ScopedCurrentDir::ScopedCurrentDir(const std::string& dir, bool active) {
  if (!active) return;
  left_ = platform::CurrentDir();
  platform::SetCurrentDir(dir);
}

ScopedCurrentDir::~ScopedCurrentDir() {
  if (left_) platform::SetCurrentDir(*left_);
}

}  // namespace common

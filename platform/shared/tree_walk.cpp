#include "platform/shared/tree_walk.h"

namespace platform {

// The constructor, which picks the system's tree, is in each system's file.
TreeCopy::~TreeCopy() = default;

bool TreeCopy::MakeDirectories(std::vector<std::string>& passedOver) {
  return impl_->MakeDirectories(passedOver);
}

size_t TreeCopy::FileCount() const { return impl_->FileCount(); }

bool TreeCopy::CopyFiles(size_t begin, size_t end) const { return impl_->CopyFiles(begin, end); }

}  // namespace platform

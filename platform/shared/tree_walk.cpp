#include "platform/shared/tree_walk.h"

#include "platform/platform.h"

namespace platform {

// The constructor, which picks the system's tree, is in each system's file.
TreeCopy::~TreeCopy() = default;

bool TreeCopy::MakeDirectories(std::vector<std::string>& passedOver) {
  return impl_->MakeDirectories(passedOver);
}

size_t TreeCopy::FileCount() const { return impl_->FileCount(); }

bool TreeCopy::CopyFiles(size_t begin, size_t end) const { return impl_->CopyFiles(begin, end); }

bool TreeCopy::CopyFilesOnThreads(unsigned threads) const { return impl_->CopyFilesOnThreads(threads); }

unsigned CopyThreadCount(const std::optional<std::string>& setting, unsigned processors) {
  if (setting && !setting->empty()) {
    unsigned chosen = 0;
    for (char c : *setting) {
      if (c < '0' || c > '9') {
        chosen = 0;
        break;
      }
      // Saturates: a long run of digits is many threads, not a wrapped few.
      chosen = std::min(chosen * 10 + static_cast<unsigned>(c - '0'), kMaxCopyThreads + 1);
    }
    if (chosen >= 1) return std::min(chosen, kMaxCopyThreads);
  }
  return std::clamp(processors, 1u, kMaxCopyThreads);
}

unsigned CopyThreads() { return CopyThreadCount(GetEnv("QEL_COPY_THREADS"), tree_walk::ProcessorCount()); }

}  // namespace platform

#include "common/process_state.h"

#include "platform/platform.h"

namespace common {

namespace {
ProcessState MakeFresh() {
  ProcessState state;
  state.actionsLogName = std::string(1, platform::kPathSep) + "installActions";
  return state;
}
}  // namespace

ProcessState& Process() {
  static ProcessState state = MakeFresh();
  return state;
}

void ResetProcess() { Process() = MakeFresh(); }

}  // namespace common

#include "platform/shared/windows_rules.h"

#include <algorithm>

namespace platform {

std::vector<uintptr_t> HandlesToInherit(const std::vector<StdHandleFacts>& standard) {
  constexpr uintptr_t kInvalid = ~uintptr_t{0};
  std::vector<uintptr_t> handles;
  for (const StdHandleFacts& handle : standard) {
    const bool real = handle.value != 0 && handle.value != kInvalid && (handle.value & 3) != 3;
    // A handle listed twice makes the system refuse the whole list.
    if (real && handle.inheritable && std::find(handles.begin(), handles.end(), handle.value) == handles.end()) {
      handles.push_back(handle.value);
    }
  }
  return handles;
}

ConsoleEventAction ActOnConsoleEvent(ConsoleEvent event) {
  switch (event) {
    case ConsoleEvent::Interrupt:
    case ConsoleEvent::Break:
      return ConsoleEventAction::GoOnWaiting;
    case ConsoleEvent::Close:
    case ConsoleEvent::Logoff:
    case ConsoleEvent::Shutdown:
      break;
  }
  return ConsoleEventAction::HoldUntilTheRunEnds;
}

}  // namespace platform

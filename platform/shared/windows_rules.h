// Decisions of the Windows build that depend on no system call, compiled by
// both builds so that the unit tests reach them.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

// One standard handle of the launcher, as a child would inherit it.
struct StdHandleFacts {
  uintptr_t value = 0;
  bool inheritable = false;
};
// The handles a child may inherit: the standard handles that exist, are real
// handles (not the console pseudo handles of Windows 7 and older, which the
// system hands on by itself and refuses in a handle list) and are marked
// inheritable, each once. Everything else the launcher holds stays with it.
std::vector<uintptr_t> HandlesToInherit(const std::vector<StdHandleFacts>& standard);

// The console's events while the launcher waits for the installer. The
// installer runs in a process group of its own and decides for itself;
// the launcher rides out an interrupt and goes on waiting, so that it can
// remove the scratch directory and pass the installer's status on. When the
// console closes or the session ends, the system ends the launcher as soon as
// its handler returns, and at the latest after a few seconds: the handler
// holds on meanwhile, so the launcher's own thread can finish the run.
enum class ConsoleEvent { Interrupt, Break, Close, Logoff, Shutdown };
enum class ConsoleEventAction { GoOnWaiting, HoldUntilTheRunEnds };
ConsoleEventAction ActOnConsoleEvent(ConsoleEvent event);

}  // namespace platform

// The parts of a child process that do not depend on the system: moving
// ownership of the handle and the test seam. Closing it is the system's part.
#include <utility>

#include "platform/platform.h"

namespace platform {

FakeChildStarter& TestChildStarter() {
  static FakeChildStarter starter;
  return starter;
}

ChildProcess::~ChildProcess() { Close(); }

ChildProcess::ChildProcess(ChildProcess&& other) noexcept { *this = std::move(other); }

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    started_ = other.started_;
    ended_ = other.ended_;
    exitCode_ = other.exitCode_;
    other.handle_ = 0;
    other.started_ = false;
  }
  return *this;
}

}  // namespace platform

// The parts of the process services that do not depend on the system: moving
// the ownership of a child's or a registry key's handle (closing it is the
// system's part), the fake child of the tests, and reading a line of
// standard input from its bytes.
#include <utility>

#include "platform/platform.h"

namespace platform {

bool StartFakeChild(const std::string& commandLine, const ChildOptions& options, ChildProcess& child,
                    int& error) {
  const FakeChildStarter& fake = TestOverrides().startChild;
  if (!fake) return false;
  int exitCode = 0;
  error = fake(commandLine, options, exitCode);
  if (error != 0) return true;
  child.started_ = true;
  child.ended_ = true;
  child.exitCode_ = exitCode;
  return true;
}

RegKey::~RegKey() { Close(); }

RegKey::RegKey(RegKey&& other) noexcept : handle_(other.handle_) { other.handle_ = 0; }

RegKey& RegKey::operator=(RegKey&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = 0;
  }
  return *this;
}

std::optional<std::string> ReadStdinLine(size_t maxChars) {
  std::string line;
  bool any = false;
  for (;;) {
    std::optional<char> c = ReadStdinChar();
    if (!c) return any ? std::optional<std::string>(line) : std::nullopt;
    any = true;
    if (*c == '\n') break;
    if (line.size() < maxChars) line += *c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
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

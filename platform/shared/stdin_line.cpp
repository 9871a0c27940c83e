#include "platform/shared/stdin_line.h"

#include "platform/platform.h"

namespace platform {

std::optional<char> ReadStdinChar() {
  auto& pending = TestOverrides().stdinData;
  if (!pending) return ReadSystemStdinByte();
  if (pending->empty()) return std::nullopt;
  const char c = pending->front();
  pending->erase(0, 1);
  return c;
}

std::optional<std::string> ReadByteLine(size_t maxChars) {
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

}  // namespace platform

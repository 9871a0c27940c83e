// Reading an open file whole within a bound, written once over a system's
// read primitive (file_read_posix.cpp, file_read_win32.cpp).
#pragma once

#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace platform {

// `size` is what the system says the file holds; `read(buffer, n)` returns
// the bytes read (0 at the end) or a negative number on failure. The size
// may change while the file is read: what is there is taken, up to the bound.
template <class ReadFn>
std::optional<std::string> ReadBounded(uint64_t size, size_t maxBytes, ReadFn read, FileReadError* error) {
  auto fail = [&](FileReadError why) -> std::optional<std::string> {
    if (error) *error = why;
    return std::nullopt;
  };
  if (size > maxBytes) return fail(FileReadError::kTooLarge);
  std::string content;
  try {
    content.resize(static_cast<size_t>(size));
    size_t done = 0;
    for (;;) {
      if (done == content.size()) {
        if (content.size() > maxBytes) return fail(FileReadError::kTooLarge);
        content.resize(std::min(maxBytes + 1, content.size() + 65536));
      }
      const long long n = read(content.data() + done, content.size() - done);
      if (n < 0) return fail(FileReadError::kUnreadable);
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    content.resize(done);
  } catch (const std::bad_alloc&) {
    return fail(FileReadError::kTooLarge);
  }
  return content;
}

}  // namespace platform

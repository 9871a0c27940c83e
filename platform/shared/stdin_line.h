// A line of standard input read byte by byte, for both systems.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace platform {

// One line from ReadStdinChar, without its line end (a carriage return
// before it dropped too); characters beyond maxChars are read and dropped.
// nullopt at the end of input before any character.
std::optional<std::string> ReadByteLine(size_t maxChars);

}  // namespace platform

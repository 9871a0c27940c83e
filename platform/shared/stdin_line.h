// Standard input byte by byte, for both systems: a test's pending input first.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace platform {

// One byte of standard input from the system itself (each system's file);
// nullopt at the end of input or on an error.
std::optional<char> ReadSystemStdinByte();

// One line from ReadStdinChar, without its line end (a carriage return
// before it dropped too); characters beyond maxChars are read and dropped.
// nullopt at the end of input before any character.
std::optional<std::string> ReadByteLine(size_t maxChars);

}  // namespace platform

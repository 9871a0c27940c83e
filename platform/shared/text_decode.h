// Console text to UTF-16. Catalogue texts are UTF-8, but the paths and
// answers formatted into them come from the system in its ANSI code page, so
// one message may hold both.
#pragma once

#include <string>

namespace platform {

// Each well-formed UTF-8 sequence becomes its UTF-16 units; every other byte
// is taken as one character of the ANSI code page through `ansiChar`.
std::u16string DecodeConsoleText(const std::string& text, char16_t (*ansiChar)(unsigned char));
// The number of UTF-16 units DecodeConsoleText makes of `text`.
size_t ConsoleTextUnits(const std::string& text);

}  // namespace platform

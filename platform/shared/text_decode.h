// Text to UTF-16 for the console and message boxes. Catalogue texts are
// UTF-8, and so are paths and answers where the UTF-8 process code page is
// honoured; on older Windows they come in the ANSI code page, so one message
// may hold both.
#pragma once

#include <string>

namespace platform {

// Each well-formed UTF-8 sequence becomes its UTF-16 units; every other byte
// is taken as one character of the ANSI code page through `ansiChar`.
std::u16string DecodeConsoleText(const std::string& text, char16_t (*ansiChar)(unsigned char));
// The number of UTF-16 units DecodeConsoleText makes of `text`.
size_t ConsoleTextUnits(const std::string& text);
// True when every byte of `text` belongs to a well-formed UTF-8 sequence.
bool IsUtf8(const std::string& text);

}  // namespace platform

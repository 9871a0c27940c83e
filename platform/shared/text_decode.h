// Text between UTF-16 and the launcher's narrow texts. Catalogue texts are
// UTF-8, and so are paths and answers where the UTF-8 process code page is
// honoured; on older Windows they come in the ANSI code page, so one message
// may hold both.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Each well-formed UTF-8 sequence becomes its UTF-16 units; every other byte
// is taken as one character of the ANSI code page through `ansiChar`.
std::u16string DecodeConsoleText(const std::string& text, char16_t (*ansiChar)(unsigned char));
// The number of UTF-16 units DecodeConsoleText makes of `text`.
size_t ConsoleTextUnits(const std::string& text);
// True when every byte of `text` belongs to a well-formed UTF-8 sequence.
bool IsUtf8(const std::string& text);

// `wide` in a narrow code page, each character exactly or not at all.
// `exact` gives the bytes of one character (a surrogate pair is one) and
// refuses a character the code page lacks or would write as a look-alike
// ("Ł" as "L"). A refused character, and a surrogate without its partner,
// becomes '?', which no Windows file name may hold: a text that cannot be
// represented names no other file, and a message shows where it failed.
// `lossless`, when given, tells whether every character was taken.
using ExactCharFn = bool (*)(std::u16string_view character, std::string& bytes);
std::string NarrowExactly(std::u16string_view wide, ExactCharFn exact, bool* lossless = nullptr);

// The command tail as the C runtime hands it to WinMain: what follows the
// program name, which ends at the first blank or control character outside
// double quotes (each quote toggles), with the blanks after it dropped.
std::u16string_view CommandTailOf(std::u16string_view commandLine);

}  // namespace platform

// Text helpers and the text limits every subsystem shares. Values and paths
// live in the launcher's 1024-byte buffers, messages are formatted into its
// 4096-byte one: the limits of those buffers are visible from outside, so
// they are kept exactly, here in one place.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace common {

// A value or a path: at most 1023 characters (a 1024-byte buffer).
constexpr size_t kMaxValueChars = 1023;
// A formatted message: at most 4095 characters (the 4096-byte message buffer).
constexpr size_t kMessageChars = 4095;

// The first `maxChars` characters of `text`.
std::string Cut(std::string_view text, size_t maxChars);

bool IsDigit(char c);
// Blank or tab: what separates words on a command line or in a version.
bool IsBlank(char c);
// White space as the C library knows it: blank, tab, line feed, vertical
// tab, form feed, carriage return.
bool IsSpace(char c);

// `text` split at every `separator`; empty pieces (from separators side by
// side, at the start or at the end) are dropped.
std::vector<std::string> SplitDroppingEmpty(std::string_view text, char separator);
// Words separated by runs of blanks (not tabs); no empty words.
std::vector<std::string> SplitWords(std::string_view text);

}  // namespace common

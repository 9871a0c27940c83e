// The profile-file (INI) reader of the Linux build, with the behaviour of the
// Windows profile-file service: section and key names match without regard
// to case, blanks around names and values are dropped, a value in matching
// quotes loses them, an absent file, section or key gives the default, and
// the value is cut after `maxChars` characters.
#pragma once

#include <string>

namespace platform {

// Looks the key up in INI text already read into memory.
std::string IniReadString(const std::string& content, const std::string& section,
                          const std::string& key, const std::string& defaultValue,
                          size_t maxChars);

// Reads the file (a directory or unreadable file counts as absent) and looks
// the key up.
std::string IniReadFileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue,
                              size_t maxChars);

}  // namespace platform

// The profile-file (INI) reader of the Linux build. It answers a query the
// way the Windows profile-file service does, rule for rule (the ini_diff test
// runs both over a corpus of awkward files):
//   - lines end at CR or LF; blanks (tab, LF, VT, FF, CR, ^Z, space) around
//     a line, a section name, a key name and a value are dropped;
//   - "[name]" opens a section (up to the last "]" of the line); other lines
//     are "key=value" split at the first "=", or a key without a value;
//   - section and key names match without regard to (ASCII) case; only the
//     first section of a name is searched, and its first key of the name;
//   - lines before the first section belong to a section with the empty name;
//   - nothing is a comment: ";x=1" is a key named ";x";
//   - a value (or default) enclosed in a pair of the same quote loses them;
//   - a key without "=" or an absent file, section or key gives the default
//     (trailing blanks of the default dropped); a NUL byte ends a name or value;
//   - a UTF-8 byte-order mark is skipped, UTF-16 text is read as such;
//   - at most `maxChars` bytes are returned.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A larger file reads as unreadable: far beyond any parameter file, it keeps
// a device or a runaway file from exhausting memory.
inline constexpr size_t kMaxIniFileBytes = size_t(16) << 20;

// Looks the key up in the bytes of an INI file already read into memory.
std::string IniReadString(std::string_view content, const std::string& section,
                          const std::string& key, const std::string& defaultValue,
                          size_t maxChars);

// A line of an INI file as the reader splits it: a section header or a key
// line (one without "=" too). Blank lines are left out.
struct IniLine {
  size_t number = 0;       // from 1; CR LF, a lone CR and a lone LF each end a line
  bool isSection = false;
  std::string name;        // the section or key name as the reader compares it
  bool hasEquals = false;  // a key line holds "="
};

// Every line of the file's bytes, decoded as IniReadString decodes them, so
// that a checker sees the sections and keys the lookups see.
std::vector<IniLine> IniReadLines(std::string_view content);
// Whether two section or key names are the same name to the reader.
bool IniNamesEqual(std::string_view a, std::string_view b);

// Reads the file and looks the key up. A missing file counts as an empty one;
// a directory or a file that cannot be read gives the default as it is (no
// quotes removed), as the Windows service does.
std::string IniReadFileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue,
                              size_t maxChars);

}  // namespace platform

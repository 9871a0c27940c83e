#include "platform/shared/ini_reader.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

#include "platform/platform.h"

namespace platform {

namespace {

bool IsProfileBlank(char c) { return (c >= '\t' && c <= '\r') || c == '\x1a' || c == ' '; }

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && IsProfileBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && IsProfileBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view Trim(std::string_view text) { return TrimRight(TrimLeft(text)); }

// Names and values are C strings to the Windows service: a NUL ends them.
std::string_view CutAtNul(std::string_view text) { return text.substr(0, text.find('\0')); }

char Fold(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

// UTF-16 after its byte-order mark, as UTF-8 (the Linux code page). Unpaired
// surrogates become U+FFFD; an odd last byte is dropped.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  auto unit = [&](size_t i) -> char32_t {
    auto b0 = static_cast<unsigned char>(bytes[i]);
    auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? char32_t(b0 << 8 | b1) : char32_t(b1 << 8 | b0);
  };
  std::string out;
  out.reserve(bytes.size());
  size_t count = bytes.size() / 2;
  for (size_t i = 0; i < count; ++i) {
    char32_t c = unit(2 * i);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < count) {
      char32_t low = unit(2 * (i + 1));
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, (c >= 0xD800 && c < 0xE000) ? char32_t(0xFFFD) : c);
  }
  return out;
}

// Trailing blanks of a default are dropped, but never its first character.
std::string_view DefaultText(const std::string& defaultValue) {
  std::string_view text = CutAtNul(defaultValue);
  while (text.size() > 1 && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// The answer made from a value or a default: one pair of enclosing quotes
// removed, then cut to maxChars. Like the Windows service, when the text
// without its opening quote is exactly one longer than maxChars, the cut
// text loses its last character as if it were the closing quote.
std::string Answer(std::string_view text, size_t maxChars) {
  bool quoted = text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
                text.back() == text.front();
  if (quoted) text.remove_prefix(1);
  std::string answer(text.substr(0, maxChars));
  if (quoted && maxChars >= text.size() - 1 && !answer.empty()) answer.pop_back();
  return answer;
}

std::string CutAt(std::string_view text, size_t maxChars) { return std::string(text.substr(0, maxChars)); }

// The text the reader works on: a UTF-8 byte-order mark skipped, UTF-16
// decoded into `decoded`.
std::string_view DecodedText(std::string_view content, std::string& decoded) {
  if (content.substr(0, 3) == "\xEF\xBB\xBF") return content.substr(3);
  if (content.substr(0, 2) == "\xFF\xFE" || content.substr(0, 2) == "\xFE\xFF") {
    decoded = Utf16ToUtf8(content.substr(2), content[0] == '\xFE');
    return decoded;
  }
  return content;
}

struct Line {
  size_t number;
  bool isSection;
  std::string_view name;
  bool hasEquals;
  std::string_view value;  // a key line's text after "=", leading blanks dropped
};

// Calls `visit` with every line that is not blank, in order, until it
// returns false. A line ends at CR or LF; CR LF counts as one line end for
// the numbers.
template <typename Visit>
void WalkLines(std::string_view text, Visit visit) {
  size_t pos = 0;
  size_t number = 1;
  while (pos < text.size()) {
    // Not find_first_of: it tests each byte against the set with a call of
    // its own, and a run asks some forty questions of one file.
    size_t end = pos;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    std::string_view line = Trim(text.substr(pos, end - pos));
    const size_t lineNumber = number;
    if (end < text.size() && !(text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')) ++number;
    pos = end + 1;
    if (line.empty()) continue;

    if (line.front() == '[') {
      size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        if (!visit(Line{lineNumber, true, CutAtNul(Trim(line.substr(1, close - 1))), false, {}})) return;
        continue;
      }
    }
    size_t eq = line.find('=');
    std::string_view name = CutAtNul(TrimRight(line.substr(0, eq)));
    std::string_view value = eq == std::string_view::npos ? std::string_view() : CutAtNul(TrimLeft(line.substr(eq + 1)));
    if (!visit(Line{lineNumber, false, name, eq != std::string_view::npos, value})) return;
  }
}

// Finds the value of the key in the decoded file text; false when the key is
// absent or has no "=". Lines before the first header form a section with
// the empty name.
bool FindValue(std::string_view text, std::string_view section, std::string_view key,
               std::string_view& value) {
  bool inSection = section.empty();
  bool found = false;
  WalkLines(text, [&](const Line& line) {
    if (line.isSection) {
      // Only the first section of a name counts.
      if (inSection) return false;
      inSection = EqualNoCase(line.name, section);
      return true;
    }
    if (!inSection || !EqualNoCase(line.name, key)) return true;
    found = line.hasEquals;
    value = line.value;
    return false;
  });
  return found;
}

}  // namespace

std::string IniReadString(std::string_view content, const std::string& section,
                          const std::string& key, const std::string& defaultValue,
                          size_t maxChars) {
  std::string decoded;
  std::string_view text = DecodedText(content, decoded);
  std::string_view value;
  if (FindValue(text, Trim(CutAtNul(section)), Trim(CutAtNul(key)), value)) {
    return Answer(value, maxChars);
  }
  return Answer(DefaultText(defaultValue), maxChars);
}

std::vector<IniLine> IniReadLines(std::string_view content) {
  std::string decoded;
  std::vector<IniLine> lines;
  WalkLines(DecodedText(content, decoded), [&](const Line& line) {
    lines.push_back({line.number, line.isSection, std::string(line.name), line.hasEquals});
    return true;
  });
  return lines;
}

bool IniNamesEqual(std::string_view a, std::string_view b) { return EqualNoCase(a, b); }

std::string IniReadFileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue,
                              size_t maxChars) {
  // The Windows service treats a file it may not open differently from a
  // missing one: the default then keeps its quotes.
  auto unreadable = [&] { return CutAt(DefaultText(defaultValue), maxChars); };
  FileReadError error = FileReadError::kUnreadable;
  std::optional<std::string> content = ReadRegularFile(path, kMaxIniFileBytes, &error);
  if (content) return IniReadString(*content, section, key, defaultValue, maxChars);
  if (error != FileReadError::kMissing) return unreadable();
  // A missing file in an existing directory reads as empty; a missing
  // directory on the way is an open failure.
  size_t sep = path.find_last_of(std::string("/") + kPathSep);
  std::string dir = sep == std::string::npos ? "." : path.substr(0, sep == 0 ? 1 : sep);
  return IsDirectory(dir) ? IniReadString({}, section, key, defaultValue, maxChars) : unreadable();
}

}  // namespace platform

#include "prereq/prereq_reader.h"

#include <algorithm>

#include "platform/platform.h"
#include "platform/shared/ini_reader.h"

namespace prereq {

namespace {

// The standard space class: blank, tab, newline, vertical tab, form feed,
// carriage return.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The characters before the first zero byte: what the line holds as text.
std::string TextPart(const std::string& line) { return line.substr(0, line.find('\0')); }

}  // namespace

std::optional<PrereqText> OpenPrereqFile(const std::string& path) {
  std::optional<std::string> bytes = platform::ReadRegularFile(path, platform::kMaxIniFileBytes);
  if (!bytes) return std::nullopt;
  return PrereqText(std::move(*bytes));
}

int ReadPrereqLine(PrereqText& file, std::string& line) {
  line.clear();
  const std::string& bytes = file.bytes;
  for (;;) {
    if (file.pos >= bytes.size()) return -1;
    size_t end = bytes.find('\n', file.pos);
    const bool last = end == std::string::npos;
    if (last) end = bytes.size();
    size_t stop = end;
    if (!last && stop > file.pos && bytes[stop - 1] == '\r') --stop;
    line.assign(bytes, file.pos, std::min(stop - file.pos, kMaxPrereqLineChars));
    file.pos = last ? end : end + 1;
    if (last) return -1;
    bool blank = true;
    for (char c : line) {
      if (!IsSpace(c)) {
        blank = false;
        break;
      }
    }
    if (!blank) return 0;
  }
}

std::optional<std::string> GetSectionHeader(std::string& line) {
  const std::string text = TextPart(line);
  size_t start = 0;
  while (start < text.size() && IsSpace(text[start])) ++start;
  if (start >= text.size() || text[start] != '[') return std::nullopt;
  if (text.find(']', start + 1) == std::string::npos) return std::nullopt;
  size_t end = text.size();
  while (end > start && IsSpace(text[end - 1])) --end;
  line = text.substr(0, end);
  return line.substr(start);
}

void TrimPrereqToken(std::string& token) {
  size_t first = 0;
  while (first < token.size() && IsSpace(token[first])) ++first;
  if (first == token.size()) return;
  size_t last = token.size();
  while (IsSpace(token[last - 1])) --last;
  token = token.substr(first, last - first);
}

int NextPrereqToken(PrereqTokenizer& scan, const std::string* source, std::string& token,
                    TokenMode mode) {
  if (source) {
    scan.text = TextPart(*source);
    scan.pos = 0;
  }
  const std::string& text = scan.text;
  size_t pos = scan.pos;
  if (pos >= text.size()) return -1;
  while (pos < text.size() && IsSpace(text[pos])) ++pos;

  int result = 0;
  if (pos < text.size() && text[pos] == '"') {
    size_t close = text.find('"', pos + 1);
    if (close == std::string::npos) {
      scan.pos = text.size();
      token.clear();
      return -1;
    }
    token = text.substr(pos + 1, close - pos - 1);
    pos = close + 1;
  } else {
    size_t start = pos;
    while (pos < text.size() && text[pos] != '=' && !(mode == TokenMode::Key && IsSpace(text[pos]))) {
      ++pos;
    }
    token = text.substr(start, pos - start);
    if (token.empty()) result = -1;
    if (pos < text.size()) ++pos;  // the stopper is consumed
  }
  scan.pos = pos;
  TrimPrereqToken(token);
  return result;
}

int FindPrereqSection(PrereqText& file, const std::string& name) {
  const std::string wanted = "[" + name + "]";
  std::string line;
  while (ReadPrereqLine(file, line) == 0) {
    std::optional<std::string> header = GetSectionHeader(line);
    if (header && *header == wanted) return 0;
  }
  return -1;
}

int NextPrereqEntry(PrereqText& file, std::string& key, std::string& value) {
  std::string line;
  ReadPrereqLine(file, line);  // an unterminated last line is an entry too
  if (GetSectionHeader(line)) return -1;
  PrereqTokenizer scan;
  if (NextPrereqToken(scan, &line, key, TokenMode::Key) != 0) return -1;
  if (NextPrereqToken(scan, nullptr, value, TokenMode::Value) != 0) value.clear();
  value = platform::TextFromFile(value);
  return 0;
}

std::string GetPrereqValue(const std::string& section, const std::string& key,
                           const std::string& defaultValue, const std::string& path) {
  std::optional<PrereqText> file = OpenPrereqFile(path);
  if (!file || FindPrereqSection(*file, section) != 0) return defaultValue;
  std::string line;
  for (;;) {
    bool last = ReadPrereqLine(*file, line) != 0;
    if (GetSectionHeader(line)) return defaultValue;
    PrereqTokenizer scan;
    std::string token;
    if (NextPrereqToken(scan, &line, token, TokenMode::Key) != 0) return defaultValue;
    if (token == key) {
      std::string value;
      if (NextPrereqToken(scan, nullptr, value, TokenMode::Value) != 0 || value.empty()) {
        return defaultValue;
      }
      return platform::TextFromFile(value);
    }
    if (last) return defaultValue;
  }
}

int GetPrereqValueEither(const std::string& first, const std::string& second, const std::string& key,
                         const std::string& defaultValue, std::string& value, const std::string& path) {
  value = GetPrereqValue(first, key, defaultValue, path);
  if (!value.empty()) return 1;
  value = GetPrereqValue(second, key, defaultValue, path);
  return 2;
}

}  // namespace prereq

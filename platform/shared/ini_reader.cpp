#include "platform/shared/ini_reader.h"

#include <cstdio>
#include <memory>

namespace platform {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string Trim(const std::string& text) {
  size_t start = 0;
  size_t end = text.size();
  while (start < end && IsSpace(text[start])) ++start;
  while (end > start && IsSpace(text[end - 1])) --end;
  return text.substr(start, end - start);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = char(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = char(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

std::string Finish(std::string value, size_t maxChars) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  if (value.size() > maxChars) value.resize(maxChars);
  return value;
}

}  // namespace

std::string IniReadString(const std::string& content, const std::string& section,
                          const std::string& key, const std::string& defaultValue,
                          size_t maxChars) {
  const std::string wantSection = Trim(section);
  const std::string wantKey = Trim(key);
  bool inSection = false;
  bool sectionSeen = false;
  size_t pos = 0;
  while (pos < content.size()) {
    size_t end = content.find('\n', pos);
    if (end == std::string::npos) end = content.size();
    std::string line = Trim(content.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    if (line[0] == '[') {
      size_t close = line.rfind(']');
      if (close != std::string::npos && close > 0) {
        // Only the first section of a name is searched.
        if (sectionSeen && inSection) break;
        inSection = EqualNoCase(line.substr(1, close - 1), wantSection);
        if (inSection) sectionSeen = true;
        continue;
      }
    }
    if (!inSection) continue;
    size_t eq = line.find('=');
    std::string name = Trim(eq == std::string::npos ? line : line.substr(0, eq));
    if (!EqualNoCase(name, wantKey)) continue;
    return Finish(eq == std::string::npos ? std::string() : Trim(line.substr(eq + 1)), maxChars);
  }
  return Finish(defaultValue, maxChars);
}

std::string IniReadFileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue,
                              size_t maxChars) {
  struct Closer {
    void operator()(FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<FILE, Closer> file(std::fopen(path.c_str(), "rb"));
  std::string content;
  if (file) {
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) content.append(buffer, n);
  }
  return IniReadString(content, section, key, defaultValue, maxChars);
}

}  // namespace platform

#include "common/text.h"

namespace common {

std::string Cut(std::string_view text, size_t maxChars) { return std::string(text.substr(0, maxChars)); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::vector<std::string> SplitDroppingEmpty(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) pieces.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

std::vector<std::string> SplitWords(std::string_view text) { return SplitDroppingEmpty(text, ' '); }

}  // namespace common

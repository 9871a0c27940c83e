#include "platform/shared/text_decode.h"

namespace platform {

namespace {

// The code point of the well-formed sequence at `i` and its length, or 0
// when the bytes there are no such sequence (overlong forms, surrogates and
// values beyond U+10FFFF included).
size_t Utf8Sequence(const std::string& text, size_t i, char32_t& point) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  if (len == 0 || i + len > text.size()) return 0;
  static const unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  point = c & kLeadMask[len];
  for (size_t k = 1; k < len; ++k) {
    const unsigned char t = static_cast<unsigned char>(text[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    point = (point << 6) | (t & 0x3F);
  }
  static const char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (point < kMinimum[len] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

std::u16string DecodeConsoleText(const std::string& text, char16_t (*ansiChar)(unsigned char)) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    char32_t point = 0;
    size_t len = Utf8Sequence(text, i, point);
    if (len == 0) {
      out += ansiChar(static_cast<unsigned char>(text[i++]));
      continue;
    }
    if (point >= 0x10000) {
      point -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (point >> 10));
      out += static_cast<char16_t>(0xDC00 + (point & 0x3FF));
    } else {
      out += static_cast<char16_t>(point);
    }
    i += len;
  }
  return out;
}

size_t ConsoleTextUnits(const std::string& text) {
  size_t units = 0;
  size_t i = 0;
  while (i < text.size()) {
    char32_t point = 0;
    const size_t len = Utf8Sequence(text, i, point);
    units += len == 0 ? 1 : point >= 0x10000 ? 2 : 1;
    i += len == 0 ? 1 : len;
  }
  return units;
}

bool IsUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    char32_t point = 0;
    const size_t len = Utf8Sequence(text, i, point);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::string NarrowExactly(std::u16string_view wide, ExactCharFn exact, bool* lossless) {
  std::string out;
  out.reserve(wide.size());
  bool whole = true;
  for (size_t i = 0; i < wide.size();) {
    const char16_t unit = wide[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool paired = high && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF;
    const size_t units = paired ? 2 : 1;
    const bool lone = !paired && unit >= 0xD800 && unit <= 0xDFFF;
    std::string bytes;
    if (!lone && exact(wide.substr(i, units), bytes) && !bytes.empty()) {
      out += bytes;
    } else {
      out += '?';
      whole = false;
    }
    i += units;
  }
  if (lossless) *lossless = whole;
  return out;
}

std::u16string_view CommandTailOf(std::u16string_view commandLine) {
  size_t i = 0;
  bool quoted = false;
  while (i < commandLine.size() && (commandLine[i] > u' ' || (quoted && commandLine[i] != 0))) {
    if (commandLine[i] == u'"') quoted = !quoted;
    ++i;
  }
  while (i < commandLine.size() && commandLine[i] != 0 && commandLine[i] <= u' ') ++i;
  std::u16string_view tail = commandLine.substr(i);
  return tail.substr(0, tail.find(u'\0'));
}

}  // namespace platform

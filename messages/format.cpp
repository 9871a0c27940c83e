#include "messages/format.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

namespace messages {

namespace {

bool IsFlag(char c) { return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLength(char c) { return c == 'h' || c == 'l' || c == 'L' || c == 'q' || c == 'j' || c == 'z' || c == 't'; }

// Width and precision come from the template; keep them within reason so a
// hostile "%999999999d" cannot ask for gigabytes.
constexpr int kMaxFieldWidth = 4096;

struct Placeholder {
  std::string flags;
  int width = -1;
  int precision = -1;
  char conversion = 0;
};

std::string Render(const Placeholder& ph, const FormatArg& arg) {
  bool asText = ph.conversion == 's' || arg.IsText();
  std::string fmt = "%";
  // Only "-" is defined for %s; the other flags stay with the numbers.
  if (!asText) {
    fmt += ph.flags;
  } else if (ph.flags.find('-') != std::string::npos) {
    fmt += '-';
  }
  if (ph.width >= 0) fmt += std::to_string(ph.width);
  if (ph.precision >= 0 && !asText) fmt += "." + std::to_string(ph.precision);
  // A text is always rendered as %s with the template's flags; a number in a
  // %s becomes its decimal digits first. Most placeholders are a plain %s.
  std::string text;
  if (asText) {
    text = arg.IsText() ? arg.Text() : std::to_string(arg.Number());
    if (ph.width < 0 && ph.precision < 0) return text;
    if (ph.precision >= 0 && size_t(ph.precision) < text.size()) text.resize(ph.precision);
  }
  std::vector<char> buffer(2 * kMaxFieldWidth + 64);
  int written = 0;
  if (asText) {
    fmt += "s";
    written = std::snprintf(buffer.data(), buffer.size(), fmt.c_str(), text.c_str());
  } else if (ph.conversion == 'c') {
    fmt += "c";
    written = std::snprintf(buffer.data(), buffer.size(), fmt.c_str(), int(arg.Number()));
  } else {
    fmt += "ll";
    fmt += ph.conversion;
    written = std::snprintf(buffer.data(), buffer.size(), fmt.c_str(), arg.Number());
  }
  if (written < 0) return {};
  return std::string(buffer.data(), std::min<size_t>(size_t(written), buffer.size() - 1));
}

}  // namespace

std::string FormatText(const std::string& tmpl, std::initializer_list<FormatArg> args,
                       size_t maxChars) {
  std::string out;
  auto next = args.begin();
  const size_t n = tmpl.size();
  size_t i = 0;
  while (i < n && out.size() < maxChars) {
    char c = tmpl[i];
    if (c != '%') {
      out += c;
      ++i;
      continue;
    }
    size_t start = i++;
    if (i < n && tmpl[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    Placeholder ph;
    while (i < n && IsFlag(tmpl[i])) ph.flags += tmpl[i++];
    if (i < n && IsDigit(tmpl[i])) {
      ph.width = 0;
      while (i < n && IsDigit(tmpl[i])) {
        ph.width = std::min(kMaxFieldWidth, ph.width * 10 + (tmpl[i] - '0'));
        ++i;
      }
    }
    if (i < n && tmpl[i] == '.') {
      ++i;
      ph.precision = 0;
      while (i < n && IsDigit(tmpl[i])) {
        ph.precision = std::min(kMaxFieldWidth, ph.precision * 10 + (tmpl[i] - '0'));
        ++i;
      }
    }
    while (i < n && IsLength(tmpl[i])) ++i;
    ph.conversion = i < n ? tmpl[i] : 0;
    bool known = std::string_view("sdiuxXoc").find(ph.conversion) != std::string_view::npos &&
                 ph.conversion != 0;
    if (!known || next == args.end()) {
      // Unknown conversion, %n, "*" widths or a missing argument: copy the
      // placeholder as written rather than guess.
      size_t end = i < n ? i + 1 : n;
      out.append(tmpl, start, end - start);
      i = end;
      continue;
    }
    ++i;
    out += Render(ph, *next++);
  }
  if (out.size() > maxChars) out.resize(maxChars);
  return out;
}

}  // namespace messages

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

struct Spec {
  std::string flags;
  int width = -1;
  int precision = -1;
  char conversion = 0;
};

std::string Render(const Spec& spec, const FormatArg& arg) {
  bool asText = spec.conversion == 's' || arg.IsText();
  std::string fmt = "%";
  // Only "-" is defined for %s; the other flags stay with the numbers.
  if (!asText) {
    fmt += spec.flags;
  } else if (spec.flags.find('-') != std::string::npos) {
    fmt += '-';
  }
  if (spec.width >= 0) fmt += std::to_string(spec.width);
  if (spec.precision >= 0 && !asText) fmt += "." + std::to_string(spec.precision);
  std::vector<char> buffer(2 * kMaxFieldWidth + 64);
  int written = 0;
  if (asText) {
    // A text is always rendered as %s with the template's flags; a number
    // in a %s becomes its decimal digits first.
    std::string text = arg.IsText() ? arg.Text() : std::to_string(arg.Number());
    if (spec.width < 0 && spec.precision < 0) return text;
    if (spec.precision >= 0 && size_t(spec.precision) < text.size()) text.resize(spec.precision);
    fmt += "s";
    written = std::snprintf(buffer.data(), buffer.size(), fmt.c_str(), text.c_str());
  } else if (spec.conversion == 'c') {
    fmt += "c";
    written = std::snprintf(buffer.data(), buffer.size(), fmt.c_str(), int(arg.Number()));
  } else {
    fmt += "ll";
    fmt += spec.conversion;
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
    Spec spec;
    while (i < n && IsFlag(tmpl[i])) spec.flags += tmpl[i++];
    if (i < n && IsDigit(tmpl[i])) {
      spec.width = 0;
      while (i < n && IsDigit(tmpl[i])) {
        spec.width = std::min(kMaxFieldWidth, spec.width * 10 + (tmpl[i] - '0'));
        ++i;
      }
    }
    if (i < n && tmpl[i] == '.') {
      ++i;
      spec.precision = 0;
      while (i < n && IsDigit(tmpl[i])) {
        spec.precision = std::min(kMaxFieldWidth, spec.precision * 10 + (tmpl[i] - '0'));
        ++i;
      }
    }
    while (i < n && IsLength(tmpl[i])) ++i;
    spec.conversion = i < n ? tmpl[i] : 0;
    bool known = std::string_view("sdiuxXoc").find(spec.conversion) != std::string_view::npos &&
                 spec.conversion != 0;
    if (!known || next == args.end()) {
      // Unknown conversion, %n, "*" widths or a missing argument: copy the
      // placeholder as written rather than guess.
      size_t end = i < n ? i + 1 : n;
      out.append(tmpl, start, end - start);
      i = end;
      continue;
    }
    ++i;
    out += Render(spec, *next++);
  }
  if (out.size() > maxChars) out.resize(maxChars);
  return out;
}

}  // namespace messages

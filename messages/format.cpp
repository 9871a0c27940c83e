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

// Reads the placeholder whose "%" is at tmpl[start] (not "%%"): its parts
// into `ph`, and where the text after it begins. A placeholder the formatter
// does not fill (an unknown conversion, %n, a "*" width, one cut short)
// keeps conversion 0.
size_t ReadPlaceholder(const std::string& tmpl, size_t start, Placeholder& ph) {
  const size_t n = tmpl.size();
  size_t i = start + 1;
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
  const char conversion = i < n ? tmpl[i] : 0;
  if (conversion != 0 && std::string_view("sdiuxXoc").find(conversion) != std::string_view::npos) {
    ph.conversion = conversion;
  }
  return i < n ? i + 1 : n;
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
    if (i + 1 < n && tmpl[i + 1] == '%') {
      out += '%';
      i += 2;
      continue;
    }
    Placeholder ph;
    const size_t start = i;
    i = ReadPlaceholder(tmpl, start, ph);
    if (ph.conversion == 0 || next == args.end()) {
      // Unknown conversion, %n, "*" widths or a missing argument: copy the
      // placeholder as written rather than guess.
      out.append(tmpl, start, i - start);
      continue;
    }
    out += Render(ph, *next++);
  }
  if (out.size() > maxChars) out.resize(maxChars);
  return out;
}

std::string TemplateConversions(const std::string& tmpl) {
  std::string conversions;
  for (size_t i = 0; i < tmpl.size();) {
    if (tmpl[i] != '%') {
      ++i;
    } else if (i + 1 < tmpl.size() && tmpl[i + 1] == '%') {
      i += 2;
    } else {
      Placeholder ph;
      i = ReadPlaceholder(tmpl, i, ph);
      if (ph.conversion != 0) conversions += ph.conversion;
    }
  }
  return conversions;
}

size_t UnfilledPlaceholders(const std::string& tmpl) {
  size_t unfilled = 0;
  for (size_t i = 0; i < tmpl.size();) {
    if (tmpl[i] != '%') {
      ++i;
    } else if (i + 1 < tmpl.size() && tmpl[i + 1] == '%') {
      i += 2;
    } else {
      Placeholder ph;
      i = ReadPlaceholder(tmpl, i, ph);
      if (ph.conversion == 0) ++unfilled;
    }
  }
  return unfilled;
}

}  // namespace messages

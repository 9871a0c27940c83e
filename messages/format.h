// Filling printf-style catalogue templates safely. A template comes from a
// catalogue file, which a translator may have got wrong: every placeholder is
// checked against the argument in its place, so a template that does not
// match its arguments never crashes or reads garbage.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace messages {

class FormatArg {
 public:
  FormatArg(const std::string& text) : isText_(true), text_(text) {}
  FormatArg(const char* text) : isText_(true), text_(text ? text : "") {}
  FormatArg(int value) : number_(value) {}
  FormatArg(long value) : number_(value) {}
  FormatArg(long long value) : number_(value) {}
  FormatArg(unsigned value) : number_(value) {}
  FormatArg(unsigned long value) : number_(static_cast<long long>(value)) {}
  FormatArg(unsigned long long value) : number_(static_cast<long long>(value)) {}

  bool IsText() const { return isText_; }
  const std::string& Text() const { return text_; }
  long long Number() const { return number_; }

 private:
  bool isText_ = false;
  std::string text_;
  long long number_ = 0;
};

// Fills `tmpl` with `args`, in order. Conversions s, d, i, u, x, X, o, c with
// flags, width and precision are honoured; length modifiers are accepted and
// ignored. A text where a number is expected is inserted as text, a number
// where a text is expected as its decimal digits; a placeholder without an
// argument, %n and unknown conversions are copied literally. The result is
// cut after `maxChars` bytes (the size of the buffer the text is formatted
// into, less its terminating zero).
std::string FormatText(const std::string& tmpl, std::initializer_list<FormatArg> args,
                       size_t maxChars = std::string::npos);

// The conversions of the placeholders FormatText fills in `tmpl`, in order,
// one letter each ("sd" for "%s ... %5d"): the arguments the template takes.
// "%%" and placeholders copied literally are not among them.
std::string TemplateConversions(const std::string& tmpl);
// The placeholders of `tmpl` that FormatText copies as written whatever the
// arguments (%n, an unknown conversion, a "*" width, one cut short).
size_t UnfilledPlaceholders(const std::string& tmpl);

}  // namespace messages

// The prerequisite reader: a strict line reader over the parameter file.
// Section and key names match exactly and case-sensitively, no blank may
// stand between a key and its "=", and there is no comment syntax, so it can
// see less than the profile reader does in the same file.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace prereq {

// A line, a key and a value hold at most this many characters; the rest of a
// longer line is dropped.
constexpr size_t kMaxPrereqLineChars = 1023;

// The bytes of a prerequisite file and how far they have been read.
struct PrereqText {
  PrereqText() = default;
  explicit PrereqText(std::string text) : bytes(std::move(text)) {}
  std::string bytes;
  size_t pos = 0;
};
// The parameter file's bytes; nullopt when it cannot be read (missing, not a
// regular file, larger than a parameter file may be, or unreadable): then
// there is nothing to check.
std::optional<PrereqText> OpenPrereqFile(const std::string& path);

// The next non-blank line, without its newline, into `line`: 0. At the end of
// the text -1, with `line` holding what followed the last newline (an
// unterminated last line, possibly empty). A carriage return before a newline
// is dropped, as text-mode reading does.
int ReadPrereqLine(PrereqText& file, std::string& line);

// When `line` is a section header (first non-blank character "[" and a "]"
// after it), removes its trailing whitespace in place and returns the text
// from the "[" on; otherwise nullopt.
std::optional<std::string> GetSectionHeader(std::string& line);

enum class TokenMode {
  Key,    // a plain token ends at "=" or whitespace
  Value,  // a plain token ends at "=" only
};

// The scanner's saved position: a key token and the value token after it
// come from one tokenizer.
struct PrereqTokenizer {
  std::string text;
  size_t pos = 0;
};

// The next token of `source` (from its start), or, with no source, from where
// the previous call on `scan` stopped. A double-quoted token is copied without
// its quotes (an unterminated quote gives -1). 0 for a token, -1 for none.
int NextPrereqToken(PrereqTokenizer& scan, const std::string* source, std::string& token,
                    TokenMode mode);

// Leading and trailing whitespace removed; a token made only of whitespace
// is left as it is.
void TrimPrereqToken(std::string& token);

// Reads on to the header of section `name`: 0 with the text just after it,
// -1 at its end.
int FindPrereqSection(PrereqText& file, const std::string& name);

// The next entry of the current section: 0 with its key and value (possibly
// empty); -1 at a header, a line without a key, or the end of the text.
int NextPrereqEntry(PrereqText& file, std::string& key, std::string& value);

// The value of the first `key` entry of `section` in the file at `path`;
// `defaultValue` when the file does not open, the section or key is missing,
// or the value is empty.
std::string GetPrereqValue(const std::string& section, const std::string& key,
                           const std::string& defaultValue, const std::string& path);

// GetPrereqValue on `first`; when that gives an empty value, on `second`.
// Returns 1 or 2: the section that was asked last.
int GetPrereqValueEither(const std::string& first, const std::string& second, const std::string& key,
                         const std::string& defaultValue, std::string& value, const std::string& path);

}  // namespace prereq

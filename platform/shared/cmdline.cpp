#include "platform/shared/cmdline.h"

namespace platform {

namespace {
// Blank or tab: what separates arguments on a Windows command line.
bool IsArgumentBreak(char c) { return c == ' ' || c == '\t'; }
}  // namespace

std::string QuoteWindowsArg(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  return QuoteWindowsArgAlways(arg);
}

std::string QuoteWindowsArgAlways(const std::string& arg) {
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

std::string JoinCommandTail(const std::vector<std::string>& args) {
  std::string tail;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i) tail += ' ';
    tail += QuoteWindowsArg(args[i]);
  }
  return tail;
}

std::vector<std::string> SplitWindowsCommandLine(const std::string& line) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = line.size();

  // Program name: quotes group, no escapes.
  while (i < n && IsArgumentBreak(line[i])) ++i;
  if (i < n) {
    std::string word;
    bool quoted = false;
    for (; i < n; ++i) {
      char c = line[i];
      if (c == '"') {
        quoted = !quoted;
      } else if (IsArgumentBreak(c) && !quoted) {
        break;
      } else {
        word += c;
      }
    }
    args.push_back(word);
  }

  for (;;) {
    while (i < n && IsArgumentBreak(line[i])) ++i;
    if (i >= n) break;
    std::string word;
    bool quoted = false;
    while (i < n) {
      char c = line[i];
      if (c == '\\') {
        size_t count = 0;
        while (i < n && line[i] == '\\') {
          ++count;
          ++i;
        }
        if (i < n && line[i] == '"') {
          word.append(count / 2, '\\');
          if (count % 2) {
            word += '"';
            ++i;
          }
        } else {
          word.append(count, '\\');
        }
        continue;
      }
      if (c == '"') {
        if (quoted && i + 1 < n && line[i + 1] == '"') {
          word += '"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      if (IsArgumentBreak(c) && !quoted) break;
      // A run of plain characters at once: a class path is thousands long.
      size_t end = i + 1;
      while (end < n && line[end] != '\\' && line[end] != '"' && (quoted || !IsArgumentBreak(line[end]))) ++end;
      word.append(line, i, end - i);
      i = end;
    }
    args.push_back(word);
  }
  return args;
}

}  // namespace platform

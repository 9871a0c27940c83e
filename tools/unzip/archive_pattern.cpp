#include "tools/unzip/archive_pattern.h"

#include <algorithm>

namespace unzip {

namespace {

bool IsSeparator(char c, bool windowsRules) { return c == '/' || (windowsRules && c == '\\'); }

char Fold(char c, bool ignoreCase) {
  return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsDriveRoot(std::string_view path) {
  return path.size() == 3 && path[1] == ':' && path[2] == '\\';
}

}  // namespace

ArchivePattern SplitArchivePattern(std::string_view arg, bool windowsRules) {
  size_t sep = arg.find_last_of(windowsRules ? "/\\" : "/");
  if (sep == std::string_view::npos) {
    // "C:*.jar": the drive's current directory.
    if (windowsRules && arg.size() >= 2 && arg[1] == ':') {
      return {std::string(arg.substr(0, 2)), std::string(arg.substr(2))};
    }
    return {"", std::string(arg)};
  }
  return {CleanDirectory(arg.substr(0, sep + 1), windowsRules), std::string(arg.substr(sep + 1))};
}

std::string CleanDirectory(std::string_view dir, bool windowsRules) {
  const char separator = windowsRules ? '\\' : '/';
  std::string clean;
  size_t keep = 0;  // leading separators that belong to the root
  size_t i = 0;
  if (windowsRules && dir.size() >= 2 && IsSeparator(dir[0], true) && IsSeparator(dir[1], true)) {
    clean = "\\\\";
    keep = 2;
    while (i < dir.size() && IsSeparator(dir[i], true)) ++i;
  }
  for (; i < dir.size(); ++i) {
    if (!IsSeparator(dir[i], windowsRules)) {
      clean += dir[i];
    } else if (clean.size() == keep || clean.back() != separator) {
      clean += separator;
    }
  }
  while (clean.size() > std::max<size_t>(keep, 1) && clean.back() == separator &&
         !(windowsRules && IsDriveRoot(clean))) {
    clean.pop_back();
  }
  return clean;
}

std::string JoinArchivePath(const std::string& dir, const std::string& name, bool windowsRules) {
  const char separator = windowsRules ? '\\' : '/';
  bool bare = dir.empty() || dir.back() == separator ||
              (windowsRules && dir.size() == 2 && dir[1] == ':');
  return bare ? dir + name : dir + separator + name;
}

bool HasWildcard(std::string_view pattern) {
  return pattern.find_first_of("*?") != std::string_view::npos;
}

bool MatchWildcard(std::string_view pattern, std::string_view name, bool ignoreCase) {
  size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || Fold(pattern[p], ignoreCase) == Fold(name[n], ignoreCase))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace unzip

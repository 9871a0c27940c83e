#include "tools/unzip/command.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "tools/unzip/expand.h"
#include "tools/unzip/os_layer.h"

namespace unzip {

namespace {

struct Options {
  int quiet = 0;
  std::string archive;
  std::string dest;
};

bool ParseArgs(const std::vector<std::string>& args, Options* options, std::string* error) {
  bool haveArchive = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') {
      if (haveArchive) {
        *error = "unexpected argument \"" + arg + "\"";
        return false;
      }
      options->archive = arg;
      haveArchive = true;
      continue;
    }
    for (size_t j = 1; j < arg.size(); ++j) {
      char c = arg[j];
      if (c == 'o') continue;  // files are always overwritten
      if (c == 'q') {
        ++options->quiet;
        continue;
      }
      if (c == 'd') {
        // The directory may follow at once (-dDIR) or as the next argument.
        if (j + 1 < arg.size()) {
          options->dest = arg.substr(j + 1);
        } else if (i + 1 < args.size()) {
          options->dest = args[++i];
        } else {
          *error = "option -d needs a directory";
          return false;
        }
        break;
      }
      *error = std::string("unknown option -") + c;
      return false;
    }
  }
  if (!haveArchive) {
    *error = "no archive given";
    return false;
  }
  return true;
}

char Fold(char c, bool ignoreCase) {
  return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// "*" matches any run of characters, "?" one character.
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

// The archives the argument names, in sorted order; empty (with the reason)
// when none.
std::vector<std::string> FindArchives(const std::string& arg, std::string* error) {
  if (IsRegularFile(arg)) return {arg};
  size_t sep = arg.find_last_of("/\\");
  std::string prefix = sep == std::string::npos ? "" : arg.substr(0, sep + 1);
  std::string pattern = arg.substr(prefix.size());
  if (pattern.find_first_of("*?") == std::string::npos) {
    *error = "cannot find archive " + arg;
    return {};
  }
  std::string dir = prefix.size() > 1 ? prefix.substr(0, prefix.size() - 1) : prefix;
  std::vector<std::string> names;
  std::string reason;
  if (!ListFiles(dir.empty() ? "." : dir, &names, &reason)) {
    *error = "cannot list " + (dir.empty() ? std::string(".") : dir) + ": " + reason;
    return {};
  }
  std::vector<std::string> archives;
  for (const std::string& name : names) {
    if (MatchWildcard(pattern, name, WindowsNameRules())) archives.push_back(prefix + name);
  }
  std::sort(archives.begin(), archives.end());
  if (archives.empty()) *error = "no archive matches " + arg;
  return archives;
}

int Run(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!ParseArgs(args, &options, &error)) {
    std::fprintf(stderr, "unzip: %s\nusage: unzip [-o] [-q|-qq|-qqq] ARCHIVE [-d DIRECTORY]\n",
                 error.c_str());
    return kExitUsage;
  }
  std::vector<std::string> archives = FindArchives(options.archive, &error);
  if (archives.empty()) {
    std::fprintf(stderr, "unzip: %s\n", error.c_str());
    return kExitNoArchive;
  }
  DestTree dest;
  if (!dest.Open(options.dest, &error)) {
    std::fprintf(stderr, "unzip: cannot use destination %s: %s\n",
                 options.dest.empty() ? "." : options.dest.c_str(), error.c_str());
    return kExitIo;
  }
  int status = kExitOk;
  for (const std::string& archive : archives) {
    status = std::max(status, ExpandArchive(archive, dest, options.quiet > 0));
  }
  return status;
}

}  // namespace

int Main(const std::vector<std::string>& args) {
  // A damaged directory may claim gigabytes; the 32-bit build cannot hold them.
  try {
    return Run(args);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "unzip: out of memory\n");
    return kExitIo;
  }
}

}  // namespace unzip

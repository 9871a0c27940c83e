#include "tools/unzip/command.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "tools/unzip/archive_pattern.h"
#include "tools/unzip/expand.h"
#include "tools/unzip/os_layer.h"
#include "tools/unzip/pipeline.h"

namespace unzip {

namespace {

const char* const kSynopsis = "usage: unzip [-o] [-q|-qq|-qqq] ARCHIVE [-d DIRECTORY]\n";

const char* const kUsage =
    "usage: unzip [-o] [-q|-qq|-qqq] ARCHIVE [-d DIRECTORY]\n"
    "       unzip --help | --version\n"
    "Expands every archive ARCHIVE names (its last component may hold * and ?)\n"
    "into DIRECTORY (default: the current directory), overwriting what is there.\n"
    "  -o            overwrite (always done)\n"
    "  -q            no listing of the entries (-qq, -qqq the same)\n"
    "  -d DIRECTORY  the destination (also -dDIRECTORY)\n"
    "  --help        print this text\n"
    "  --version     print the kit's version\n"
    "Options may be combined (-qqqo). Exit status: 0 every archive expanded,\n"
    "1 entries refused or not supported, 2 a damaged archive, 3 an archive not read\n"
    "or the tree not written, 9 no archive matched, 10 a command line it does not take.\n";

struct Options {
  int quiet = 0;
  bool help = false;
  bool version = false;
  std::string archive;
  std::string dest;
};

bool ParseArgs(const std::vector<std::string>& args, Options* options, std::string* error) {
  bool haveArchive = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "--version") {
      (arg == "--help" ? options->help : options->version) = true;
      continue;
    }
    if (arg.size() > 2 && arg[0] == '-' && arg[1] == '-') {
      *error = "unknown option " + arg;
      return false;
    }
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
      *error = std::string("unknown option -") + c + (arg.size() > 2 ? " in " + arg : std::string());
      return false;
    }
  }
  if (options->help || options->version) return true;
  if (!haveArchive) {
    *error = "no archive given";
    return false;
  }
  return true;
}

// The archives the argument names, in sorted order; empty (with the reason)
// when none. Whatever a name leads to is taken: what is no archive (a
// directory, a FIFO, a device) is told when it is opened.
std::vector<std::string> FindArchives(const std::string& arg, std::string* error) {
  if (Exists(arg)) return {arg};
  const bool windowsRules = WindowsNameRules();
  ArchivePattern where = SplitArchivePattern(arg, windowsRules);
  if (!HasWildcard(where.pattern)) {
    std::string path = JoinArchivePath(where.dir, where.pattern, windowsRules);
    if (!where.pattern.empty() && Exists(path)) return {path};
    *error = "cannot find archive " + arg;
    return {};
  }
  std::string dir = where.dir.empty() ? "." : where.dir;
  std::vector<std::string> names;
  std::string reason;
  if (!ListNames(dir, &names, &reason)) {
    *error = "cannot list " + dir + ": " + reason;
    return {};
  }
  std::vector<std::string> archives;
  for (const std::string& name : names) {
    if (MatchWildcard(where.pattern, name, windowsRules)) {
      archives.push_back(JoinArchivePath(where.dir, name, windowsRules));
    }
  }
  std::sort(archives.begin(), archives.end());
  if (archives.empty()) *error = "no archive matches " + arg;
  return archives;
}

void Tell(const std::string& problem) { WriteStd(StdStream::kError, "unzip: " + problem + "\n"); }

int Run(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!ParseArgs(args, &options, &error)) {
    WriteStd(StdStream::kError, "unzip: " + error + "\n" + kSynopsis + "Run unzip --help for more.\n");
    return kExitUsage;
  }
  if (options.help) {
    WriteStd(StdStream::kOutput, kUsage);
    return kExitOk;
  }
  if (options.version) {
    WriteStd(StdStream::kOutput, std::string("unzip (setup launcher kit) ") + QEL_KIT_VERSION + "\n");
    return kExitOk;
  }
  std::vector<std::string> archives = FindArchives(options.archive, &error);
  if (archives.empty()) {
    Tell(error);
    return kExitNoArchive;
  }
  DestTree dest;
  if (!dest.Open(options.dest, &error)) {
    Tell("cannot use destination " + (options.dest.empty() ? std::string(".") : options.dest) + ": " + error);
    return kExitIo;
  }
  return ExpandArchives(archives, dest, options.quiet > 0,
                        ThreadCount(std::getenv("QEL_UNZIP_THREADS"), ProcessorCount()));
}

}  // namespace

int Main(const std::vector<std::string>& args) {
  // A damaged directory may claim gigabytes; the 32-bit build cannot hold them.
  try {
    return Run(args);
  } catch (const std::bad_alloc&) {
    Tell("out of memory");
    return kExitIo;
  }
}

}  // namespace unzip

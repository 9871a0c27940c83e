// The whole check of a medium, and the checker's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/qelcheck/findings.h"
#include "tools/qelcheck/medium.h"

namespace qelcheck {

// Everything the checker reports about the medium whose launcher lies in
// medium.installDir().
Findings CheckMedium(const Medium& medium);

struct Options {
  bool quiet = false;                // errors only
  std::optional<MediumKind> kind;    // --windows or --linux; else from the launcher found
  std::optional<std::string> installDir;
  bool help = false;                 // --help: the usage on standard output, nothing checked
  bool version = false;              // --version: the kit's version, nothing checked
};

// nullopt (with the reason in `error`) for a command line the checker does
// not take.
std::optional<Options> ReadOptions(const std::vector<std::string>& args, std::string& error);

// The program: checks, prints the findings on standard output and returns
// the exit status. `ownDir` is the directory of the checker itself.
int Main(const std::vector<std::string>& args, const std::string& ownDir);

}  // namespace qelcheck

// The parameter file qelparam.ini as the launcher reads it: keys it does not
// read, values it cuts or will not take as meant, BOOTSTRAP_SIZE and
// BOOTSTRAP_COMPS, and locations on the medium that name nothing.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/qelcheck/findings.h"
#include "tools/qelcheck/medium.h"

namespace qelcheck {

// The parameter file the launcher of the medium uses.
struct ParamFile {
  std::string name;     // as findings name it: "qelparam.ini" or "../qelparam.ini"
  std::string host;     // its path on this machine
  std::string content;  // its bytes
  bool unreadable = false;  // a directory or other thing the launcher reads nothing from
};

// Beside the launcher, else one level above it (the places a launcher
// started from its own directory looks); nullopt when neither exists.
std::optional<ParamFile> FindParamFile(const Medium& medium);

// What the launcher makes of the file, for the checks of the stage area and
// the prerequisite sections. Locations are "" when not set.
struct ParamView {
  bool distribution = false;
  bool bootstrap = false;  // forced on by DISTRIBUTION
  bool platformPrereqs = false;
  std::string jreLocation;
  std::string jreScratchLoc;
  std::string qtiVersion;
  bool qtiVersionSet = false;  // to another version than the default
  std::string qtiLocation;
  std::string qtiCoreLocation;
  std::string mendraLocation;
  bool disableJrePrompt = false;
  std::string thinJdbc;  // THIN_JDBC_FILENAME
  std::vector<std::string> components;  // BOOTSTRAP_COMPS as kept: at most 16
  // The line of each key the launcher reads from the file, by the key
  // table's name; 0 for a key the file does not set.
  std::map<std::string, size_t> lines;
  size_t Line(const std::string& key) const;
};

ParamView CheckParamFile(const Medium& medium, const ParamFile& file, Findings& findings);

}  // namespace qelcheck

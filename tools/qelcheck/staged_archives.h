// The jar archives of a staged data directory, read with the unzip tool's
// own reader and name rules: every archive must open, every entry's data
// must come out with its CRC right, and no entry may be one the tool refuses
// (a name leaving the destination, a link leading out of it, entries that
// overlap). What the archives hold is kept for the checks of the bootstrap.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/qelcheck/findings.h"
#include "tools/qelcheck/medium.h"

namespace qelcheck {

// An entry the unzip tool expands, as a path below the scratch directory.
struct StagedEntry {
  std::vector<std::string> parts;
  bool isDir = false;
  std::optional<unsigned> unixMode;  // the stored Unix mode, when the archive keeps one
};

struct DataDir {
  bool exists = false;
  std::vector<size_t> errors;  // the findings of the directory and its archives
  enum class Use { Unused, Optional, Needed } use = Use::Unused;
  std::vector<std::string> archives;  // the names the unzip tool's "*.jar" matches, sorted
  std::vector<StagedEntry> entries;   // of every archive, in order
};

class StagedArchives {
 public:
  StagedArchives(const Medium& medium, Findings& findings) : medium_(medium), findings_(findings) {}

  // The data directory `dir`, a medium path; its archives are checked (and
  // their faults reported) the first time a directory is asked for under
  // any spelling.
  const DataDir& Read(const std::string& dir);
  // The launcher expands `dir`: its faults stop the bootstrap when
  // `needed`, else the launcher passes over them.
  const DataDir& Use(const std::string& dir, bool needed = true);
  // The faults of directories the launcher never expands, or whose failure
  // it passes over, become warnings.
  void Settle();

 private:
  DataDir& ReadDir(const std::string& dir);
  void CheckArchive(const std::string& archive, const std::string& host, DataDir& out);
  void Fault(DataDir& out, const std::string& file, const std::string& text);

  const Medium& medium_;
  Findings& findings_;
  std::map<std::string, DataDir> read_;
};

}  // namespace qelcheck

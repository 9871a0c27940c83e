// The parameter file qelparam.ini: finding it (the search recorded in the
// actions log) and reading every launcher setting of section "Quelta" with its
// default.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "params/param_keys.h"

namespace params {

enum class ValueMode { Whole, First };

// The key from section "Quelta" of `path`: the default for an absent or
// empty value; only the first character in First mode; at most `capacity`
// characters.
std::string GetParamValue(const std::string& key, const std::string& defaultValue,
                          const std::string& path, ValueMode mode = ValueMode::Whole,
                          size_t capacity = common::kMaxValueChars);

// The Java runtime choice texts, compared whole ("TRUE" exactly counts).
struct JavaChoice {
  std::string useJreOnly = "FALSE";
  std::string useJdkOnly = "FALSE";
  std::string disableJrePrompt = "FALSE";
};

// The settings of one run, as the parameter file gives them.
struct Settings {
  bool distribution = false;  // DISTRIBUTION begins with "T"
  std::string jreScratchLoc;
  std::string jreLocation;    // JRE_LOCATION; empty with -jreLoc, which stands for it
  std::string scratchJrePath; // scratch directory + JRE_SCRATCH_LOC, or ""
  std::string accessDir;
  std::string jreMemoryOptions;
  std::string qtiVersion;
  std::string jreVersion;
  JavaChoice java;
  std::string qtiLocation;
  std::string qtiCoreLocation;
  std::string mendraLocation;
  bool bootstrap = false;  // BOOTSTRAP begins with "T"; always in distribution mode
  std::string bootstrapSize;
  std::string thinJdbcFilename;
  std::string jreOsdParam;
  std::string addToClasspath;
  std::string installClass;
  std::string installOneClickClass;
  std::string prereqConfigLocation;
  bool waitForCompletion = false;  // WAIT_FOR_COMPLETION begins with "T"
  std::string copyThreads;
  std::string extJlib;
  std::string extLib;
  std::string extBin;
  std::vector<std::string> bootstrapComponents;  // at most 16, in order
};

// What the search and the reading start from.
struct ParamFileInput {
  std::string paramFileOption;  // -paramFile's value; "" when absent
  std::string startupDir;       // searched first
  bool shipHomeLoc = false;     // the startup directory is a ship home, not the launcher's
  std::optional<std::string> launcherDir;  // nullopt when it could not be determined
  std::string scratchDir;       // JRE_SCRATCH_LOC is below it; the log goes there without a fixed one
  bool jreLocGiven = false;     // -jreLoc: JRE_LOCATION and JRE_SCRATCH_LOC are not read
  // From the command line; the file's value replaces it when it is empty
  // or came from FROM_LOCATION.
  std::string prereqConfigLocation;
  bool prereqLocFromFromLocation = false;
};

struct ParamFileResult {
  // 0; -1 when the launcher directory is unknown; -2 when no parameter file
  // exists (S_ERQELPARAMNFD shown).
  int status = 0;
  std::string paramFile;  // the absolute path of the file in use
  Settings settings;
};

// Finds the parameter file and reads the settings. Outside distribution mode
// the components default to the launcher's directory (the ship home under
// -shipHomeLoc). The current directory is left alone: relative values stay
// relative, taken later from the startup directory.
ParamFileResult ReadParamFile(const ParamFileInput& input);

}  // namespace params

// The parameter file qelparam.ini: finding it (with the search recorded in
// the actions log), creating the scratch directory, and reading every
// launcher setting of section "Quelta" with its default.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace params {

constexpr size_t kMaxValueChars = 1023;   // 1024-byte buffers
constexpr size_t kMaxVersionChars = 31;   // QTI_VERSION, JRE_VERSION
constexpr size_t kMaxShortChars = 11;     // COPY_THREADS, WAIT_FOR_COMPLETION, PLATFORM_PREREQS
constexpr size_t kMaxBootstrapComps = 16;
extern const char* const kParamSection;   // "Quelta"

enum class ValueMode { Whole, First };

// The key from section "Quelta" of `path`: the default for an absent or
// empty value; only the first character in First mode; at most `capacity`
// characters.
std::string GetParamValue(const std::string& key, const std::string& defaultValue,
                          const std::string& path, ValueMode mode = ValueMode::Whole,
                          size_t capacity = kMaxValueChars);

// The settings of one run, as ReadParamFile leaves them.
struct Settings {
  std::string distribution;  // first character
  std::string jreScratchLoc;
  std::string accessDir;
  std::string jreMemoryOptions;
  std::string qtiVersion;
  std::string jreVersion;
  std::string qtiLocation;
  std::string qtiCoreLocation;
  std::string mendraLocation;
  std::string bootstrap;  // first character ("T" forced in distribution mode)
  std::string bootstrapSize;
  std::string thinJdbcFilename;
  std::string jreOsdParam;
  std::string addToClasspath;
  std::string installClass;
  std::string installOneClickClass;
  std::string waitForCompletion;  // first character
  std::string copyThreads;
  std::string extJlib;
  std::string extLib;
  std::string extBin;
  std::vector<std::string> bootstrapComponents;  // at most 16, in order
};

// What ReadParamFile reads and fills besides the settings.
struct ParamFileRun {
  std::string paramFile;     // in: -paramFile value; out: absolute path in use
  std::string scratchDir;    // in: -rscratchPath or empty; out: the scratch directory
  std::string startupDir;    // in: startup directory; out: the launcher directory (unless -shipHomeLoc)
  std::string jreLocation;   // in: -jreLoc value; out: JRE_LOCATION unless -jreLoc
  std::optional<platform::DirIdentity> scratchIdentity;  // out: when this run made it
  std::string scratchJrePath;         // out: scratch directory + JRE_SCRATCH_LOC
  std::string prereqConfigLocation;   // in: command-line value; out: final value
  std::string timestamp;     // for the scratch directory and the actions log
  bool bootstrapOnly = false;
  bool rscratchPath = false;
  bool shipHomeLoc = false;
};

// 0; -1 when the launcher directory cannot be determined or the scratch
// directory cannot be created; -2 when no parameter file exists.
int ReadParamFile(ParamFileRun& run, Settings& settings);

// BOOTSTRAP_COMPS split at commas, empty pieces dropped.
std::vector<std::string> SplitBootstrapComps(const std::string& value);

}  // namespace params

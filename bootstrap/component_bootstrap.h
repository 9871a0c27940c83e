// The component bootstrap: puts everything the installer process needs (the
// installer, its core, the patch tool, a Java runtime, images, prerequisite
// configuration, access files and extra libraries) into the run's scratch
// directory, expanding jar archives from a distribution medium's staged
// component area or copying plain trees, and moves the run's locations there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace bootstrap {

// Results of BootstrapComponents. The run goes on after the first two.
constexpr int kBootstrapNothingCopied = 0;
constexpr int kBootstrapCopied = 10;
constexpr int kBootstrapFailed = 30;

// The run's state that the bootstrap reads; "in/out" fields may be replaced
// by paths in the scratch directory.
struct BootstrapRun {
  std::string scratchDir;
  // Tested before every step when set: the run made the scratch directory.
  std::optional<platform::DirIdentity> scratchIdentity;
  std::string qtiLocation;             // in/out
  std::string qtiCoreLocation;         // in/out
  std::string mendraLocation;          // in/out
  std::string jreLocation;             // in/out
  std::string scratchJrePath;          // scratch directory + JRE_SCRATCH_LOC, or ""
  std::string qtiVersion;              // not used
  std::string jreVersion;
  std::string imagesDir;               // in/out
  std::string prereqConfigLocation;    // in/out
  std::string startupDir;              // unzip directory of the component loop
  std::string secondDir;               // unzip directory of the named steps
  int64_t requiredKilobytes = 0;
  bool distribution = false;
  std::string extJlib;
  std::string extLib;
  std::string extBin;
  bool copyRuntime = false;            // the runtime did not come from -jreLoc or the prompt
  std::string timestamp;
  std::string logName;
  std::vector<std::string> components; // in/out: entries are cut at their first colon
  std::string accessDir;
  bool bootstrapOnly = false;
  bool noBootstrap = false;
  bool shipHomeLoc = false;
};

// 0, 10 (installer files were put into the scratch directory) or 30 (failed).
int BootstrapComponents(BootstrapRun& run);

}  // namespace bootstrap

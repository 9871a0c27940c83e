// The component bootstrap: puts everything the installer process needs (the
// installer, its core, the patch tool, a Java runtime, images, prerequisite
// configuration, access files and extra libraries) into the run's scratch
// directory, expanding jar archives from a distribution medium's staged
// component area or copying plain trees, and says where each piece is now.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace bootstrap {

// The components of a medium with a step of their own.
inline constexpr const char* kQtiComponent = "quelta.swd.qti";
inline constexpr const char* kQtiCoreComponent = "quelta.swd.qti.core";
inline constexpr const char* kMendraComponent = "quelta.swd.mendra";
inline constexpr const char* kJreComponent = "quelta.swd.jre";
inline constexpr const char* kJdkComponent = "quelta.jdk";

// Results of BootstrapComponents. The run goes on after the first two.
constexpr int kBootstrapNothingCopied = 0;
constexpr int kBootstrapCopied = 10;
constexpr int kBootstrapFailed = 30;

// Where the installer's pieces are; the bootstrap moves some into the
// scratch directory.
struct ComponentLocations {
  std::string qti;           // QTI_LOCATION
  std::string qtiCore;       // QTI_CORE_LOCATION
  std::string mendra;        // MENDRA_LOCATION
  std::string jre;           // the Java runtime location
  std::string images;        // the images directory, "" when there is none
  std::string prereqConfig;  // the prerequisite configuration location
};

struct BootstrapInput {
  std::string scratchDir;
  // Tested before every step when set: the run made the scratch directory.
  std::optional<platform::DirIdentity> scratchIdentity;
  ComponentLocations locations;
  std::string scratchJrePath;   // scratch directory + JRE_SCRATCH_LOC, or ""
  std::string jreVersion;
  std::string startupDir;       // its unzip program expands the listed components
  std::string unzipDir;         // its unzip program expands the named steps' archives
  int64_t requiredKilobytes = 0;
  bool distribution = false;
  std::string extJlib;
  std::string extLib;
  std::string extBin;
  bool copyRuntime = false;     // the runtime did not come from -jreLoc or the prompt
  std::vector<std::string> components;  // BOOTSTRAP_COMPS, "name[:version]" each
  std::string accessDir;
  bool bootstrapOnly = false;
  bool noBootstrap = false;
  bool shipHomeLoc = false;     // the named steps run from `unzipDir`
  bool printTime = false;
  std::string timestamp;
};

struct BootstrapResult {
  int status = kBootstrapNothingCopied;  // 0, 10 (installer files put there) or 30 (failed)
  ComponentLocations locations;          // as the later phases must use them
};

BootstrapResult BootstrapComponents(const BootstrapInput& input);

// The order of an NTFS listing, in which the runtime step takes the first
// directory of <scratch>/jre: by name, letters compared upper-cased (so "jA"
// comes before "j_1").
bool ListedBefore(std::string_view a, std::string_view b);

// Name and version of one BOOTSTRAP_COMPS entry "name[:version]". Empty
// pieces between colons are passed over, so "::" has no name at all (and
// ":4.2" is named "4.2"); a third piece is ignored.
struct ComponentEntry {
  std::string name;
  std::optional<std::string> version;
};
ComponentEntry SplitComponentEntry(const std::string& entry);

}  // namespace bootstrap

// The value of one run: what the command line and the parameter file say,
// the directories and locations the run works with, and its decisions. The
// run sequence builds it phase by phase; the subsystems get the pieces they
// need as input and return what they found, which the run sequence assigns.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bootstrap/component_bootstrap.h"
#include "launcher/options.h"
#include "params/param_file.h"
#include "platform/platform.h"

namespace launcher {

struct RunDirs {
  std::string launcherDir;  // the directory of the running executable
  // The installer's startup location: the launcher's directory, or the ship
  // home under -shipHomeLoc.
  std::string startupDir;
  // The directory whose unzip program the bootstrap's named steps run: the
  // launcher's directory.
  std::string unzipDir;
  std::string scratchDir;
  std::optional<platform::DirIdentity> scratchIdentity;  // when this run made it
  std::string paramFile;  // the absolute path once the file is found
};

struct Run {
  explicit Run(std::vector<std::string>& e) : elements(e) {}
  // The launcher's file name and the command tail; the option loop cuts the
  // -J text and -shipHomeLoc out of them.
  std::vector<std::string>& elements;
  // The launcher's own file name as the system reported it, before the
  // option loop cut anything out of it.
  std::string programPath;
  std::string timestamp;
  Options options;
  std::string productTitle;
  RunDirs dirs;
  params::Settings settings;
  // The installer's pieces where the later phases use them: from the
  // parameter file and the command line, moved by an installed home and by
  // the bootstrap.
  bootstrap::ComponentLocations locations;
  std::string installerClass;
  bool bootstrap = false;        // copy into the scratch directory, and start from there
  bool externalRuntime = false;  // the runtime came from -jreLoc or the prompt
  bool wait = false;             // wait for the installer (and remove the scratch directory)
};

}  // namespace launcher

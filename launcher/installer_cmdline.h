// The installer command line: which Java executable, the runtime options,
// the system properties that tell the installer where its files are, the
// class path, the installer class and the installer's own arguments. The
// result is the installer argument vector; LaunchInstaller joins its slots
// with one blank after each, so a slot may hold several words.
#pragma once

#include <string>
#include <vector>

#include "launcher/options.h"
#include "params/param_file.h"

namespace launcher {

// Room the vector starts with; longer memory or JVM options grow it.
constexpr size_t kInstallerArgSlots = 48;
// Sizes of the texts the slots are formatted into, less their terminating
// zero: a longer text is cut there.
constexpr size_t kMaxPropertyChars = 8192;   // one system property
constexpr size_t kMaxArgumentChars = 8191;   // an installer argument
constexpr size_t kMaxClassPathPartChars = 8191;  // first part, ADDTO_CLASSPATH expansion, ext jars
constexpr size_t kMaxClassPathChars = 16383;     // the whole class-path slot, quotes included

// The Java bin directory, the jar directories and the settings read while
// the command line is assembled.
struct ClassPathDirs {
  std::string javaBinDir;       // Java runtime location + "bin"
  std::string libraryDir;       // QTI_CORE_LOCATION + "lib" + "win32"
  std::string coreJarDir;       // QTI_CORE_LOCATION + "jlib"
  std::string installerJarDir;  // QTI_LOCATION + "jlib"
  std::string patchToolJarDir;  // MENDRA_LOCATION + "jlib"
  std::string hlpLocation;      // read, not used: every help jar comes from installerJarDir
  std::string glazeLocation;    // read, not used, likewise
  std::string source;           // SOURCE
  std::string nlsEnabled;       // NLS_ENABLED, "TRUE" by default
};

// The directories from the locations as the bootstrap left them, and
// HLP_LOCATION, GLAZE_LOCATION, SOURCE and NLS_ENABLED from `paramFile`.
ClassPathDirs GetClassPathDirs(const std::string& qtiLocation, const std::string& qtiCoreLocation,
                               const std::string& mendraLocation, const std::string& jreLocation,
                               const std::string& paramFile);

// True in debug mode, under -CLEANUP, -SAVEINVENTORY or -MEMORY, and in
// silent mode with a console: the installer then runs under the console Java
// launcher ("java.exe" rather than "javaw.exe"; both "java" on Linux).
bool UsesConsoleJava(const Options& options);
std::string JavaExecutableName(const Options& options);
// The Java bin directory and that name; at most 1023 characters.
std::string JavaExecutablePath(const ClassPathDirs& dirs, const Options& options);

// The run's state that the command line is made from.
struct InstallerCommandInput {
  std::string programPath;           // the launcher's own file name
  std::string timestamp;             // the run timestamp
  std::string scratchDir;
  std::string startupDir;            // replaced by -rstartupLoc when given (from `options`)
  std::string launcherDir;
  std::string jreLocation;           // the Java runtime location at this point
  bool bootstrap = false;            // the bootstrap flag is "T"
  bool externalRuntime = false;      // the runtime came from -jreLoc or the prompt
  std::string installerClass;        // as the launcher mode chose it
  std::string prereqConfigLocation;
  std::vector<std::string> userElements;  // the argument vector from its second element on
  Options options;
  params::Settings settings;
  ClassPathDirs dirs;
};

// The installer argument vector, slot by slot in the launcher's fixed order.
// Flags come from `in.options` and common::Process().
std::vector<std::string> BuildInstallerArgs(const InstallerCommandInput& in);

// The class-path slot: the whole class path inside one pair of double quotes.
std::string BuildClassPath(const InstallerCommandInput& in);

// For each non-empty piece of `addToClasspath` (split at the class-path
// separator): the scratch directory, a separator, the piece and a class-path
// separator.
std::string ExpandAddToClasspath(const std::string& scratchDir, const std::string& addToClasspath);

// Empty when `extJlib` is empty or <baseDir>/ext/jlib cannot be listed;
// otherwise a class-path separator and the full path of each file there (not
// of subdirectories), in listing order, and one class-path separator more.
std::string ListExtJars(const std::string& baseDir, const std::string& extJlib);

// True when `text` is longer than seven characters and begins with
// "http://" in any letter case.
bool IsWebSource(const std::string& text);

// Nothing for an empty `source`. Otherwise "-sourceLoc" and the source in
// double quotes, a blank after them; a source that is not a web address is
// first joined to the startup directory, whatever form it has.
void AddSourceLocation(const std::string& source, std::vector<std::string>& args,
                       const std::string& startupDir);

}  // namespace launcher

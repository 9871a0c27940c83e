// The installer command line: which Java executable, the runtime options,
// the system properties that tell the installer where its files are, the
// class path, the installer class and the installer's own arguments. The
// result is the installer argument vector; LaunchInstaller joins its slots
// with one blank after each, so a slot may hold several words.
#pragma once

#include <string>
#include <vector>

#include "bootstrap/component_bootstrap.h"
#include "launcher/options.h"
#include "launcher/run.h"

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
// the command line is assembled. (HLP_LOCATION and GLAZE_LOCATION are not
// read: every help and toolkit jar comes from the installer's jar directory.)
struct ClassPathDirs {
  std::string javaBinDir;       // Java runtime location + "bin"
  std::string libraryDir;       // QTI_CORE_LOCATION + "lib" + "win32"
  std::string coreJarDir;       // QTI_CORE_LOCATION + "jlib"
  std::string installerJarDir;  // QTI_LOCATION + "jlib"
  std::string patchToolJarDir;  // MENDRA_LOCATION + "jlib"
  std::string source;           // SOURCE
  std::string nlsEnabled;       // NLS_ENABLED, "TRUE" by default
};

// The directories from the locations as the bootstrap left them, and SOURCE
// and NLS_ENABLED from `paramFile`.
ClassPathDirs GetClassPathDirs(const bootstrap::ComponentLocations& locations, const std::string& paramFile);

// True in debug mode, under -CLEANUP, -SAVEINVENTORY or -MEMORY, and in
// silent mode with a console: the installer then runs under the console Java
// launcher ("java.exe" rather than "javaw.exe"; both "java" on Linux).
bool UsesConsoleJava(const Options& options);
std::string JavaExecutableName(const Options& options);
// The Java bin directory and that name; at most 1023 characters.
std::string JavaExecutablePath(const ClassPathDirs& dirs, const Options& options);

// The installer argument vector, slot by slot in the launcher's fixed order.
std::vector<std::string> BuildInstallerArgs(const Run& run, const ClassPathDirs& dirs);

// The class-path slot: the whole class path inside one pair of double quotes.
std::string BuildClassPath(const Run& run, const ClassPathDirs& dirs);

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

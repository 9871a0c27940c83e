#include "launcher/installer_cmdline.h"

#include "common/paths.h"
#include "common/text.h"
#include "params/param_file.h"
#include "params/paths.h"
#include "platform/platform.h"
#include "platform/shared/cmdline.h"

namespace launcher {

namespace {

const char kSep = platform::kPathSep;
const char kCpSep = platform::kClassPathSep;

using common::Cut;
// "dir<sep>part", without looking at what either holds: as the launcher's
// path formats write it.
std::string Join(const std::string& dir, const std::string& part) { return common::JoinExactly(dir, part); }

// A relative path means "below the working directory" to the installer, which
// a bootstrapped run starts in the temp root: made absolute against the
// directory the launcher itself reads it from. Empty stays empty.
std::string Anchored(const std::string& path) {
  if (path.empty() || platform::AbsoluteRootLength(path) != 0) return path;
  return params::MakeAbsolutePath(path, false);
}

// By the receiver's rules: a backslash before the closing quote is doubled,
// or the quote would be read as part of the value.
std::string Quoted(const std::string& text) { return platform::QuoteWindowsArgAlways(text); }

// The jars of the class path, by directory, in their binding order.
const char* const kCoreJars[] = {
    "QelInstaller.jar", "swiftset.jar",   "xmlsievev2.jar",        "sharekit.jar",
    "QelInstallerNet.jar", "cfgmonutl.jar", "monCfg.jar",          "QelPrereq.jar",
    "tunnelkit.jar",    "remoteshell.jar", "remotecalls.jar",      "web_client.jar",
    "QelSuiteInstaller.jar"};
const char* const kPatchToolJars[] = {"mendra.jar", "mendraactions.jar", "mendraprereq.jar",
                                      "mendrautil.jar"};
const char* const kInstallerJarsBefore[] = {
    "SetupArt.jar",        "SetupGuide.jar",       "SetupGuide_de.jar",  "SetupGuide_es.jar",
    "SetupGuide_fr.jar",   "SetupGuide_it.jar",    "SetupGuide_ja.jar",  "SetupGuide_ko.jar",
    "SetupGuide_pt_BR.jar", "SetupGuide_zh_CN.jar", "SetupGuide_zh_TW.jar", "quelta_view.jar",
    "guide4.jar",          "guide4-nls.jar",       "glaze3.jar",         "glaze3-uiaccess.jar",
    "glaze3-nls.jar",      "uiaccess.jar"};
const char* const kInstallerJarsAfter[] = {"jglaze4.jar",           "jglaze4-nls.jar",
                                           "qeli18n-collation.jar", "qeli18n-mapping.jar",
                                           "qjmisc.jar",            "markup.jar",
                                           "nodectl.jar"};

template <size_t N>
void AppendJars(std::string& out, const std::string& dir, const char* const (&jars)[N],
                bool separatorFirst) {
  for (size_t i = 0; i < N; ++i) {
    if (separatorFirst || i > 0) out += kCpSep;
    out += Join(dir, jars[i]);
  }
}

// The startup directory that the installer is told about: -rstartupLoc's
// value, when given, stands for it here and in everything built from it.
std::string EffectiveStartupDir(const Run& run) {
  if (!run.options.rstartupLocGiven) return run.dirs.startupDir;
  std::string startup = run.options.startupLocation;
  StripQuotes(startup);
  return startup;
}

// An entry Java would read as "here" (empty: the working directory) or as
// the root of a drive: the installer runs elevated, from the temp root, where
// others may put classes.
bool NamesAPlaceNotAJar(const std::string& entry) {
  if (entry.empty() || entry.find_first_not_of(std::string(1, kSep) + "/") == std::string::npos) return true;
  if (entry.size() == 2 && entry[1] == ':') return true;  // the current directory of drive X
  return platform::AbsoluteRootLength(entry) == entry.size();
}

// The class path with those entries left out; every other entry in order.
std::string WithoutHereEntries(const std::string& classPath) {
  std::string kept;
  for (const std::string& entry : common::SplitDroppingEmpty(classPath, kCpSep)) {
    if (NamesAPlaceNotAJar(entry)) continue;
    if (!kept.empty()) kept += kCpSep;
    kept += entry;
  }
  return kept;
}

// The installer's core: a location the parameter file gave whole is not
// put below the launcher's directory a second time.
std::string QtiLocation(const Run& run) {
  if (run.bootstrap) return Join(run.dirs.scratchDir, "qti");
  const std::string& core = run.locations.qtiCore;
  return platform::AbsoluteRootLength(core) != 0 ? core : Join(run.dirs.launcherDir, core);
}

}  // namespace

ClassPathDirs GetClassPathDirs(const bootstrap::ComponentLocations& locations, const std::string& paramFile) {
  ClassPathDirs dirs;
  dirs.javaBinDir = Anchored(Cut(common::AppendPath(locations.jre, "bin"), common::kMaxPath));
  dirs.libraryDir = Anchored(Cut(Join(Join(locations.qtiCore, "lib"), "win32"), common::kMaxPath));
  dirs.coreJarDir = Anchored(Cut(Join(locations.qtiCore, "jlib"), common::kMaxPath));
  dirs.installerJarDir = Anchored(Cut(Join(locations.qti, "jlib"), common::kMaxPath));
  dirs.patchToolJarDir = Anchored(Cut(Join(locations.mendra, "jlib"), common::kMaxPath));
  dirs.source = params::GetParamValue("SOURCE", "", paramFile);
  dirs.nlsEnabled = params::GetParamValue("NLS_ENABLED", "TRUE", paramFile);
  return dirs;
}

bool UsesConsoleJava(const Options& options) {
  return options.debug || options.Has(Mode::Cleanup) || options.Has(Mode::SaveInventory) || options.memory ||
         (!options.noConsole && options.silent);
}

std::string JavaExecutableName(const Options& options) {
  return UsesConsoleJava(options) ? platform::kJavaConsoleExe : platform::kJavaWindowedExe;
}

std::string JavaExecutablePath(const ClassPathDirs& dirs, const Options& options) {
  return Cut(Join(dirs.javaBinDir, JavaExecutableName(options)), common::kMaxPath);
}

std::string ExpandAddToClasspath(const std::string& scratchDir, const std::string& addToClasspath) {
  std::string out;
  for (const std::string& piece : common::SplitDroppingEmpty(addToClasspath, kCpSep)) {
    out += Join(scratchDir, piece) + kCpSep;
  }
  return Cut(out, kMaxClassPathPartChars);
}

std::string ListExtJars(const std::string& baseDir, const std::string& extJlib) {
  if (extJlib.empty()) return {};
  std::string dir = Join(Join(baseDir, "ext"), "jlib") + kSep;
  std::optional<std::vector<platform::DirEntry>> entries = platform::ListDirectory(dir);
  if (!entries) return {};
  std::string out;
  for (const platform::DirEntry& entry : *entries) {
    if (entry.isDirectory) continue;
    out += kCpSep;
    out += dir + entry.name;
  }
  out += kCpSep;
  return Cut(out, kMaxClassPathPartChars);
}

bool IsWebSource(const std::string& text) {
  static const char kPrefix[] = "http://";
  if (text.size() <= 7) return false;
  for (size_t i = 0; i < 7; ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kPrefix[i]) return false;
  }
  return true;
}

void AddSourceLocation(const std::string& source, std::vector<std::string>& args,
                       const std::string& startupDir) {
  if (source.empty()) return;
  // Joined with a separator even to an empty directory, as the other joins are.
  std::string location = IsWebSource(source) ? source : Anchored(startupDir.empty() ? kSep + source : common::AppendPath(startupDir, source));
  args.push_back("-sourceLoc");
  args.push_back(Cut(Quoted(location) + " ", kMaxArgumentChars));
}

std::string BuildClassPath(const Run& run, const ClassPathDirs& dirs) {
  const params::Settings& settings = run.settings;
  const std::string& scratchDir = run.dirs.scratchDir;
  std::string addTo = ExpandAddToClasspath(scratchDir, settings.addToClasspath);
  std::string extBase = run.bootstrap ? scratchDir
                                      : Join(Join(Join(Join(EffectiveStartupDir(run), ".."), ".."),
                                                  "inventory"),
                                             "Scripts");
  std::string extJars = ListExtJars(extBase, settings.extJlib);

  std::string first = scratchDir + kCpSep + extJars;
  AppendJars(first, dirs.coreJarDir, kCoreJars, true);
  AppendJars(first, dirs.patchToolJarDir, kPatchToolJars, true);
  first = Cut(first, kMaxClassPathPartChars);

  std::string whole = first;
  AppendJars(whole, dirs.installerJarDir, kInstallerJarsBefore, true);
  whole += kCpSep + Join(addTo, "") + kCpSep;
  AppendJars(whole, dirs.installerJarDir, kInstallerJarsAfter, false);
  whole += kCpSep;
  if (!settings.thinJdbcFilename.empty()) whole += Join(dirs.installerJarDir, settings.thinJdbcFilename);
  // However long, the class path keeps its closing quote: without it the
  // installer class and every argument after it would become class path.
  return Quoted(WithoutHereEntries(Cut(whole, kMaxClassPathChars - 2)));
}

// The Java program, the runtime options and the system properties that tell
// the installer where its files are.
void AddJavaAndProperties(const Run& run, const ClassPathDirs& dirs, std::vector<std::string>& args) {
  const params::Settings& settings = run.settings;
  auto property = [](const std::string& text) { return Cut(text, kMaxPropertyChars); };
  args.push_back(Quoted(JavaExecutablePath(dirs, run.options)) + " ");
  if (!settings.jreOsdParam.empty()) args.push_back(settings.jreOsdParam);
  args.push_back(property("-Dquelta.installer.library_loc=" + Quoted(dirs.libraryDir)));
  args.push_back(property("-Dquelta.installer.qti_loc=" + Quoted(QtiLocation(run))));
  args.push_back(property(std::string("-Dquelta.installer.bootstrap=") + (run.bootstrap ? "TRUE" : "FALSE")));
  args.push_back(property("-Dquelta.installer.startup_location=" + Quoted(EffectiveStartupDir(run))));
  // Outside distribution mode the installer finds its runtime beside itself,
  // whichever runtime the launcher starts.
  std::string jreLoc = settings.distribution ? run.locations.jre : Join(Join("..", ".."), "jre");
  args.push_back(property("-Dquelta.installer.jre_loc=" + Quoted(Anchored(jreLoc))));
  if (run.externalRuntime) args.push_back(property("-Dquelta.installer.extjre=\"true\" "));
  if (settings.copyThreads != "0") {
    args.push_back(Cut("-Dquelta.installer.copythreads=" + settings.copyThreads + " ", kMaxArgumentChars));
  }
  args.push_back(property("-Dquelta.installer.exec_location=" + Quoted(run.programPath) + " "));
  args.push_back(property("-Dquelta.installer.nlsEnabled=" + Quoted(dirs.nlsEnabled) + " "));
  args.push_back(property("-Dquelta.installer.prereqConfigLoc=" + Quoted(run.locations.prereqConfig) + " "));
  if (!run.options.jTextHasMx) {
    for (std::string& word : common::SplitWords(settings.jreMemoryOptions)) args.push_back(std::move(word));
  }
  for (std::string& word : common::SplitWords(run.options.jvmOptions)) args.push_back(std::move(word));
  if (run.options.jText) args.push_back(ConvertJvmArgs(*run.options.jText));
  if (run.options.memory) args.push_back("-verbose:gc");
}

// The user's elements after the launcher's own file name. The options that
// hand over an earlier run's state are the launcher's own business, not the
// installer's.
void AddUserElements(const Run& run, std::vector<std::string>& args) {
  const std::vector<std::string>& elements = run.elements;
  for (size_t i = 1; i < elements.size(); ++i) {
    const std::string& element = elements[i];
    if (element == "-rstartupLoc" || element == "-rscratchPath" || element == "-rtimestamp" ||
        element == "-shipHomeLoc") {
      ++i;
      continue;
    }
    if (element == "-nobootStrap") continue;
    args.push_back(element);
  }
}

std::vector<std::string> BuildInstallerArgs(const Run& run, const ClassPathDirs& dirs) {
  std::vector<std::string> args;
  args.reserve(kInstallerArgSlots);
  AddJavaAndProperties(run, dirs, args);
  args.push_back("-cp");
  args.push_back(BuildClassPath(run, dirs));
  args.push_back(run.options.Has(Mode::OneClick) ? run.settings.installOneClickClass : run.installerClass);
  args.push_back("-scratchPath");
  args.push_back(Cut(Quoted(run.dirs.scratchDir) + " ", kMaxArgumentChars));
  AddSourceLocation(dirs.source, args, EffectiveStartupDir(run));
  args.push_back("-sourceType");
  args.push_back("network");
  args.push_back("-timestamp");
  args.push_back(run.timestamp);
  AddUserElements(run, args);
  return args;
}

}  // namespace launcher

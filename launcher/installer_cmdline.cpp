#include "launcher/installer_cmdline.h"

#include "common/process_state.h"
#include "params/paths.h"
#include "platform/platform.h"

namespace launcher {

namespace {

const char kSep = platform::kPathSep;
const char kCpSep = platform::kClassPathSep;

std::string Cut(std::string text, size_t maxChars) {
  if (text.size() > maxChars) text.resize(maxChars);
  return text;
}

// "dir<sep>part", without looking at what either holds.
std::string Join(const std::string& dir, const std::string& part) { return dir + kSep + part; }

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Words separated by runs of blanks; no empty words.
std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    size_t end = text.find(' ', i);
    if (end == std::string::npos) end = text.size();
    if (end > i) words.push_back(text.substr(i, end - i));
    i = end;
  }
  return words;
}

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
std::string EffectiveStartupDir(const InstallerCommandInput& in) {
  if (!in.options.rstartupLocGiven) return in.startupDir;
  std::string startup = in.options.startupLocation;
  StripQuotes(startup);
  return startup;
}

}  // namespace

ClassPathDirs GetClassPathDirs(const std::string& qtiLocation, const std::string& qtiCoreLocation,
                               const std::string& mendraLocation, const std::string& jreLocation,
                               const std::string& paramFile) {
  ClassPathDirs dirs;
  dirs.javaBinDir = Cut(params::AppendPath(jreLocation, "bin"), params::kMaxPath);
  dirs.libraryDir = Cut(Join(Join(qtiCoreLocation, "lib"), "win32"), params::kMaxPath);
  dirs.coreJarDir = Cut(Join(qtiCoreLocation, "jlib"), params::kMaxPath);
  dirs.installerJarDir = Cut(Join(qtiLocation, "jlib"), params::kMaxPath);
  dirs.patchToolJarDir = Cut(Join(mendraLocation, "jlib"), params::kMaxPath);
  dirs.hlpLocation = params::GetParamValue("HLP_LOCATION", dirs.installerJarDir, paramFile);
  dirs.glazeLocation = params::GetParamValue("GLAZE_LOCATION", dirs.installerJarDir, paramFile);
  dirs.source = params::GetParamValue("SOURCE", "", paramFile);
  dirs.nlsEnabled = params::GetParamValue("NLS_ENABLED", "TRUE", paramFile);
  return dirs;
}

bool UsesConsoleJava(const Options& options) {
  const common::ProcessState& process = common::Process();
  return process.debug || options.cleanup || options.saveInventory || process.memory ||
         (!options.noConsole && process.silent);
}

std::string JavaExecutableName(const Options& options) {
  return UsesConsoleJava(options) ? platform::kJavaConsoleExe : platform::kJavaWindowedExe;
}

std::string JavaExecutablePath(const ClassPathDirs& dirs, const Options& options) {
  return Cut(Join(dirs.javaBinDir, JavaExecutableName(options)), params::kMaxPath);
}

std::string ExpandAddToClasspath(const std::string& scratchDir, const std::string& addToClasspath) {
  std::string out;
  size_t start = 0;
  while (start <= addToClasspath.size()) {
    size_t end = addToClasspath.find(kCpSep, start);
    if (end == std::string::npos) end = addToClasspath.size();
    if (end > start) out += Join(scratchDir, addToClasspath.substr(start, end - start)) + kCpSep;
    start = end + 1;
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
  // AppendPath joins like the tree operations' AppendPathPart for every
  // startup directory there is (it is never empty).
  std::string location = IsWebSource(source) ? source : params::AppendPath(startupDir, source);
  args.push_back("-sourceLoc");
  args.push_back(Cut(Quoted(location) + " ", kMaxArgumentChars));
}

std::string BuildClassPath(const InstallerCommandInput& in) {
  const ClassPathDirs& dirs = in.dirs;
  const params::Settings& settings = in.settings;
  std::string addTo = ExpandAddToClasspath(in.scratchDir, settings.addToClasspath);
  std::string extBase = in.bootstrap ? in.scratchDir
                                     : Join(Join(Join(Join(EffectiveStartupDir(in), ".."), ".."),
                                                 "inventory"),
                                            "Scripts");
  std::string extJars = ListExtJars(extBase, settings.extJlib);

  std::string first = in.scratchDir + kCpSep + extJars;
  AppendJars(first, dirs.coreJarDir, kCoreJars, true);
  AppendJars(first, dirs.patchToolJarDir, kPatchToolJars, true);
  first = Cut(first, kMaxClassPathPartChars);

  std::string whole = "\"" + first;
  AppendJars(whole, dirs.installerJarDir, kInstallerJarsBefore, true);
  whole += kCpSep + Join(addTo, "") + kCpSep;
  AppendJars(whole, dirs.installerJarDir, kInstallerJarsAfter, false);
  whole += kCpSep;
  if (!settings.thinJdbcFilename.empty()) whole += Join(dirs.installerJarDir, settings.thinJdbcFilename);
  // However long, the class path keeps its closing quote: without it the
  // installer class and every argument after it would become class path.
  return Cut(whole, kMaxClassPathChars - 1) + "\"";
}

std::vector<std::string> BuildInstallerArgs(const InstallerCommandInput& in) {
  const Options& options = in.options;
  const params::Settings& settings = in.settings;
  const common::ProcessState& process = common::Process();
  const std::string startupDir = EffectiveStartupDir(in);
  auto property = [](const std::string& text) { return Cut(text, kMaxPropertyChars); };

  std::vector<std::string> args;
  args.reserve(kInstallerArgSlots);
  args.push_back(Quoted(JavaExecutablePath(in.dirs, options)) + " ");
  if (!settings.jreOsdParam.empty()) args.push_back(settings.jreOsdParam);
  args.push_back(property("-Dquelta.installer.library_loc=" + Quoted(in.dirs.libraryDir)));
  args.push_back(property("-Dquelta.installer.qti_loc=" +
                          Quoted(in.bootstrap ? Join(in.scratchDir, "qti")
                                              : Join(in.launcherDir, settings.qtiCoreLocation))));
  args.push_back(property(std::string("-Dquelta.installer.bootstrap=") +
                          (in.bootstrap ? "TRUE" : "FALSE")));
  args.push_back(property("-Dquelta.installer.startup_location=" + Quoted(startupDir)));
  // Outside distribution mode the installer finds its runtime beside itself,
  // whichever runtime the launcher starts.
  std::string jreLoc = process.distribution ? in.jreLocation : Join(Join("..", ".."), "jre");
  args.push_back(property("-Dquelta.installer.jre_loc=" + Quoted(jreLoc)));
  if (in.externalRuntime) args.push_back(property("-Dquelta.installer.extjre=\"true\" "));
  if (settings.copyThreads != "0") {
    args.push_back(Cut("-Dquelta.installer.copythreads=" + settings.copyThreads + " ", kMaxArgumentChars));
  }
  args.push_back(property("-Dquelta.installer.exec_location=" + Quoted(in.programPath) + " "));
  args.push_back(property("-Dquelta.installer.nlsEnabled=" + Quoted(in.dirs.nlsEnabled) + " "));
  args.push_back(property("-Dquelta.installer.prereqConfigLoc=" + Quoted(in.prereqConfigLocation) + " "));
  if (!options.jTextHasMx) {
    for (std::string& word : SplitWords(settings.jreMemoryOptions)) args.push_back(std::move(word));
  }
  for (std::string& word : SplitWords(options.jvmOptions)) args.push_back(std::move(word));
  if (options.jText) args.push_back(ConvertJvmArgs(*options.jText));
  if (process.memory) args.push_back("-verbose:gc");
  args.push_back("-cp");
  args.push_back(BuildClassPath(in));
  args.push_back(options.oneClick ? settings.installOneClickClass : in.installerClass);
  args.push_back("-scratchPath");
  args.push_back(Cut(Quoted(in.scratchDir) + " ", kMaxArgumentChars));
  AddSourceLocation(in.dirs.source, args, startupDir);
  args.push_back("-sourceType");
  args.push_back("network");
  args.push_back("-timestamp");
  args.push_back(in.timestamp);

  // The options that hand over an earlier run's state are the launcher's
  // own business, not the installer's.
  const std::vector<std::string>& user = in.userElements;
  for (size_t i = 0; i < user.size(); ++i) {
    const std::string& element = user[i];
    if (element == "-rstartupLoc" || element == "-rscratchPath" || element == "-rtimestamp" ||
        element == "-shipHomeLoc") {
      ++i;
      continue;
    }
    if (element == "-nobootStrap") continue;
    args.push_back(element);
  }
  return args;
}

}  // namespace launcher

#include "launcher/installer_cmdline.h"

#include <algorithm>
#include <sstream>

#include "common/text.h"
#include "platform/shared/cmdline.h"
#include "test_support.h"

namespace launcher {
namespace {

using testing_support::LauncherTest;
using testing_support::TempDir;
using Slots = std::vector<std::string>;

const char kScratch[] = "/tmp/S";
const char kTimestamp[] = "2026-12-07_06-39-41AM";
const char kInstallClass[] = "quelta.admkit.qsi.qsic.QsicInstaller";

// The jars of one group of tests/data/class_path_jars.txt.
std::vector<std::string> Jars(const std::string& group) {
  std::istringstream lines(testing_support::ReadFile(std::string(QEL_SOURCE_DIR) + "/tests/data/class_path_jars.txt"));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string first;
    words >> first;
    if (first != group) continue;
    std::vector<std::string> jars;
    for (std::string jar; words >> jar;) jars.push_back(jar);
    return jars;
  }
  ADD_FAILURE() << "no group " << group;
  return {};
}

// The class path of the locations of Short() with empty ADDTO_CLASSPATH,
// EXT_JLIB and THIN_JDBC_FILENAME: the scratch directory, an empty ext jar
// list, the jars, the empty expansion: no empty entry and no bare "/".
std::string ShortClassPath() {
  std::string cp = "\"/s:";
  for (const std::string& jar : Jars("core")) cp += "/c/jlib/" + jar + ":";
  for (const std::string& jar : Jars("patch")) cp += "/m/jlib/" + jar + ":";
  for (const std::string& jar : Jars("before")) cp += "/q/jlib/" + jar + ":";
  for (const std::string& jar : Jars("after")) cp += "/q/jlib/" + jar + ":";
  cp.pop_back();  // no entry Java would read as the working directory
  return cp + "\"";
}

class InstallerCmdlineTest : public LauncherTest {
 protected:
  // A plain installation bootstrapped from the medium into kScratch.
  launcher::Run Plain() {
    elements_ = {"/media/dvd/install/setup", ""};
    launcher::Run run(elements_);
    run.programPath = elements_.front();
    run.timestamp = kTimestamp;
    run.dirs.scratchDir = kScratch;
    run.dirs.startupDir = "/media/dvd/install";
    run.dirs.launcherDir = "/media/dvd/install";
    run.locations.qti = "/tmp/S/qti";
    run.locations.qtiCore = "/tmp/S/qti";
    run.locations.mendra = "/tmp/S/Mendra";
    run.locations.jre = "/tmp/S/jre";
    run.bootstrap = true;
    run.installerClass = kInstallClass;
    run.settings.copyThreads = "0";
    run.settings.installOneClickClass = "quelta.OneClick";
    run.settings.distribution = true;
    dirs_ = GetClassPathDirs(run.locations, NoFile());
    return run;
  }

  // Short locations for exact class-path texts.
  launcher::Run Short() {
    launcher::Run run = Plain();
    run.dirs.scratchDir = "/s";
    dirs_ = GetClassPathDirs({"/q", "/c", "/m", "/j", "", ""}, NoFile());
    return run;
  }

  Options ParseTail(const std::string& tail) {
    std::vector<std::string> elements = {"/media/dvd/install/setup", tail};
    return ReadOptions(elements);
  }

  std::string NoFile() { return temp_ / "absent.ini"; }

  static size_t IndexOf(const Slots& slots, const std::string& text) {
    return static_cast<size_t>(std::find(slots.begin(), slots.end(), text) - slots.begin());
  }

  std::vector<std::string> elements_;
  ClassPathDirs dirs_;
  TempDir temp_;
};

TEST_F(InstallerCmdlineTest, PlainInstallationGivesTheFixedSlotsInOrder) {
  launcher::Run in = Plain();
  Slots slots = BuildInstallerArgs(in, dirs_);
  Slots expected = {
      "\"/tmp/S/jre/bin/java\" ",
      "-Dquelta.installer.library_loc=\"/tmp/S/qti/lib/win32\"",
      "-Dquelta.installer.qti_loc=\"/tmp/S/qti\"",
      "-Dquelta.installer.bootstrap=TRUE",
      "-Dquelta.installer.startup_location=\"/media/dvd/install\"",
      "-Dquelta.installer.jre_loc=\"/tmp/S/jre\"",
      "-Dquelta.installer.exec_location=\"/media/dvd/install/setup\" ",
      "-Dquelta.installer.nlsEnabled=\"TRUE\" ",
      "-Dquelta.installer.prereqConfigLoc=\"\" ",
      "-cp",
      BuildClassPath(in, dirs_),
      kInstallClass,
      "-scratchPath",
      "\"/tmp/S\" ",
      "-sourceType",
      "network",
      "-timestamp",
      kTimestamp,
      ""};
  EXPECT_EQ(slots, expected);
}

TEST_F(InstallerCmdlineTest, EveryOptionalSlotLandsInItsPlace) {
  launcher::Run in = Plain();
  in.bootstrap = false;
  in.externalRuntime = true;
  in.locations = {"../qti", "../core", "../mendra", "/opt/jdk", "", "/cfg/prereq"};
  dirs_ = GetClassPathDirs(in.locations, NoFile());
  in.settings.jreOsdParam = "-server -Xss2m";
  in.settings.copyThreads = "4";
  in.settings.jreMemoryOptions = " -Xms64m  -Xmx256m ";
  in.options.jvmOptions = "-Da=1 -Db=2";
  in.options.jText = "-Xss1m -J-Dx=y";
  dirs_.source = "http://host/dist";
  elements_ = {"/media/dvd/install/setup", "-SILENT -DEBUG", "extra"};
  in.options.memory = true;
  in.settings.distribution = false;  // jre_loc relative, whatever runtime runs
  Slots slots = BuildInstallerArgs(in, dirs_);
  Slots expected = {
      "\"/opt/jdk/bin/java\" ",
      "-server -Xss2m",
      "-Dquelta.installer.library_loc=\"" + *platform::FullPath("../core/lib/win32") + "\"",
      "-Dquelta.installer.qti_loc=\"/media/dvd/install/../core\"",
      "-Dquelta.installer.bootstrap=FALSE",
      "-Dquelta.installer.startup_location=\"/media/dvd/install\"",
      "-Dquelta.installer.jre_loc=\"" + *platform::FullPath("../../jre") + "\"",
      "-Dquelta.installer.extjre=\"true\" ",
      "-Dquelta.installer.copythreads=4 ",
      "-Dquelta.installer.exec_location=\"/media/dvd/install/setup\" ",
      "-Dquelta.installer.nlsEnabled=\"TRUE\" ",
      "-Dquelta.installer.prereqConfigLoc=\"/cfg/prereq\" ",
      "-Xms64m",
      "-Xmx256m",
      "-Da=1",
      "-Db=2",
      "-Xss1m -Dx=y",
      "-verbose:gc",
      "-cp",
      BuildClassPath(in, dirs_),
      kInstallClass,
      "-scratchPath",
      "\"/tmp/S\" ",
      "-sourceLoc",
      "\"http://host/dist\" ",
      "-sourceType",
      "network",
      "-timestamp",
      kTimestamp,
      "-SILENT -DEBUG",
      "extra"};
  EXPECT_EQ(slots, expected);
}

// Without a bootstrap the core lies where the parameter file says: below
// the launcher's directory only when the location is relative.
TEST_F(InstallerCmdlineTest, AnAbsoluteCoreLocationIsTheInstallersQtiLocationAsItStands) {
  launcher::Run in = Plain();
  in.bootstrap = false;
  in.locations = {"../qti", "/opt/core", "../mendra", "/opt/jdk", "", ""};
  dirs_ = GetClassPathDirs(in.locations, NoFile());
  elements_ = {"/media/dvd/install/setup", ""};
  const Slots slots = BuildInstallerArgs(in, dirs_);
  EXPECT_NE(std::find(slots.begin(), slots.end(), "-Dquelta.installer.qti_loc=\"/opt/core\""), slots.end());
}

TEST_F(InstallerCmdlineTest, ConsoleJavaForDebugMemoryCleanupSaveInventoryAndSilentWithConsole) {
  Options options;
  EXPECT_FALSE(UsesConsoleJava(options));
  options.silent = true;
  EXPECT_TRUE(UsesConsoleJava(options));
  options.noConsole = true;  // silent without a console keeps the windowless one
  EXPECT_FALSE(UsesConsoleJava(options));
  for (const char* tail : {"-DEBUG", "-MEMORY", "-cleanup", "-SaveInventory"}) {
    EXPECT_TRUE(UsesConsoleJava(ParseTail(std::string("-NOCONSOLE ") + tail))) << tail;
  }
  // An empty runtime location names bin below the current directory, made
  // absolute: the installer of a bootstrapped run starts elsewhere.
  ClassPathDirs dirs = GetClassPathDirs({"q", "c", "m", "", "", ""}, NoFile());
  EXPECT_EQ(dirs.javaBinDir, *platform::FullPath("bin"));
  EXPECT_EQ(JavaExecutablePath(dirs, Options()), *platform::FullPath("bin") + "/java");
  EXPECT_EQ(GetClassPathDirs({"q", "c", "m", "/j/", "", ""}, NoFile()).javaBinDir, "/j/bin");
}

TEST_F(InstallerCmdlineTest, CopyThreadsZeroAloneAddsNoProperty) {
  launcher::Run in = Plain();
  for (const char* value : {"0", "00", "4"}) {
    in.settings.copyThreads = value;
    Slots slots = BuildInstallerArgs(in, dirs_);
    bool present = IndexOf(slots, std::string("-Dquelta.installer.copythreads=") + value + " ") < slots.size();
    EXPECT_EQ(present, std::string(value) != "0") << value;
  }
}

TEST_F(InstallerCmdlineTest, SourceIsJoinedToTheStartupDirectoryUnlessItIsAWebAddress) {
  EXPECT_TRUE(IsWebSource("http://h"));
  EXPECT_TRUE(IsWebSource("HtTP://host/dist"));
  EXPECT_FALSE(IsWebSource("http://"));  // nothing after the scheme
  EXPECT_FALSE(IsWebSource("https://host"));
  EXPECT_FALSE(IsWebSource("ftp://host"));

  Slots slots;
  AddSourceLocation("", slots, "/start");
  EXPECT_TRUE(slots.empty());
  AddSourceLocation("/mnt/dvd", slots, "/start");
  AddSourceLocation("dvd", slots, "/start/");
  AddSourceLocation("HTTP://Host/Dist", slots, "/start");
  AddSourceLocation("http://", slots, "/start");
  EXPECT_EQ(slots, (Slots{"-sourceLoc", "\"/start//mnt/dvd\" ", "-sourceLoc", "\"/start/dvd\" ",
                          "-sourceLoc", "\"HTTP://Host/Dist\" ", "-sourceLoc", "\"/start/http://\" "}));
}

TEST_F(InstallerCmdlineTest, JTextIsConvertedAndMxSuppressesMemoryOptions) {
  launcher::Run in = Plain();
  in.settings.jreMemoryOptions = "-Xms64m  -Xmx256m";
  in.options = ParseTail("-SILENT -J-Xmx512m -J-Dx=y");
  Slots slots = BuildInstallerArgs(in, dirs_);
  size_t mem = IndexOf(slots, "-Xms64m");
  ASSERT_LT(mem + 3, slots.size());
  EXPECT_EQ(slots[mem + 1], "-Xmx256m");
  EXPECT_EQ(slots[mem + 2], "-Xmx512m -Dx=y");
  EXPECT_EQ(slots[mem + 3], "-cp");

  in.options = ParseTail("-SILENT -J-mx512m");
  slots = BuildInstallerArgs(in, dirs_);
  EXPECT_EQ(IndexOf(slots, "-Xms64m"), slots.size());
  size_t j = IndexOf(slots, "-mx512m");
  ASSERT_LT(j + 1, slots.size());
  EXPECT_EQ(slots[j - 1], "-Dquelta.installer.prereqConfigLoc=\"\" ");
  EXPECT_EQ(slots[j + 1], "-cp");
}

TEST_F(InstallerCmdlineTest, OneClickClassWinsOverAHomeManagementMode) {
  launcher::Run in = Plain();
  in.options = ParseTail("-ATTACHHOME -ONECLICK");
  in.installerClass = "quelta.admkit.qsi.qsic.QsicAttachHome";  // what the precedence chose
  Slots slots = BuildInstallerArgs(in, dirs_);
  size_t cp = IndexOf(slots, "-cp");
  ASSERT_LT(cp + 2, slots.size());
  EXPECT_EQ(slots[cp + 2], "quelta.OneClick");
}

TEST_F(InstallerCmdlineTest, ManyMemoryWordsGrowTheVectorInOrder) {
  launcher::Run in = Plain();
  std::string words;
  for (int i = 0; i < 200; ++i) words += " -Dw" + std::to_string(i) + "=x ";
  in.settings.jreMemoryOptions = words;
  in.options.jvmOptions = "-Dlast=1";
  Slots slots = BuildInstallerArgs(in, dirs_);
  ASSERT_EQ(slots.size(), 19u + 201u);
  size_t first = IndexOf(slots, "-Dw0=x");
  ASSERT_EQ(first, 9u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(slots[first + i], "-Dw" + std::to_string(i) + "=x");
  EXPECT_EQ(slots[first + 200], "-Dlast=1");
  EXPECT_EQ(slots[first + 201], "-cp");
  EXPECT_EQ(slots.back(), "");
}

TEST_F(InstallerCmdlineTest, HandOverOptionsAreDroppedFromTheUserElements) {
  launcher::Run in = Plain();
  elements_ = {"/media/dvd/install/setup", "-rstartupLoc", "/a", "-nobootStrap", "-SILENT", "-rscratchPath", "/b",
               "-NOBOOTSTRAP", "-shipHomeLoc", "/c", "-RTIMESTAMP", "x", "-rtimestamp"};
  Slots slots = BuildInstallerArgs(in, dirs_);
  size_t ts = IndexOf(slots, "-timestamp");
  EXPECT_EQ(Slots(slots.begin() + ts + 2, slots.end()), (Slots{"-SILENT", "-NOBOOTSTRAP", "-RTIMESTAMP", "x"}));
}

TEST_F(InstallerCmdlineTest, RstartupLocReplacesTheStartupDirectory) {
  launcher::Run in = Plain();
  in.options = ParseTail("-rstartupLoc \"/r/start\" -SILENT");
  dirs_.source = "dvd";
  Slots slots = BuildInstallerArgs(in, dirs_);
  EXPECT_EQ(slots[4], "-Dquelta.installer.startup_location=\"/r/start\"");
  EXPECT_EQ(slots[IndexOf(slots, "-sourceLoc") + 1], "\"/r/start/dvd\" ");
}

TEST_F(InstallerCmdlineTest, ClassPathTextIsExact) {
  launcher::Run in = Short();
  const std::string classPath = ShortClassPath();
  ASSERT_EQ(std::count(classPath.begin(), classPath.end(), ':'), 13 + 4 + 18 + 7);
  EXPECT_EQ(BuildClassPath(in, dirs_), classPath);

  in.settings.addToClasspath = "x.jar::lib/y.jar:";
  in.settings.thinJdbcFilename = "ojdbc.jar";
  std::string expected = classPath;
  expected.replace(expected.find("/uiaccess.jar:"), 14, "/uiaccess.jar:/s/x.jar:/s/lib/y.jar:");
  expected.insert(expected.size() - 1, ":/q/jlib/ojdbc.jar");
  EXPECT_EQ(BuildClassPath(in, dirs_), expected);
}

TEST_F(InstallerCmdlineTest, ExtJarsComeFromTheScratchOrTheInventoryScripts) {
  // Bootstrapped: <scratch>/ext/jlib. Files only, each after a separator, one more at the end.
  launcher::Run in = Short();
  in.dirs.scratchDir = temp_ / "scratch";
  in.settings.extJlib = "/anything";
  testing_support::WriteFile(temp_ / "scratch/ext/jlib/a.jar", "x");
  testing_support::WriteFile(temp_ / "scratch/ext/jlib/sub/b.jar", "x");
  std::string dir = temp_ / "scratch/ext/jlib/";
  EXPECT_EQ(ListExtJars(in.dirs.scratchDir, "x"), ":" + dir + "a.jar:");
  EXPECT_EQ(BuildClassPath(in, dirs_).substr(0, in.dirs.scratchDir.size() + 2 + dir.size() + 7),
            "\"" + in.dirs.scratchDir + ":" + dir + "a.jar:/");

  // Not bootstrapped: <startup>/../../inventory/Scripts/ext/jlib, with
  // -rstartupLoc standing for the startup directory.
  in.bootstrap = false;
  in.options = ParseTail("-rstartupLoc " + (temp_ / "r/s"));
  testing_support::WriteFile(temp_ / "inventory/Scripts/ext/jlib/i.jar", "x");
  testing_support::WriteFile(temp_ / "r/s/setup", "");
  std::string invDir = temp_ / "r/s/../../inventory/Scripts/ext/jlib/";
  EXPECT_NE(BuildClassPath(in, dirs_).find(in.dirs.scratchDir + ":" + invDir + "i.jar:/c/jlib/QelInstaller.jar"),
            std::string::npos);

  // Empty EXT_JLIB, or a directory that cannot be listed: nothing.
  EXPECT_EQ(ListExtJars(in.dirs.scratchDir, ""), "");
  EXPECT_EQ(ListExtJars(temp_ / "none", "x"), "");
  testing_support::WriteFile(temp_ / "empty/ext/jlib/sub/x", "");
  EXPECT_EQ(ListExtJars(temp_ / "empty", "x"), ":");
}

TEST_F(InstallerCmdlineTest, AddToClasspathSkipsEmptyPieces) {
  EXPECT_EQ(ExpandAddToClasspath("/s", ""), "");
  EXPECT_EQ(ExpandAddToClasspath("/s", ":::"), "");
  EXPECT_EQ(ExpandAddToClasspath("/s", "a::b/c.jar:"), "/s/a:/s/b/c.jar:");
}

TEST_F(InstallerCmdlineTest, AnOverlongClassPathIsCutButKeepsItsClosingQuote) {
  launcher::Run in = Short();
  std::string piece(1000, 'p');
  for (int i = 0; i < 8; ++i) in.settings.addToClasspath += piece + ":";
  in.settings.thinJdbcFilename = std::string(1000, 't');
  dirs_.installerJarDir = "/" + std::string(1000, 'q');
  std::string cp = BuildClassPath(in, dirs_);
  EXPECT_LE(cp.size(), kMaxClassPathChars);
  EXPECT_GE(cp.size(), kMaxClassPathChars - 1);  // less a separator that would end it
  EXPECT_EQ(cp.front(), '"');
  EXPECT_EQ(cp.back(), '"');
  EXPECT_EQ(std::count(cp.begin(), cp.end(), '"'), 2);
}

TEST_F(InstallerCmdlineTest, ClassPathDirsAndSettingsFromTheParameterFile) {
  std::string ini = temp_ / "qelparam.ini";
  testing_support::WriteFile(ini, "[Quelta]\nSOURCE=dvd\nNLS_ENABLED=\nGLAZE_LOCATION=/g\n");
  ClassPathDirs dirs = GetClassPathDirs({"/q/", "/c", "/m", "/j", "", ""}, ini);
  EXPECT_EQ(dirs.libraryDir, "/c/lib/win32");
  EXPECT_EQ(dirs.coreJarDir, "/c/jlib");
  EXPECT_EQ(dirs.installerJarDir, "/q//jlib");  // joined as given, as the launcher always has
  EXPECT_EQ(dirs.patchToolJarDir, "/m/jlib");
  EXPECT_EQ(dirs.source, "dvd");
  EXPECT_EQ(dirs.nlsEnabled, "TRUE");
}

}  // namespace
// Nothing handed to the installer may name "here": an empty class-path
// entry, a bare root or a relative path all resolve against the temp root
// the installer starts in, where others may put classes.
TEST_F(InstallerCmdlineTest, NoClassPathEntryNamesTheWorkingDirectoryOrARoot) {
  launcher::Run in = Short();
  in.settings.addToClasspath = ":::";
  in.settings.extJlib = "x";  // nothing to list: no entry for it either
  const std::string cp = BuildClassPath(in, dirs_);
  EXPECT_EQ(cp.find("::"), std::string::npos) << cp;
  EXPECT_EQ(cp.find(":/:"), std::string::npos) << cp;
  EXPECT_NE(cp.back() == '"' ? cp[cp.size() - 2] : ':', ':');
  EXPECT_EQ(cp[1], '/');
}

// A component the bootstrap did not copy keeps the location the parameter
// file gave, which may be relative to the launcher: its jars must still be
// found by an installer that starts in the temp root.
TEST_F(InstallerCmdlineTest, JarsOfRelativeLocationsAreNamedAbsolutely) {
  launcher::Run in = Short();
  in.locations = {"../q", "../c", "m", "/j", "", ""};
  dirs_ = GetClassPathDirs(in.locations, NoFile());
  EXPECT_EQ(dirs_.coreJarDir, *platform::FullPath("../c/jlib"));
  EXPECT_EQ(dirs_.installerJarDir, *platform::FullPath("../q/jlib"));
  EXPECT_EQ(dirs_.patchToolJarDir, *platform::FullPath("m/jlib"));
  std::string cp = BuildClassPath(in, dirs_);
  ASSERT_GE(cp.size(), 2u);
  cp = cp.substr(1, cp.size() - 2);
  for (const std::string& entry : common::SplitDroppingEmpty(cp, ':')) {
    EXPECT_EQ(entry.front(), '/') << entry;
  }
}

// A value ending in a backslash would escape its closing quote under the
// receiver's rules: the backslash is doubled, and the split gives it back.
TEST_F(InstallerCmdlineTest, QuotedValuesSurviveTheSplitWhateverTheyEndWith) {
  launcher::Run in = Plain();
  in.locations.prereqConfig = "/cfg\\";
  in.dirs.scratchDir = "/s \"q\"";
  Slots slots = BuildInstallerArgs(in, dirs_);
  std::string line;
  for (const std::string& slot : slots) line += slot + " ";
  std::vector<std::string> args = platform::SplitWindowsCommandLine(line);
  EXPECT_NE(std::find(args.begin(), args.end(), "-Dquelta.installer.prereqConfigLoc=/cfg\\"), args.end());
  auto cp = std::find(args.begin(), args.end(), "-cp");
  ASSERT_NE(cp, args.end());
  EXPECT_EQ(*(cp + 2), kInstallClass);  // the class path did not swallow the class
  EXPECT_NE(std::find(args.begin(), args.end(), "/s \"q\""), args.end());
}

// The launcher's own file name, whatever the option loop cut from the
// first element, is the installer's exec location.
TEST_F(InstallerCmdlineTest, ExecLocationIsTheWholeProgramPath) {
  launcher::Run in = Plain();
  in.programPath = "/home/Anne-Julie/-shipHomeLoc x/setup";
  elements_[0] = "/home/Anne";
  Slots slots = BuildInstallerArgs(in, dirs_);
  EXPECT_NE(std::find(slots.begin(), slots.end(),
                      "-Dquelta.installer.exec_location=\"/home/Anne-Julie/-shipHomeLoc x/setup\" "),
            slots.end());
}

}  // namespace launcher

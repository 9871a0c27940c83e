#include "launcher/options.h"

#include "common/process_state.h"
#include "platform/platform.h"
#include "test_support.h"

namespace launcher {
namespace {

using testing_support::LauncherTest;

class OptionsTest : public LauncherTest {
 protected:
  Options Parse(const std::string& tail, const std::string& program = "/opt/dvd/setup") {
    elements_ = {program, tail};
    Options options;
    ParseEarlyOptions(elements_, options);
    ParseOptionLoop(elements_, options);
    return options;
  }
  std::vector<std::string> elements_;
};

TEST(OptionTextTest, ValueEndsAtBlankDashOrBlank) {
  std::string dest = "untouched";
  GetOptionText("-paramFile", "-x -paramFile  C:\\my dir\\q.ini  -y ", dest);
  EXPECT_EQ(dest, "C:\\my dir\\q.ini");
  GetOptionWord("-jreLoc", "-jreLoc C:\\jdk -x", dest);
  EXPECT_EQ(dest, "C:\\jdk");
  // A quoted word (the joined tail quotes elements with blanks) is whole;
  // an unclosed quote falls back to the first blank.
  GetOptionWord("-jreLoc", "-jreLoc \"C:\\Program Files\\jre\" -x", dest);
  EXPECT_EQ(dest, "\"C:\\Program Files\\jre\"");
  GetOptionWord("-jreLoc", "-jreLoc \"C:\\a b", dest);
  EXPECT_EQ(dest, "\"C:\\a");
  // A dash right after the option does not end the value (the search starts
  // at the value's second character).
  GetOptionText("-rtimestamp", "-rtimestamp -5 -x", dest);
  EXPECT_EQ(dest, "-5");
  dest = "untouched";
  GetOptionText("-paramFile", "-other value", dest);
  GetOptionWord("-jreLoc", "", dest);
  EXPECT_EQ(dest, "untouched");
}

TEST(OptionTextTest, TrimAndQuotes) {
  std::string text = " \t\r\n value \v\f";
  TrimBlanks(text);
  EXPECT_EQ(text, "value");
  std::string longText(1500, 'x');
  TrimBlanks(longText);
  EXPECT_EQ(longText.size(), 1023u);

  std::string quoted = "\"C:\\a b\"";
  StripQuotes(quoted);
  EXPECT_EQ(quoted, "C:\\a b");
  std::string open = "\"C:\\a b";
  StripQuotes(open);
  EXPECT_EQ(open, "\"C:\\a b");
  std::string closing = "C:\\a b\"";
  StripQuotes(closing);
  EXPECT_EQ(closing, "C:\\a b");

  EXPECT_EQ(UpperCopy("-silent \xe4x"), "-SILENT \xe4X");
  EXPECT_EQ(ReplaceFirst("a-b-b", "-b", ""), "a-b");
  EXPECT_EQ(ReplaceFirst("abc", "x", "y"), "abc");
  EXPECT_EQ(ConvertJvmArgs("-Xmx512m -J-Dx=y"), "-Xmx512m -Dx=y");
  EXPECT_EQ(ConvertJvmArgs("-Xss1m"), "-Xss1m");
}

TEST(OptionTextTest, AssignmentsTakeTheFirstEqualsSign) {
  std::string dest;
  GetAssignment(dest, "-x BOOTSTRAP_LOC=C:\\stage", '=');
  EXPECT_EQ(dest, "C:\\stage");
  GetAssignment(dest, "A=1 BOOTSTRAP_LOC=C:\\stage", '=');
  EXPECT_EQ(dest, "1 BOOTSTRAP_LOC");
  // A quoted value followed by another option keeps its closing quote.
  GetAssignment(dest, "BOOTSTRAP_LOC=\"C:\\my dir\" -SILENT", '=');
  EXPECT_EQ(dest, "C:\\my dir\" -SILENT");
  GetAssignment(dest, "BOOTSTRAP_LOC=\"C:\\my dir\"  ", '=');
  EXPECT_EQ(dest, "C:\\my dir");
  GetAssignment(dest, "JVM_OPTIONS=\"-Xa -Xb\" -SILENT", '"');
  EXPECT_EQ(dest, "-Xa -Xb");
  GetAssignment(dest, "JVM_OPTIONS=-Xa -SILENT", '"');
  EXPECT_EQ(dest, "-Xa -SILENT");
  dest = "untouched";
  GetAssignment(dest, "BOOTSTRAP_LOC=", '=');
  GetAssignment(dest, "no equals here", '=');
  EXPECT_EQ(dest, "untouched");
}

TEST_F(OptionsTest, OptionsAreFoundInsideWordsInAnyCase) {
  for (const char* tail : {"-silent", "-Silent", "-SILENT", "-SILENTLY"}) {
    common::ResetProcess();
    Parse(tail);
    EXPECT_TRUE(common::Process().silent) << tail;
  }
  common::ResetProcess();
  Parse("", "/home/x/-DEBUG/setup");
  EXPECT_TRUE(common::Process().debug);
}

TEST_F(OptionsTest, EarlyPassIsCaseSensitive) {
  Options o = Parse("-jreloc /jdk");
  EXPECT_FALSE(o.jreLoc.has_value());
  EXPECT_FALSE(common::Process().jreLocGiven);
  o = Parse("-jreLoc /jdk -paramFile /a b/q.ini -rtimestamp T1 -rscratchPath /s");
  EXPECT_EQ(o.jreLoc.value_or(""), "/jdk");
  EXPECT_EQ(o.paramFile.value_or(""), "/a b/q.ini");
  EXPECT_EQ(o.rtimestamp.value_or(""), "T1");
  EXPECT_EQ(o.rscratchPath.value_or(""), "/s");
  EXPECT_TRUE(common::Process().jreLocGiven);
}

TEST_F(OptionsTest, ShipHomeLocWinsTheSharedStartupBufferAndIsCutOut) {
  Options o = Parse("-rstartupLoc /r -shipHomeLoc \"/ship\" -SILENT");
  EXPECT_TRUE(o.rstartupLocGiven);
  EXPECT_TRUE(o.shipHomeLocGiven);
  EXPECT_EQ(o.startupLocation, "\"/ship\"");
  EXPECT_EQ(elements_[1], "-rstartupLoc /r  -SILENT");

  // Locations with blanks arrive quoted; they are taken and cut out whole.
  o = Parse("-jreLoc \"/a b/jre\" -shipHomeLoc \"/my ship\" -SILENT");
  EXPECT_EQ(o.jreLoc.value_or(""), "/a b/jre");
  EXPECT_EQ(o.startupLocation, "\"/my ship\"");
  EXPECT_EQ(elements_[1], "-jreLoc \"/a b/jre\"  -SILENT");
}

TEST_F(OptionsTest, JTextIsCutButLaterOptionsStillCount) {
  Options o = Parse("-x -J-Xmx512m -mx -SILENT");
  ASSERT_TRUE(o.jText.has_value());
  EXPECT_EQ(*o.jText, "-Xmx512m -mx -SILENT");
  EXPECT_TRUE(o.jTextHasMx);
  EXPECT_EQ(elements_[1], "-x ");
  EXPECT_TRUE(common::Process().silent);

  // The "-mx" mark stays once set: a later -J text without it (here the
  // tail's, after the program path's) does not clear it.
  elements_ = {"/opt/a-J-mx64m/setup", "-J-Dx=1"};
  Options later;
  ParseOptionLoop(elements_, later);
  EXPECT_EQ(later.jText.value_or(""), "-Dx=1");
  EXPECT_TRUE(later.jTextHasMx);
}

TEST_F(OptionsTest, ActionsLogNameLatestInTableOrderWins) {
  const std::string sep(1, platform::kPathSep);
  Parse("");
  EXPECT_EQ(common::Process().actionsLogName, sep + "installActions");
  common::ResetProcess();
  Parse("-DETACHHOME -ATTACHHOME");
  EXPECT_EQ(common::Process().actionsLogName, sep + "DetachHome");
  common::ResetProcess();
  Options o = Parse("-ATTACHHOME -UPDATENODELIST");
  EXPECT_EQ(common::Process().actionsLogName, sep + "AttachHome");
  EXPECT_EQ(DecideLauncherMode(o).fixedClass, "quelta.admkit.qsi.qsic.QsicUpdateNodeList");
}

TEST_F(OptionsTest, SilentModeOptions) {
  for (const char* tail : {"-HELP", "-BOOTSTRAPONLY", "-RELINK", "-UPDATENODELIST", "-ATTACHHOME",
                           "-ATTACHSUITE", "-INSTALLADDONS", "-DETACHHOME", "-DETACHSUITE",
                           "-SUITEDEINSTALL", "-UPDATEHOMEDEPS"}) {
    common::ResetProcess();
    Parse(tail);
    EXPECT_TRUE(common::Process().silent) << tail;
  }
  for (const char* tail : {"-CLEANUP", "-SAVEINVENTORY", "-REMOVEHOME", "-ADDNODE", "-ONECLICK"}) {
    common::ResetProcess();
    Parse(tail);
    EXPECT_FALSE(common::Process().silent) << tail;
  }
}

TEST_F(OptionsTest, ModePrecedence) {
  using Class = LauncherMode::Class;
  LauncherMode mode = DecideLauncherMode(Parse(""));
  EXPECT_EQ(mode.kind, Class::InstallClass);
  EXPECT_FALSE(mode.forcesNoBootstrap);

  mode = DecideLauncherMode(Parse("-ADDNODE"));
  EXPECT_EQ(mode.kind, Class::InstallClass);
  EXPECT_TRUE(mode.forcesNoBootstrap);
  EXPECT_TRUE(mode.notFromDistribution);

  mode = DecideLauncherMode(Parse("-ONECLICK -CLEANUP"));
  EXPECT_EQ(mode.fixedClass, "quelta.admkit.qsi.qsic.QsicCleanup");
  mode = DecideLauncherMode(Parse("-ONECLICK"));
  EXPECT_EQ(mode.kind, Class::OneClickClass);

  mode = DecideLauncherMode(Parse("-SAVEINVENTORY -PRECLONESETUP -PREREQCHECKER"));
  EXPECT_EQ(mode.fixedClass, "quelta.admkit.qsi.qsic.QsicPreCloneSetup");
  EXPECT_TRUE(mode.notFromDistribution);
  EXPECT_FALSE(mode.forcesNoBootstrap);

  mode = DecideLauncherMode(Parse("-REMOVEHOME -DETACHHOME"));
  EXPECT_EQ(mode.fixedClass, "quelta.admkit.qsi.qsic.QsicRemoveHome");
  EXPECT_TRUE(mode.forcesNoBootstrap);

  mode = DecideLauncherMode(Parse("-RELINK"));
  EXPECT_EQ(mode.fixedClass, "quelta.admkit.qsi.qsis.QsisMakeDeps");
  EXPECT_FALSE(mode.notFromDistribution);
}

TEST_F(OptionsTest, PrereqConfigLocationBeatsFromLocation) {
  const std::string sep(1, platform::kPathSep);
  Options o = Parse("FROM_LOCATION=" + sep + "stage" + sep + "list.txt");
  EXPECT_EQ(o.prereqConfigLocation, sep + "stage" + sep + "prereq");
  EXPECT_EQ(common::Process().prereqLocFromFromLocation, 1);

  common::ResetProcess();
  o = Parse("PREREQ_CONFIG_LOCATION=" + sep + "cfg FROM_LOCATION=" + sep + "x");
  EXPECT_EQ(common::Process().prereqLocFromFromLocation, 0);
  EXPECT_EQ(o.prereqConfigLocation.rfind(sep + "cfg FROM_LOCATION", 0), 0u);
}

TEST_F(OptionsTest, DirectoryOptionsTakeTheNextWord) {
  const std::string sep(1, platform::kPathSep);
  Options o = Parse("-silent -scratchPath \"" + sep + "my scratch\" -PREREQLOGLOC " + sep + "logs -x");
  EXPECT_EQ(o.scratchPathOption, sep + "my scratch");
  EXPECT_EQ(o.prereqLogLocOption, sep + "logs");
  EXPECT_EQ(common::Process().scratchRoot, sep + "my scratch");
  EXPECT_EQ(common::Process().prereqLogLocation, sep + "logs");
  // -rscratchPath is another option, not -SCRATCHPATH.
  common::ResetProcess();
  o = Parse("-rscratchPath " + sep + "old");
  EXPECT_EQ(o.scratchPathOption, "");
}

TEST_F(OptionsTest, DirectoryOptionsAreWordsReadWhereTheyWereFound) {
  const std::string sep(1, platform::kPathSep);
  const std::string sroot = sep + "x" + sep + "sroot";
  // Cutting -shipHomeLoc or the -J text out of the element must not shift
  // where the value is read.
  Options o = Parse("-shipHomeLoc " + sep + "x" + sep + "ship -SILENT -SCRATCHPATH " + sroot +
                    " abcdefghij " + sep + "x" + sep + "wrong");
  EXPECT_EQ(o.scratchPathOption, sroot);
  o = Parse("-SILENT -J-Dx=1 -SCRATCHPATH " + sroot + " -PREREQLOGLOC " + sep + "logs");
  EXPECT_EQ(o.scratchPathOption, sroot);
  EXPECT_EQ(o.prereqLogLocOption, sep + "logs");

  // A word of its own at both ends, and every occurrence looked at.
  struct Case {
    std::string tail;
    std::string expected;
  };
  const Case cases[] = {
      {"-X-SCRATCHPATH " + sep + "d", ""},
      {"-SCRATCHPATHX " + sep + "d", ""},
      {"-SCRATCHPATHX -SCRATCHPATH " + sep + "d", sep + "d"},
      {"-SCRATCHPATH " + sep + "a -SCRATCHPATH " + sep + "b", sep + "b"},
      {"-SCRATCHPATH " + sep + "a -SCRATCHPATH", sep + "a"},
      {"\t-scratchpath\t" + sep + "t", sep + "t"},
  };
  for (const Case& c : cases) {
    std::string tail = c.tail;
    for (size_t at; (at = tail.find("\\t")) != std::string::npos;) tail.replace(at, 2, "\t");
    EXPECT_EQ(Parse(tail).scratchPathOption, c.expected) << c.tail;
  }
}

TEST_F(OptionsTest, JoinArgsListsInDebugMode) {
  std::vector<std::string> elements = {"prog", "a b"};
  EXPECT_EQ(JoinArgs(elements, true), "prog a b ");
  EXPECT_EQ(out_, "");
  common::Process().debug = true;
  JoinArgs(elements, true);
  const std::string dashes(55, '-');
  EXPECT_EQ(out_, dashes + "\nTotal number of arguments: 2\nCommand-line arguments:\nArg:0:prog:\nArg:1:a b:\n" +
                      dashes + "\n");
}

}  // namespace
}  // namespace launcher

#include "launcher/options.h"

#include "platform/platform.h"
#include "test_support.h"

namespace launcher {
namespace {

using testing_support::LauncherTest;

class OptionsTest : public LauncherTest {
 protected:
  Options Parse(const std::string& tail, const std::string& program = "/opt/dvd/setup") {
    elements_ = {program, tail};
    return ReadOptions(elements_);
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
    EXPECT_TRUE(Parse(tail).silent) << tail;
  }
  EXPECT_TRUE(Parse("", "/home/x/-DEBUG/setup").debug);
}

// A BOOTSTRAP_LOC the tail's rules cut (a "-J" inside the path, the value
// limit) or left a quote in names a place nobody chose: it is marked, for
// the run to refuse rather than fill it.
TEST_F(OptionsTest, ABootstrapLocationCutOrHoldingAQuoteIsMarked) {
  Options o = Parse("-BOOTSTRAPONLY BOOTSTRAP_LOC=/stage/bs");
  EXPECT_EQ(o.bootstrapLoc, "/stage/bs");
  EXPECT_FALSE(o.bootstrapLocCut);
  o = Parse("-BOOTSTRAPONLY BOOTSTRAP_LOC=/stage/bs -J-Xmx64m");  // -J text after the value
  EXPECT_FALSE(o.bootstrapLocCut);
  o = Parse("-BOOTSTRAPONLY BOOTSTRAP_LOC=/stage/my-Jdir/bs");
  EXPECT_EQ(o.bootstrapLoc, "/stage/my");
  EXPECT_TRUE(o.bootstrapLocCut);
  o = Parse("-BOOTSTRAPONLY \"BOOTSTRAP_LOC=/stage/q\\\"uote/bs\"");
  EXPECT_TRUE(o.bootstrapLocCut) << o.bootstrapLoc;
  const std::string longest = "BOOTSTRAP_LOC=/" + std::string(1008, 'x');  // 1,023 characters
  o = Parse(longest);
  EXPECT_FALSE(o.bootstrapLocCut);
  o = Parse(longest + "x");
  EXPECT_TRUE(o.bootstrapLocCut);
}

TEST_F(OptionsTest, EarlyPassIsCaseSensitive) {
  Options o = Parse("-jreloc /jdk");
  EXPECT_FALSE(o.jreLoc.has_value());
  o = Parse("-jreLoc /jdk -paramFile /a b/q.ini -rtimestamp T1 -rscratchPath /s");
  EXPECT_EQ(o.jreLoc.value_or(""), "/jdk");
  EXPECT_EQ(o.paramFile.value_or(""), "/a b/q.ini");
  EXPECT_EQ(o.rtimestamp.value_or(""), "T1");
  EXPECT_EQ(o.rscratchPath.value_or(""), "/s");
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
  EXPECT_TRUE(o.silent);

  // The "-mx" mark stays once set: a later -J text without it does not
  // clear it.
  elements_ = {"/opt/setup", "-J-mx64m", "-J-Dx=1"};
  Options later;
  ParseOptionLoop(elements_, later);
  EXPECT_EQ(later.jText.value_or(""), "-Dx=1");
  EXPECT_TRUE(later.jTextHasMx);

  // A "-J" in the launcher's own path is part of a directory name: no
  // runtime option, and the path stays whole ("Anne-Julie").
  elements_ = {"/home/Anne-Julie/install/setup", "-SILENT"};
  Options own;
  ParseOptionLoop(elements_, own);
  EXPECT_FALSE(own.jText.has_value());
  EXPECT_FALSE(own.jTextHasMx);
  EXPECT_EQ(elements_[0], "/home/Anne-Julie/install/setup");
}

TEST_F(OptionsTest, QuotedPathValuesLoseTheirQuotes) {
  elements_ = {"/opt/setup", "-paramFile \"/my files/q.ini\" -rscratchPath \"/a -b/s\" -SILENT"};
  Options o = ReadOptions(elements_);
  EXPECT_EQ(o.paramFile.value_or("-"), "/my files/q.ini");
  EXPECT_EQ(o.rscratchPath.value_or("-"), "/a -b/s");
  elements_ = {"/opt/setup", "-paramFile /my files/q.ini -SILENT"};
  EXPECT_EQ(ReadOptions(elements_).paramFile.value_or("-"), "/my files/q.ini");  // unquoted: up to " -"
}

TEST_F(OptionsTest, ActionsLogNameLatestInTheOptionLoopsOrderWins) {
  const std::string sep(1, platform::kPathSep);
  EXPECT_EQ(Parse("").actionsLogName, sep + "installActions");
  EXPECT_EQ(Parse("-DETACHHOME -ATTACHHOME").actionsLogName, sep + "DetachHome");
  // -CLEANUP is tested before -REMOVEHOME in the loop, though it decides
  // the class after it.
  EXPECT_EQ(Parse("-REMOVEHOME -CLEANUP").actionsLogName, sep + "RemoveHome");
  Options o = Parse("-ATTACHHOME -UPDATENODELIST");
  EXPECT_EQ(o.actionsLogName, sep + "AttachHome");
  EXPECT_EQ(DecideLauncherMode(o)->mode, Mode::UpdateNodeList);
  // A later element's log name replaces an earlier element's.
  EXPECT_EQ(Parse("-ATTACHHOME", "/opt/-DETACHHOME/setup").actionsLogName, sep + "AttachHome");
}

// Each mode option alone, as the documented mode table has it.
TEST_F(OptionsTest, EveryModeAlone) {
  struct Case {
    const char* option;
    const char* installerClass;  // nullptr: INSTALL_CLASS; "*": INSTALL_ONECLICK_CLASS
    bool silent;
    const char* logName;  // nullptr: installActions
    bool noBootstrap;
    bool notFromMedium;
  };
  const Case cases[] = {
      {"-PRECLONESETUP", "quelta.admkit.qsi.qsic.QsicPreCloneSetup", false, nullptr, false, true},
      {"-PREREQCHECKER", "quelta.admkit.qsp.qspc.qspcc.QspccPrereqApp", false, nullptr, false, false},
      {"-UPDATENODELIST", "quelta.admkit.qsi.qsic.QsicUpdateNodeList", true, "UpdateNodeList", true, true},
      {"-ATTACHHOME", "quelta.admkit.qsi.qsic.QsicAttachHome", true, "AttachHome", false, false},
      {"-ATTACHSUITE", "quelta.admkit.qsi.qsic.QsicAttachSuite", true, "AttachSuite", true, true},
      {"-INSTALLADDONS", "quelta.admkit.qsi.qsic.QsicInstallAddOn", true, "InstallAddOn", false, false},
      {"-RELINK", "quelta.admkit.qsi.qsis.QsisMakeDeps", true, nullptr, false, false},
      {"-REMOVEHOME", "quelta.admkit.qsi.qsic.QsicRemoveHome", false, "RemoveHome", true, true},
      {"-DETACHHOME", "quelta.admkit.qsi.qsic.QsicDetachHome", true, "DetachHome", true, true},
      {"-DETACHSUITE", "quelta.admkit.qsi.qsic.QsicDetachSuite", true, "DetachSuite", true, true},
      {"-SUITEDEINSTALL", "quelta.admkit.qsi.qsic.QsicSuiteDeinstall", true, "SuiteDeinstall", true, true},
      {"-UPDATEHOMEDEPS", "quelta.admkit.qsi.qsic.QsicUpdateHomeDeps", true, "UpdateHomeDeps", false, false},
      {"-ADDNODE", nullptr, false, nullptr, true, true},
      {"-CLEANUP", "quelta.admkit.qsi.qsic.QsicCleanup", false, "Cleanup", false, false},
      {"-SAVEINVENTORY", "quelta.admkit.qsi.qsic.QsicSaveInventory", false, "SaveInventory", false, false},
      {"-ONECLICK", "*", false, nullptr, false, false},
  };
  const std::string sep(1, platform::kPathSep);
  for (const Case& c : cases) {
    const Options o = Parse(c.option);
    const ModeRow* row = DecideLauncherMode(o);
    ASSERT_NE(row, nullptr) << c.option;
    const char* installerClass = row->classSource == ClassSource::Fixed           ? row->installerClass
                                 : row->classSource == ClassSource::OneClickClass ? "*"
                                                                                  : nullptr;
    EXPECT_STREQ(installerClass, c.installerClass) << c.option;
    EXPECT_EQ(o.silent, c.silent) << c.option;
    EXPECT_EQ(o.actionsLogName, sep + (c.logName ? c.logName : "installActions")) << c.option;
    EXPECT_EQ(row->forcesNoBootstrap, c.noBootstrap) << c.option;
    EXPECT_EQ(row->notFromDistribution, c.notFromMedium) << c.option;
  }
  EXPECT_EQ(DecideLauncherMode(Parse("")), nullptr);
  for (const char* tail : {"-HELP", "-BOOTSTRAPONLY"}) EXPECT_TRUE(Parse(tail).silent) << tail;
}

TEST_F(OptionsTest, ModePrecedence) {
  const std::pair<const char*, Mode> cases[] = {
      {"-ONECLICK -CLEANUP", Mode::Cleanup},
      {"-SAVEINVENTORY -PRECLONESETUP -PREREQCHECKER", Mode::PreCloneSetup},
      {"-SAVEINVENTORY -PREREQCHECKER", Mode::PrereqChecker},
      {"-REMOVEHOME -DETACHHOME", Mode::RemoveHome},
      {"-CLEANUP -ADDNODE", Mode::AddNode},
      {"-SAVEINVENTORY -CLEANUP", Mode::Cleanup},
      {"-ONECLICK -SAVEINVENTORY", Mode::SaveInventory},
  };
  for (const auto& [tail, mode] : cases) EXPECT_EQ(DecideLauncherMode(Parse(tail))->mode, mode) << tail;
}

TEST_F(OptionsTest, PrereqConfigLocationBeatsFromLocation) {
  const std::string sep(1, platform::kPathSep);
  Options o = Parse("FROM_LOCATION=" + sep + "stage" + sep + "list.txt");
  EXPECT_EQ(o.prereqConfigLocation, sep + "stage" + sep + "prereq");
  EXPECT_TRUE(o.prereqLocFromFromLocation);

  o = Parse("PREREQ_CONFIG_LOCATION=" + sep + "cfg FROM_LOCATION=" + sep + "x");
  EXPECT_FALSE(o.prereqLocFromFromLocation);
  EXPECT_EQ(o.prereqConfigLocation.rfind(sep + "cfg FROM_LOCATION", 0), 0u);
}

TEST_F(OptionsTest, DirectoryOptionsTakeTheNextWord) {
  const std::string sep(1, platform::kPathSep);
  Options o = Parse("-silent -scratchPath \"" + sep + "my scratch\" -PREREQLOGLOC " + sep + "logs -x");
  EXPECT_EQ(o.scratchRoot, sep + "my scratch");
  EXPECT_EQ(o.prereqLogLocation, sep + "logs");
  // -rscratchPath is another option, not -SCRATCHPATH.
  o = Parse("-rscratchPath " + sep + "old");
  EXPECT_EQ(o.scratchRoot, "");
  // A quoted word that goes on past its closing quote (a quote inside the
  // name, escaped by the receiver's rules) would be taken cut: passed over.
  o = Parse("-SCRATCHPATH \"" + sep + "q\\\"uote" + sep + "t\" -PREREQLOGLOC \"" + sep + "a\"b -x");
  EXPECT_EQ(o.scratchRoot, "");
  EXPECT_EQ(o.prereqLogLocation, "");
  o = Parse("-SCRATCHPATH \"" + sep + "my dir" + sep + "\" -SILENT");  // a trailing separator
  EXPECT_EQ(o.scratchRoot, sep + "my dir" + sep);
}

TEST_F(OptionsTest, DirectoryOptionsAreWordsReadWhereTheyWereFound) {
  const std::string sep(1, platform::kPathSep);
  const std::string sroot = sep + "x" + sep + "sroot";
  // Cutting -shipHomeLoc or the -J text out of the element must not shift
  // where the value is read.
  Options o = Parse("-shipHomeLoc " + sep + "x" + sep + "ship -SILENT -SCRATCHPATH " + sroot +
                    " abcdefghij " + sep + "x" + sep + "wrong");
  EXPECT_EQ(o.scratchRoot, sroot);
  o = Parse("-SILENT -J-Dx=1 -SCRATCHPATH " + sroot + " -PREREQLOGLOC " + sep + "logs");
  EXPECT_EQ(o.scratchRoot, sroot);
  EXPECT_EQ(o.prereqLogLocation, sep + "logs");

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
    EXPECT_EQ(Parse(tail).scratchRoot, c.expected) << c.tail;
  }
}

TEST_F(OptionsTest, JoinArgsListsInDebugMode) {
  std::vector<std::string> elements = {"prog", "a b"};
  EXPECT_EQ(JoinArgs(elements, true), "prog a b ");
  EXPECT_EQ(out_, "");
  testing_support::SetFacts(false, true);
  JoinArgs(elements, true);
  const std::string dashes(55, '-');
  EXPECT_EQ(out_, dashes + "\nTotal number of arguments: 2\nCommand-line arguments:\nArg:0:prog:\nArg:1:a b:\n" +
                      dashes + "\n");
}

}  // namespace
}  // namespace launcher

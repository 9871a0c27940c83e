#include "bootstrap/component_bootstrap.h"

#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>

#include "bootstrap/archive_expansion.h"
#include <optional>

#include "common/actions_log.h"
#include "messages/console.h"
#include "platform/platform.h"
#include "test_support.h"

namespace bootstrap {
namespace {

namespace fs = std::filesystem;
using testing_support::LauncherTest;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kSep(1, platform::kPathSep);

std::string Between(const std::string& text, const std::string& from, const std::string& to) {
  size_t start = text.find(from);
  if (start == std::string::npos) return {};
  start += from.size();
  size_t end = text.find(to, start);
  return end == std::string::npos ? std::string() : text.substr(start, end - start);
}

// Stands in for the unzip program: each "*.jar" of the source directory is a
// list of relative paths to create below the destination. Exit 11 (nothing
// matched) when there is no archive, 9 when the source is missing.
int FakeUnzip(const std::string& line) {
  std::string source = Between(line, "qqqo ", "/\"*.jar\"");
  if (source.empty()) source = Between(line, " -o ", "/\"*.jar\"");
  const std::string destination = Between(line, "-d \"", "\" ");
  if (!fs::is_directory(source)) return 9;
  int archives = 0;
  for (const auto& entry : fs::directory_iterator(source)) {
    if (entry.path().extension() != ".jar") continue;
    ++archives;
    std::istringstream names(ReadFile(entry.path().string()));
    for (std::string name; std::getline(names, name);) {
      if (name == "!corrupt") return 2;
      WriteFile((fs::path(destination) / name).string(), "x");
    }
  }
  return archives ? 0 : 11;
}

class ArchiveExpansionTest : public LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    setenv("QEL_REGISTRY_ROOT", (dir_ / "registry").c_str(), 1);
    log_.emplace(dir_.path());
    platform::TestOverrides().startChild = [this](const std::string& line, const platform::ChildOptions& how,
                                          int& exitCode) {
      lines_.push_back(line);
      programs_.push_back(how.program);
      hidden_ = how.hiddenWindow;
      exitCode = status_;
      return startError_;
    };
  }
  void TearDown() override {
    log_.reset();
    platform::TestOverrides().startChild = nullptr;
    platform::TestOverrides().disk = {};
    unsetenv("QEL_REGISTRY_ROOT");
    LauncherTest::TearDown();
  }
  std::string Log() const { return ReadFile(common::ActionsLogPath()); }

  TempDir dir_;
  std::optional<common::ActionsLogScope> log_;
  std::vector<std::string> lines_;
  std::vector<std::string> programs_;
  bool hidden_ = false;
  int status_ = 0;
  int startError_ = 0;
};

TEST_F(ArchiveExpansionTest, CommandLinesToTheByte) {
  EXPECT_EQ(ExpandJars("src", "C:dest dir", "U"), 0);
  testing_support::SetFacts(false, true);
  EXPECT_EQ(ExpandJars("src", "dst", "U"), 0);
  ASSERT_EQ(lines_.size(), 2u);
  EXPECT_EQ(lines_[0], "U" + kSep + "unzip -qqqo src/\"*.jar\" -d \"C:dest dir\" ");
  EXPECT_EQ(lines_[1], "U" + kSep + "unzip -o src/\"*.jar\" -d \"dst\" ");
  EXPECT_TRUE(hidden_);
  EXPECT_NE(Log().find("Expanding archives with the command line:\n" + lines_[1]), std::string::npos);
}

TEST_F(ArchiveExpansionTest, TheKnownProgramRunsAndABlankInItsPathIsQuoted) {
  testing_support::SetFacts(false, false);
  EXPECT_EQ(ExpandJars("src", "dst", "My Setup" + kSep + "medium"), 0);
  EXPECT_EQ(ExpandJars("src", "dst", "U"), 0);
  ASSERT_EQ(lines_.size(), 2u);
  EXPECT_EQ(lines_[0], "\"My Setup" + kSep + "medium" + kSep + "unzip\" -qqqo src/\"*.jar\" -d \"dst\" ");
  EXPECT_EQ(lines_[1].rfind("U" + kSep + "unzip -qqqo", 0), 0u);
  // Nothing is searched for: the program file is named to the system.
  EXPECT_EQ(programs_[0], "My Setup" + kSep + "medium" + kSep + "unzip" + platform::kProgramSuffix);
  EXPECT_EQ(programs_[1], "U" + kSep + "unzip" + platform::kProgramSuffix);
  EXPECT_NE(Log().find(lines_[0] + "\n"), std::string::npos);
}

// Status 1 is the tool's word for refused entries (a name leading out, one
// beyond the limits): the expansion failed, whatever else was written.
TEST_F(ArchiveExpansionTest, RefusedEntriesFailTheExpansion) {
  status_ = 1;
  EXPECT_EQ(ExpandJars(dir_.path(), "dst", "U"), -1);
  EXPECT_EQ(boxes_, "");  // the source exists: the tool has said why itself
}

// A destination ending in a separator stays one argument ending in it.
TEST_F(ArchiveExpansionTest, ADestinationEndingInABackslashKeepsItsClosingQuote) {
  EXPECT_EQ(ExpandJars("src", "C:\\x\\", "U"), 0);
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_EQ(lines_[0], "U" + kSep + "unzip -qqqo src/\"*.jar\" -d \"C:\\x\\\\\" ");
}

TEST_F(ArchiveExpansionTest, FailureIsShownOnlyForAMissingSource) {
  status_ = 11;  // the unzip program found no archive in an existing directory
  EXPECT_EQ(ExpandJars(dir_.path(), "dst", "U"), -1);
  EXPECT_EQ(boxes_, "");
  const std::string missing = dir_ / "missing";
  EXPECT_EQ(ExpandJars(missing, "dst", "U"), -1);
  EXPECT_NE(boxes_.find("Could not expand the archives in " + missing), std::string::npos);
  EXPECT_NE(Log().find("Could not expand the archives in " + missing), std::string::npos);
  // A program that cannot be started reports the system error as its status.
  status_ = 0;
  startError_ = 2;
  EXPECT_EQ(RunChildAndWait("nothing"), 2);
  EXPECT_EQ(ExpandJars(dir_.path(), "dst", "U"), -1);
}

// A medium with the launcher in medium/install (the current directory) and
// the staged components in medium/stage/Components.
class BootstrapTest : public ArchiveExpansionTest {
 protected:
  void SetUp() override {
    ArchiveExpansionTest::SetUp();
    log_.reset();
    messages::RefreshConsoleHandle();
    platform::TestOverrides().startChild = [this](const std::string& line, const platform::ChildOptions&,
                                          int& exitCode) {
      lines_.push_back(line);
      exitCode = FakeUnzip(line);
      return 0;
    };
    oldCwd_ = fs::current_path();
    fs::create_directories(dir_ / "medium/install");
    fs::create_directories(dir_ / "scratch");
    fs::current_path(dir_ / "medium/install");
    run_.scratchDir = dir_ / "scratch";
    run_.startupDir = "STARTUP";
    run_.unzipDir = "SECOND";
    run_.distribution = true;
    run_.copyRuntime = true;
    run_.timestamp = "TS";
  }
  void TearDown() override {
    fs::current_path(oldCwd_);
    messages::ForgetConsoleHandle();
    ArchiveExpansionTest::TearDown();
  }
  // A staged component version holding one archive with these entries.
  std::string Stage(const std::string& name, const std::string& version,
                    const std::string& entries, const std::string& stage = "medium/stage") {
    const std::string data = dir_ / (stage + "/Components/" + name + "/" + version + "/1/DataFiles");
    WriteFile(data + "/a.jar", entries);
    return data;
  }
  void StageAll() {
    for (const char* v : {"4.2.0.1.0", "10.0.0.0.0", "9.9.9.9.9"}) {
      Stage("quelta.swd.qti", v, std::string("qti/installer.jar\nqti/qti-") + v);
      Stage("quelta.swd.qti.core", v, "qti/core.jar");
      Stage("quelta.swd.mendra", v, "Mendra/patch.jar");
      Stage("quelta.swd.jre", v, "jre/b/bin/java\njre/A/bin/java");
    }
  }
  std::string Scratch(const std::string& rel) const { return run_.scratchDir + kSep + rel; }
  // The unzip command lines, with the program directory and source only.
  std::string Unzips() const {
    std::string out;
    for (const std::string& line : lines_) out += line.substr(0, line.find(" -")) + " " +
                                                  Between(line, "Components" + kSep, kSep + "1" + kSep) + ";";
    return out;
  }

  // Runs the bootstrap with run_; its result in result_.
  int Bootstrap() { return Bootstrap(run_); }
  int Bootstrap(const BootstrapInput& in) {
    result_ = BootstrapComponents(in);
    return result_.status;
  }
  const ComponentLocations& Moved() const { return result_.locations; }

  BootstrapInput run_;
  BootstrapResult result_;
  fs::path oldCwd_;
};

TEST_F(BootstrapTest, DistributionTakesTheHighestVersionOfEveryStep) {
  StageAll();
  WriteFile(dir_ / "medium/stage/Components/quelta.swd.qti/10.0.0.0.0/1/DataFiles/Expanded/qti/extra.txt", "e");
  WriteFile(dir_ / "images/logo.gif", "g");
  WriteFile(dir_ / "jlib/ext.jar", "j");
  run_.locations.images = dir_ / "images";
  run_.extJlib = dir_ / "jlib";
  run_.locations.jre = dir_ / "no-such-runtime";
  run_.jreVersion = "1.8";

  EXPECT_EQ(Bootstrap(), kBootstrapCopied);
  const std::string u = "SECOND" + kSep + "unzip ";
  const std::string v = kSep + "10.0.0.0.0";
  EXPECT_EQ(Unzips(), u + "quelta.swd.jre" + v + ";" + u + "quelta.swd.qti" + v + ";" + u +
                          "quelta.swd.qti.core" + v + ";" + u + "quelta.swd.mendra" + v + ";");
  EXPECT_EQ(Moved().qti, Scratch("qti"));
  EXPECT_EQ(Moved().qtiCore, Scratch("qti"));
  EXPECT_EQ(Moved().mendra, Scratch("Mendra"));
  EXPECT_EQ(Moved().jre, Scratch("jre" + kSep + "A"));  // first by name
  EXPECT_EQ(Moved().images, Scratch("images"));
  EXPECT_TRUE(fs::exists(Scratch("qti/qti-10.0.0.0.0")));
  EXPECT_TRUE(fs::exists(Scratch("qti/extra.txt")));
  EXPECT_TRUE(fs::exists(Scratch("images/logo.gif")));
  EXPECT_TRUE(fs::exists(Scratch("ext/jlib/ext.jar")));
  EXPECT_FALSE(fs::exists(Scratch("ext/lib")));
  const std::string log = ReadFile(common::ActionsLogPath());
  EXPECT_NE(log.find("Number of files bootstrapped in jre: 2"), std::string::npos);
  EXPECT_NE(log.find("Number of files bootstrapped in qti: 4"), std::string::npos);
}

TEST_F(BootstrapTest, ListedComponentsWithVersionsAndOddEntries) {
  StageAll();
  Stage("extras", "2.0", "extras.txt");
  run_.printTime = true;
  std::vector<std::string> list = {"quelta.swd.qti:4.2.0.1.0", ":::", "extras",
                                   "quelta.swd.mendra:7.7"};
  // A full list has no empty slot to end it.
  while (list.size() < 16) list.push_back("extras:2.0:ignored");
  run_.components = list;

  EXPECT_EQ(Bootstrap(), kBootstrapCopied);
  const std::string s = "STARTUP" + kSep + "unzip ";
  const std::string u = "SECOND" + kSep + "unzip ";
  std::string expected = s + "extras" + kSep + "2.0;";
  for (int i = 0; i < 12; ++i) expected += s + "extras" + kSep + "2.0;";
  expected += u + "quelta.swd.qti" + kSep + "4.2.0.1.0;" + u + "quelta.swd.mendra" + kSep + "10.0.0.0.0;";
  EXPECT_EQ(Unzips(), expected);
  EXPECT_TRUE(fs::exists(Scratch("qti/qti-4.2.0.1.0")));
  EXPECT_TRUE(fs::exists(Scratch("extras.txt")));
  EXPECT_EQ(Moved().jre, "");  // no runtime step: not listed

  const std::string timing = ReadFile(common::TimingLogPath());
  // Loop lines have three blanks before "seconds", the named steps two.
  EXPECT_TRUE(std::regex_search(timing, std::regex("^\n Time taken for bootstrapping extras is \\d\\.\\d{5}   seconds\n")));
  EXPECT_TRUE(std::regex_search(timing, std::regex("\n Time taken for bootstrapping quelta\\.swd\\.qti is \\d\\.\\d{5}  seconds\n")));
  EXPECT_TRUE(std::regex_search(timing, std::regex("quelta\\.swd\\.mendra is \\d\\.\\d{5}  seconds$")));
}

TEST_F(BootstrapTest, DevelopmentKitFromTheOuterStageArea) {
  const std::string outer = "stage";  // ../../stage seen from medium/install
  Stage("quelta.jdk", "11.0", "jdk/bin/java", outer);
  for (const char* name : {"quelta.swd.qti", "quelta.swd.qti.core", "quelta.swd.mendra"}) {
    Stage(name, "1.0", "qti/x", outer);
  }
  EXPECT_EQ(Bootstrap(), kBootstrapCopied);
  EXPECT_EQ(Moved().jre, Scratch("jdk") + kSep);
  EXPECT_NE(Unzips().find("quelta.jdk" + kSep + "11.0"), std::string::npos);
}

TEST_F(BootstrapTest, NoBootstrapStillMovesLocationsAndCopiesExpandedTrees) {
  StageAll();
  WriteFile(dir_ / "medium/stage/Components/quelta.swd.qti.core/10.0.0.0.0/1/DataFiles/Expanded/core.txt", "c");
  WriteFile(dir_ / "jlib/ext.jar", "j");
  WriteFile(dir_ / "access/acc.txt", "a");
  WriteFile(dir_ / "scratchjre/bin/java", "j");
  run_.extJlib = dir_ / "jlib";
  run_.accessDir = dir_ / "access";
  run_.scratchJrePath = dir_ / "scratchjre";
  run_.noBootstrap = true;
  run_.copyRuntime = false;

  EXPECT_EQ(Bootstrap(), kBootstrapCopied);
  EXPECT_TRUE(lines_.empty());
  EXPECT_EQ(Moved().qti, Scratch("qti"));
  EXPECT_EQ(Moved().mendra, Scratch("Mendra"));
  EXPECT_EQ(Moved().jre, dir_ / "scratchjre");
  EXPECT_TRUE(fs::exists(Scratch("core.txt")));
  EXPECT_FALSE(fs::exists(Scratch("acc.txt")));
  EXPECT_FALSE(fs::exists(Scratch("ext")));
}

TEST_F(BootstrapTest, PlainTreesAreCopiedOutsideDistributionMode) {
  WriteFile(dir_ / "qti/a.jar", "a");
  WriteFile(dir_ / "core/b.jar", "b");
  WriteFile(dir_ / "mendra/m", "m");
  WriteFile(dir_ / "prereq/p.xml", "p");
  WriteFile(dir_ / "access/acc.txt", "a");
  run_.distribution = false;
  run_.copyRuntime = false;  // the runtime came from -jreLoc: it stays
  run_.locations.jre = dir_ / "myjre";
  run_.locations.qti = dir_ / "qti";
  run_.locations.qtiCore = dir_ / "core";
  run_.locations.mendra = dir_ / "mendra";
  run_.locations.prereqConfig = dir_ / "prereq";
  run_.accessDir = dir_ / "access";
  run_.scratchJrePath = dir_ / "nojre";

  EXPECT_EQ(Bootstrap(), kBootstrapCopied);
  EXPECT_TRUE(lines_.empty());
  EXPECT_EQ(Moved().jre, dir_ / "myjre");  // the missing scratch runtime is not taken
  EXPECT_EQ(Moved().qtiCore, Scratch("qti"));
  EXPECT_EQ(Moved().prereqConfig, Scratch("prereq"));
  for (const char* f : {"qti/a.jar", "qti/b.jar", "Mendra/m", "prereq/p.xml", "acc.txt"}) {
    EXPECT_TRUE(fs::exists(Scratch(f))) << f;
  }
  EXPECT_NE(ReadFile(common::ActionsLogPath()).find("The Java runtime was not found in the scratch"),
            std::string::npos);
}

TEST_F(BootstrapTest, AScratchRuntimeThatExistsIsTakenEvenEmpty) {
  fs::create_directories(dir_ / "emptyjre");
  run_.distribution = false;
  run_.copyRuntime = false;
  run_.locations.jre = dir_ / "myjre";
  run_.scratchJrePath = dir_ / "emptyjre";
  EXPECT_EQ(Bootstrap(), kBootstrapCopied);
  EXPECT_EQ(Moved().jre, dir_ / "emptyjre");
  EXPECT_EQ(ReadFile(common::ActionsLogPath()).find("The Java runtime was not found in the scratch"),
            std::string::npos);
}

TEST_F(BootstrapTest, FirstRuntimeEntryComparesLettersUpperCased) {
  StageAll();
  Stage("quelta.swd.jre", "10.0.0.0.0", "jre/j_1/bin/java\njre/jA/bin/java\njre/jz/bin/java");
  EXPECT_EQ(Bootstrap(), kBootstrapCopied);
  EXPECT_EQ(Moved().jre, Scratch("jre" + kSep + "jA"));
}

TEST_F(BootstrapTest, AScratchDirectorySwappedMidwayIsNeitherFilledNorTrusted) {
  StageAll();
  WriteFile(dir_ / "jlib/ext.jar", "j");
  run_.extJlib = dir_ / "jlib";
  run_.copyRuntime = false;
  run_.scratchIdentity = platform::DirectoryIdentity(run_.scratchDir);
  fs::create_directories(dir_ / "victim");
  // The first archive expands; then another user swaps the directory.
  platform::TestOverrides().startChild = [this](const std::string& line, const platform::ChildOptions&,
                                        int& exitCode) {
    lines_.push_back(line);
    exitCode = FakeUnzip(line);
    if (lines_.size() == 1) {
      fs::rename(run_.scratchDir, dir_ / "moved");
      fs::create_directory_symlink(dir_ / "victim", run_.scratchDir);
    }
    return 0;
  };
  EXPECT_EQ(Bootstrap(), kBootstrapFailed);
  EXPECT_EQ(lines_.size(), 1u);
  EXPECT_TRUE(fs::is_empty(dir_ / "victim"));
  EXPECT_NE((boxes_ + out_).find("Cannot create or write to the directory " + run_.scratchDir),
            std::string::npos);
}

TEST_F(BootstrapTest, ALinkBroughtByTheAccessFilesDoesNotLeadTheExtraLibrariesOut) {
  WriteFile(dir_ / "jlib/ext.jar", "j");
  fs::create_directories(dir_ / "access");
  fs::create_directories(dir_ / "victim");
  fs::create_directory_symlink(dir_ / "victim", dir_ / "access/ext");
  run_.distribution = false;
  run_.copyRuntime = false;
  run_.accessDir = dir_ / "access";
  run_.extJlib = dir_ / "jlib";
  Bootstrap();
  EXPECT_TRUE(fs::is_empty(dir_ / "victim"));
  EXPECT_NE(ReadFile(common::ActionsLogPath()).find("WARNING: not a directory, extra libraries not copied"),
            std::string::npos);
}

TEST_F(BootstrapTest, TooLittleSpaceStillCopiesExtraLibrariesAndCounts) {
  platform::TestOverrides().disk.query = [](const std::string&) {
    return std::optional<platform::DiskSpace>(platform::DiskSpace{1 << 30, 1023});
  };
  StageAll();
  WriteFile(dir_ / "bin/tool", "t");
  WriteFile(dir_ / "images/logo.gif", "g");
  run_.extBin = dir_ / "bin";
  run_.locations.images = dir_ / "images";
  run_.requiredKilobytes = 1;
  EXPECT_EQ(Bootstrap(), kBootstrapFailed);
  EXPECT_TRUE(lines_.empty());
  EXPECT_TRUE(fs::exists(Scratch("ext/bin/tool")));
  EXPECT_FALSE(fs::exists(Scratch("images")));
  EXPECT_EQ(Moved().images, dir_ / "images");
  EXPECT_NE(ReadFile(common::ActionsLogPath()).find("bootstrapped in qti: 0"), std::string::npos);
}

TEST_F(BootstrapTest, FailuresEndWithThirty) {
  struct Case {
    const char* what;
    std::vector<std::string> list;
    std::function<void()> stage;
    const char* console;
    int unzips;
  };
  const std::vector<Case> cases = {
      {"listed component without a data directory", {"missing"}, [] {}, "", 1},
      {"corrupt archive", {"bad"}, [this] { Stage("bad", "1", "ok\n!corrupt"); }, "", 1},
      {"no runtime staged", {"quelta.swd.jre"}, [] {}, "No Java runtime location is known", 0},
      {"runtime archive without a runtime",
       {"quelta.swd.jre"},
       [this] { Stage("quelta.swd.jre", "1", "README"); },
       "The Java runtime was not found",
       1},
      {"patch tool failing", {"quelta.swd.mendra"}, [this] { Stage("quelta.swd.mendra", "1", "!corrupt"); }, "", 1},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir_ / "medium/stage");
    fs::remove_all(run_.scratchDir);
    fs::create_directories(run_.scratchDir);
    lines_.clear();
    out_.clear();
    c.stage();
    BootstrapInput run = run_;
    run.components = c.list;
    EXPECT_EQ(Bootstrap(run), kBootstrapFailed) << c.what;
    EXPECT_EQ(lines_.size(), size_t(c.unzips)) << c.what;
    EXPECT_NE(out_.find(c.console), std::string::npos) << c.what;

  }
  // A failing core expansion is not fatal: the location stays where it was.
  lines_.clear();
  BootstrapInput run = run_;
  run.components = {"quelta.swd.qti.core"};
  EXPECT_EQ(Bootstrap(run), kBootstrapNothingCopied);
  EXPECT_EQ(Moved().qtiCore.find(".."), 0u);
}

}  // namespace
}  // namespace bootstrap

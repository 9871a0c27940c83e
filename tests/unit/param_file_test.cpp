#include <unistd.h>
#include "params/param_file.h"

#include <cstdlib>
#include <filesystem>

#include "common/paths.h"
#include "params/paths.h"
#include "params/scratch_dir.h"
#include "platform/platform.h"
#include "test_support.h"

namespace params {
namespace {

using testing_support::LauncherTest;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kSep(1, platform::kPathSep);

class ParamFileTest : public LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    setenv("QEL_REGISTRY_ROOT", (temp_ / "registry").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("QEL_REGISTRY_ROOT");
    LauncherTest::TearDown();
  }
  // The search and the reading as a run in dist_ starts them, its scratch
  // directory (for the log) temp_.
  ParamFileInput Input() const {
    ParamFileInput in;
    in.startupDir = dist_.path();
    in.launcherDir = dist_.path();
    in.scratchDir = temp_.path();
    return in;
  }
  // Reads `content` as the parameter file named with -paramFile.
  Settings Read(const std::string& content, ParamFileInput in) {
    WriteFile(dist_ / "qelparam.ini", "[Quelta]\n" + content);
    in.paramFileOption = dist_ / "qelparam.ini";
    ParamFileResult result = ReadParamFile(in);
    EXPECT_EQ(result.status, 0);
    return result.settings;
  }
  Settings Read(const std::string& content) { return Read(content, Input()); }
  std::string Log() const { return ReadFile(temp_ / "installActionsTS.log"); }
  TempDir temp_;
  TempDir dist_;
};

TEST_F(ParamFileTest, DefaultsForAbsentAndEmptyValues) {
  Settings s = Read("INSTALL_CLASS=\nBOOTSTRAP_SIZE=\n");
  EXPECT_FALSE(s.distribution);
  EXPECT_FALSE(s.bootstrap);
  EXPECT_EQ(s.installClass, "quelta.admkit.qsi.qsic.QsicInstaller");
  EXPECT_EQ(s.installOneClickClass, "quelta.admkit.qso.qsoc.QsocOneClickInstaller");
  EXPECT_EQ(s.bootstrapSize, "45");
  EXPECT_EQ(s.qtiVersion, "0.0.0.0.0");
  EXPECT_EQ(s.copyThreads, "0");
  EXPECT_FALSE(s.waitForCompletion);
  EXPECT_EQ(s.java.useJreOnly, "FALSE");
  EXPECT_EQ(s.java.disableJrePrompt, "FALSE");
  // Outside distribution mode the component locations default to the
  // launcher's directory, or to the ship home.
  EXPECT_EQ(s.qtiLocation, dist_.path());
  EXPECT_EQ(s.qtiCoreLocation, dist_.path());
  EXPECT_EQ(s.mendraLocation, dist_.path());
  EXPECT_TRUE(s.bootstrapComponents.empty());
  ParamFileInput ship = Input();
  ship.launcherDir = temp_.path();
  ship.shipHomeLoc = true;
  EXPECT_EQ(Read("", ship).qtiLocation, dist_.path());
}

TEST_F(ParamFileTest, FlagsKeepTheirFirstCharacterOnly) {
  Settings s = Read("DISTRIBUTION=true\nBOOTSTRAP=Tomorrow\nWAIT_FOR_COMPLETION=TRUE\n");
  EXPECT_FALSE(s.distribution);
  EXPECT_TRUE(s.bootstrap);
  EXPECT_TRUE(s.waitForCompletion);
}

TEST_F(ParamFileTest, DistributionDefaultsAndForcedBootstrap) {
  Settings s = Read("DISTRIBUTION=T\nQTI_VERSION=10.2.0.1\nBOOTSTRAP=F\nMENDRA_LOCATION=m\n");
  EXPECT_TRUE(s.distribution);
  EXPECT_TRUE(s.bootstrap);
  const std::string stage = ".." + kSep + "stage" + kSep + "Components" + kSep;
  EXPECT_EQ(s.qtiLocation, stage + "quelta.swd.qti" + kSep + "10.2.0.1" + kSep + "1" + kSep + "DataFiles" + kSep);
  EXPECT_EQ(s.qtiCoreLocation,
            stage + "quelta.swd.qti.core" + kSep + "10.2.0.1" + kSep + "1" + kSep + "DataFiles" + kSep);
  EXPECT_EQ(s.mendraLocation, "m");
}

TEST_F(ParamFileTest, BufferLimits) {
  Settings s = Read("JRE_OSDPARAM=" + std::string(1500, 'x') + "\nQTI_VERSION=" + std::string(40, '1') +
                    "\nJRE_VERSION=" + std::string(40, '2') + "\nCOPY_THREADS=123456789012345\n");
  EXPECT_EQ(s.jreOsdParam.size(), 1023u);
  EXPECT_EQ(s.qtiVersion, std::string(31, '1'));
  EXPECT_EQ(s.jreVersion, std::string(31, '2'));
  EXPECT_EQ(s.copyThreads, "12345678901");
}

TEST_F(ParamFileTest, BootstrapComponentsSplitAndOverflowReported) {
  Settings s = Read("BOOTSTRAP_COMPS=,a,,b:1.0,c,\n");
  EXPECT_EQ(s.bootstrapComponents, (std::vector<std::string>{"a", "b:1.0", "c"}));

  std::string many;
  for (int i = 1; i <= 18; ++i) many += "c" + std::to_string(i) + ",";
  s = Read("BOOTSTRAP_COMPS=" + many + "\n");
  ASSERT_EQ(s.bootstrapComponents.size(), 16u);
  EXPECT_EQ(s.bootstrapComponents.back(), "c16");
  EXPECT_NE(Log().find("not bootstrapped: c17,c18"), std::string::npos);
}

TEST_F(ParamFileTest, JavaLocationsAndPrereqLocationPrecedence) {
  const std::string file = "JRE_LOCATION=/jre\nJRE_SCRATCH_LOC=jre" + kSep + "1\nPREREQ_CONFIG_LOCATION=/file\n";
  Settings s = Read(file);
  EXPECT_EQ(s.jreLocation, "/jre");
  EXPECT_EQ(s.scratchJrePath, temp_.path() + kSep + "jre" + kSep + "1");
  EXPECT_EQ(s.prereqConfigLocation, "/file");

  // -jreLoc: the file's runtime settings are ignored; an explicit command
  // line location is final.
  ParamFileInput given = Input();
  given.jreLocGiven = true;
  given.prereqConfigLocation = "/explicit";
  s = Read(file, given);
  EXPECT_EQ(s.jreLocation, "");
  EXPECT_EQ(s.scratchJrePath, "");
  EXPECT_EQ(s.prereqConfigLocation, "/explicit");

  // A location derived from FROM_LOCATION gives way to the file.
  given.prereqConfigLocation = "/derived";
  given.prereqLocFromFromLocation = true;
  EXPECT_EQ(Read(file, given).prereqConfigLocation, "/file");
}

TEST_F(ParamFileTest, SearchOrderAndMissingFile) {
  TempDir tree;
  std::string startup = tree / "media" + kSep + "disk1";
  WriteFile(startup + kSep + "qelparam.ini", "[Quelta]\n");
  WriteFile(tree / "media" + kSep + "qelparam.ini", "[Quelta]\n");
  ParamFileInput in = Input();
  in.startupDir = startup;
  ParamFileResult found = ReadParamFile(in);
  ASSERT_EQ(found.status, 0);
  EXPECT_EQ(found.paramFile, startup + kSep + "qelparam.ini");
  EXPECT_NE(Log().find("Using the parameter file " + found.paramFile), std::string::npos);

  // Found without a launcher directory: the run cannot go on.
  in.launcherDir.reset();
  EXPECT_EQ(ReadParamFile(in).status, -1);

  TempDir empty;
  in = Input();
  in.startupDir = empty.path();
  in.launcherDir = empty.path();
  boxes_.clear();
  EXPECT_EQ(ReadParamFile(in).status, -2);
  EXPECT_NE(boxes_.find("could not be found"), std::string::npos);
  const std::string log = Log();
  EXPECT_NE(log.find("Parameter file not found at " + empty.path() + kSep + "qelparam.ini"), std::string::npos);
  EXPECT_NE(log.find("Parameter file not found at " + empty.path() + kSep + ".." + kSep + "qelparam.ini"),
            std::string::npos);
}

TEST_F(ParamFileTest, DirectoryAsParamFileIsUsed) {
  ParamFileInput in = Input();
  in.paramFileOption = dist_.path();
  ParamFileResult result = ReadParamFile(in);
  ASSERT_EQ(result.status, 0);
  EXPECT_EQ(result.settings.installClass, "quelta.admkit.qsi.qsic.QsicInstaller");
}

// The key table is what both the launcher and the medium checker go by.
TEST(ParamKeysTest, KeysAreFoundWithoutRegardToCaseAndCarryTheirLimits) {
  ASSERT_NE(FindParamKey("bootstrap_size"), nullptr);
  EXPECT_STREQ(FindParamKey("bootstrap_size")->defaultValue, "45");
  EXPECT_EQ(FindParamKey("QTI_VERSION")->maxChars, kMaxVersionChars);
  EXPECT_EQ(FindParamKey("Wait_For_Completion")->kind, KeyKind::Flag);
  EXPECT_EQ(FindParamKey("DISABLE_JRE_PROMPT")->kind, KeyKind::ExactTrue);
  EXPECT_EQ(FindParamKey("BOOTSTARP"), nullptr);
}

class ScratchDirTest : public LauncherTest {
 protected:
  void TearDown() override {
    unsetenv("TEMP");
    unsetenv("TMP");
    LauncherTest::TearDown();
  }
  TempDir temp_;
};

TEST_F(ScratchDirTest, ValidRoots) {
  EXPECT_EQ(IsValidAbsPath(kSep + "tmp"), 1);
  EXPECT_EQ(IsValidAbsPath(kSep), 0);
  EXPECT_EQ(IsValidAbsPath("tmp"), 0);
  EXPECT_EQ(IsValidAbsPath(kSep + "tmp;x"), 0);
  EXPECT_EQ(IsValidAbsPath(kSep + "a*b"), 0);
  // Every path below the root is handed on in quotes by the receiver's
  // rules, where a quote in a program's name cannot be written.
  EXPECT_EQ(IsValidAbsPath(kSep + "a\"b"), 0);
}

TEST_F(ScratchDirTest, TempRootChoice) {
  setenv("TEMP", (temp_.path() + kSep).c_str(), 1);
  setenv("TMP", "/elsewhere", 1);
  EXPECT_EQ(GetTempRoot(""), temp_.path());
  // A rejected TEMP is not replaced by TMP.
  setenv("TEMP", "relative", 1);
  EXPECT_EQ(GetTempRoot(""), platform::kDefaultTempRoot);
  unsetenv("TEMP");
  EXPECT_EQ(GetTempRoot(""), "/elsewhere");
  EXPECT_EQ(GetTempRoot(temp_.path()), temp_.path());
  // Too long for a path buffer: passed over, never cut to a shorter one.
  setenv("TEMP", (kSep + std::string(1030, 'y')).c_str(), 1);
  EXPECT_EQ(GetTempRoot(kSep + std::string(1100, 'x')), platform::kDefaultTempRoot);
  // Within the limit but without room for the scratch directory's name: a
  // path below it cut to the limit would name a stranger's file in the root.
  const std::string roomless = kSep + std::string(common::kMaxPath - 20, 'z');
  setenv("TEMP", roomless.c_str(), 1);
  EXPECT_EQ(GetTempRoot(""), platform::kDefaultTempRoot);
  EXPECT_EQ(GetTempRoot(roomless), platform::kDefaultTempRoot);
  const std::string roomy = kSep + std::string(common::kMaxPath - 60, 'z');
  EXPECT_EQ(GetTempRoot(roomy), roomy);
}

TEST_F(ScratchDirTest, CreatesParentsAndTakesSuffixes) {
  std::string root = temp_ / "a" + kSep + "b";
  setenv("TEMP", root.c_str(), 1);
  ScratchDir first = CreateScratchDir("", "TS");
  ASSERT_EQ(first.status, 0);
  EXPECT_EQ(first.path, root + kSep + "QelInstallTS");
  EXPECT_EQ(first.root, root);
  EXPECT_TRUE(first.identity.has_value());
  ScratchDir second = CreateScratchDir("", "TS");
  ASSERT_EQ(second.status, 0);
  EXPECT_EQ(second.path, root + kSep + "QelInstallTS_1");
  EXPECT_TRUE(platform::IsDirectory(second.path));
  // A link at the next name, even one that leads nowhere, counts as taken.
  std::filesystem::create_directory_symlink(temp_ / "nowhere", root + kSep + "QelInstallTS_2");
  EXPECT_EQ(CreateScratchDir("", "TS").path, root + kSep + "QelInstallTS_3");
  EXPECT_FALSE(platform::PathExists(temp_ / "nowhere"));
}

// The last name tried is "_1023"; past it the run fails naming the base.
TEST_F(ScratchDirTest, TheLastSuffixIs1023AndThenTheRunFails) {
  const std::string root = temp_ / "many";
  setenv("TEMP", root.c_str(), 1);
  const std::string base = root + kSep + "QelInstallTS";
  std::filesystem::create_directories(base);
  for (int i = 1; i <= 1022; ++i) std::filesystem::create_directory(base + "_" + std::to_string(i));
  const ScratchDir last = CreateScratchDir("", "TS");
  ASSERT_EQ(last.status, 0);
  EXPECT_EQ(last.path, base + "_1023");
  boxes_.clear();
  const ScratchDir none = CreateScratchDir("", "TS");
  EXPECT_EQ(none.status, -1);
  EXPECT_TRUE(none.path.empty());
  EXPECT_NE(boxes_.find("Cannot create or write to the directory " + base), std::string::npos);
  EXPECT_FALSE(platform::PathExists(base + "_1024"));
}

TEST_F(ScratchDirTest, ARootOthersMayWriteNeedsTheStickyBit) {
  namespace fs = std::filesystem;
  const std::string root = temp_ / "shared";
  fs::create_directory(root);
  setenv("TEMP", root.c_str(), 1);
  for (auto perms : {fs::perms::all, fs::perms::owner_all | fs::perms::group_all}) {
    fs::permissions(root, perms);
    EXPECT_EQ(CreateScratchDir("", "TS").status, -1);
    EXPECT_NE(boxes_.find("Cannot create or write to the directory " + root), std::string::npos);
    boxes_.clear();
  }
  fs::permissions(root, fs::perms::all | fs::perms::sticky_bit);
  EXPECT_EQ(CreateScratchDir("", "TS").status, 0);
  fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
  const std::string dir = CreateScratchDir("", "TS").path;
  EXPECT_EQ((fs::status(dir).permissions() & (fs::perms::group_all | fs::perms::others_all)),
            fs::perms::none);
}

// Whoever may rename a directory above the root can swap the whole tree
// after every check: each parent counts, and a link on the way too.
TEST_F(ScratchDirTest, EveryParentOfTheRootMustKeepItsEntries) {
  namespace fs = std::filesystem;
  const std::string open = temp_ / "open";
  fs::create_directories(open + "/work");
  fs::permissions(open + "/work", fs::perms::owner_all);
  setenv("TEMP", (open + "/work").c_str(), 1);
  fs::permissions(open, fs::perms::all);  // others may rename "work"
  EXPECT_EQ(CreateScratchDir("", "TS").status, -1);
  setenv("TEMP", (open + "/new/made").c_str(), 1);  // made by the launcher below it: no better
  EXPECT_EQ(CreateScratchDir("", "TS").status, -1);
  fs::permissions(open, fs::perms::all | fs::perms::sticky_bit);
  setenv("TEMP", (open + "/work").c_str(), 1);
  EXPECT_EQ(CreateScratchDir("", "TS").status, 0);
  fs::create_directory_symlink(open, temp_ / "link");
  setenv("TEMP", (temp_ / "link/work").c_str(), 1);
  EXPECT_EQ(CreateScratchDir("", "TS").status, -1);
  if (geteuid() == 0) {  // a parent owned by another user
    fs::permissions(open, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    setenv("TEMP", (open + "/work").c_str(), 1);
    ASSERT_EQ(chown(open.c_str(), 1234, 1234), 0);
    EXPECT_EQ(CreateScratchDir("", "TS").status, -1);
  }
}

TEST_F(ScratchDirTest, AScratchDirectorySwappedForAnotherIsNotTakenForIt) {
  namespace fs = std::filesystem;
  setenv("TEMP", temp_.path().c_str(), 1);
  ScratchDir made = CreateScratchDir("", "TS");
  ASSERT_EQ(made.status, 0);
  const std::string& dir = made.path;
  const std::optional<platform::DirIdentity>& id = made.identity;
  EXPECT_TRUE(ScratchDirIntact(dir, id));
  EXPECT_TRUE(ScratchDirIntact(temp_ / "anything", std::nullopt));  // not made by this run
  // Renamed away and replaced: by a link to the original, by a look-alike.
  fs::rename(dir, temp_ / "moved");
  fs::create_directory_symlink(temp_ / "moved", dir);
  EXPECT_FALSE(ScratchDirIntact(dir, id));
  EXPECT_NE(boxes_.find("Cannot create or write to the directory " + dir), std::string::npos);
  fs::remove(dir);
  fs::create_directory(dir);
  fs::permissions(dir, fs::perms::owner_all);
  EXPECT_FALSE(ScratchDirIntact(dir, id));
  fs::remove(dir);
  EXPECT_FALSE(ScratchDirIntact(dir, id));
  EXPECT_FALSE(platform::PathExists(dir));  // never made again
}

TEST_F(ScratchDirTest, RootThatIsAFileIsReported) {
  WriteFile(temp_ / "file", "x");
  setenv("TEMP", (temp_ / "file").c_str(), 1);
  EXPECT_EQ(CreateScratchDir("", "TS").status, -1);
  EXPECT_NE(boxes_.find("Cannot create or write to the directory " + temp_ / "file"), std::string::npos);
  EXPECT_EQ(common::MakeDirTree(""), 0);
}

TEST(PathsTest, Helpers) {
  EXPECT_EQ(common::AppendPath("", "bin"), "bin");
  EXPECT_EQ(common::AppendPath("a" + kSep, "bin"), "a" + kSep + "bin");
  EXPECT_EQ(common::AppendPath("a", "bin"), "a" + kSep + "bin");
  std::string dest = "keep";
  GetDirPart(dest, "");
  EXPECT_EQ(dest, "keep");
  GetDirPart(dest, "x" + kSep + "y" + kSep + "z.txt");
  EXPECT_EQ(dest, "x" + kSep + "y");
  EXPECT_EQ(GetProgramDir("setup"), ".");
  EXPECT_EQ(GetProgramDir("." + kSep + "setup"), ".");
  EXPECT_EQ(GetProgramDir("." + kSep + "d" + kSep + "setup"), "d");
  std::optional<std::string> here = LauncherDir();
  ASSERT_TRUE(here.has_value());
  EXPECT_NE(here->back(), platform::kPathSep);
}

}  // namespace
}  // namespace params

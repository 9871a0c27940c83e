#include "params/param_file.h"

#include <cstdlib>
#include <filesystem>

#include "common/process_state.h"
#include "params/paths.h"
#include "params/scratch_dir.h"
#include "platform/platform.h"
#include "runtime/actions_log.h"
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
    setenv("TEMP", temp_.path().c_str(), 1);
    setenv("QEL_REGISTRY_ROOT", (temp_ / "registry").c_str(), 1);
    cwd_ = platform::CurrentDir().value_or("/");
  }
  void TearDown() override {
    platform::SetCurrentDir(cwd_);
    unsetenv("QEL_REGISTRY_ROOT");
    LauncherTest::TearDown();
  }
  // Reads `content` as the parameter file named with -paramFile.
  Settings Read(const std::string& content, ParamFileRun* runOut = nullptr) {
    WriteFile(dist_ / "qelparam.ini", "[Quelta]\n" + content);
    ParamFileRun run;
    run.paramFile = dist_ / "qelparam.ini";
    run.startupDir = dist_.path();
    run.timestamp = "T";
    Settings settings;
    EXPECT_EQ(ReadParamFile(run, settings), 0);
    if (runOut) *runOut = run;
    return settings;
  }
  TempDir temp_;
  TempDir dist_;
  std::string cwd_;
};

TEST_F(ParamFileTest, DefaultsForAbsentAndEmptyValues) {
  ParamFileRun run;
  Settings s = Read("INSTALL_CLASS=\nBOOTSTRAP_SIZE=\n", &run);
  EXPECT_EQ(s.distribution, "F");
  EXPECT_EQ(s.bootstrap, "F");
  EXPECT_EQ(s.installClass, "quelta.admkit.qsi.qsic.QsicInstaller");
  EXPECT_EQ(s.installOneClickClass, "quelta.admkit.qso.qsoc.QsocOneClickInstaller");
  EXPECT_EQ(s.bootstrapSize, "45");
  EXPECT_EQ(s.qtiVersion, "0.0.0.0.0");
  EXPECT_EQ(s.copyThreads, "0");
  EXPECT_EQ(s.waitForCompletion, "F");
  EXPECT_EQ(common::Process().useJreOnly, "FALSE");
  EXPECT_EQ(common::Process().disableJrePrompt, "FALSE");
  // Outside distribution mode the component locations default to the
  // startup directory, which became the launcher directory.
  EXPECT_EQ(s.qtiLocation, run.startupDir);
  EXPECT_EQ(s.qtiCoreLocation, run.startupDir);
  EXPECT_EQ(s.mendraLocation, run.startupDir);
  EXPECT_TRUE(s.bootstrapComponents.empty());
}

TEST_F(ParamFileTest, FlagsKeepTheirFirstCharacterOnly) {
  Settings s = Read("DISTRIBUTION=true\nBOOTSTRAP=Tomorrow\nWAIT_FOR_COMPLETION=TRUE\n");
  EXPECT_EQ(s.distribution, "t");
  EXPECT_FALSE(common::Process().distribution);
  EXPECT_EQ(s.bootstrap, "T");
  EXPECT_EQ(s.waitForCompletion, "T");
}

TEST_F(ParamFileTest, DistributionDefaultsAndForcedBootstrap) {
  Settings s = Read("DISTRIBUTION=T\nQTI_VERSION=10.2.0.1\nBOOTSTRAP=F\nMENDRA_LOCATION=m\n");
  EXPECT_TRUE(common::Process().distribution);
  EXPECT_EQ(s.bootstrap, "T");
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
  ParamFileRun run;
  s = Read("BOOTSTRAP_COMPS=" + many + "\n", &run);
  ASSERT_EQ(s.bootstrapComponents.size(), 16u);
  EXPECT_EQ(s.bootstrapComponents.back(), "c16");
  EXPECT_NE(ReadFile(runtime::ActionsLogPath()).find("not bootstrapped: c17,c18"), std::string::npos);
}

TEST_F(ParamFileTest, JavaLocationsAndPrereqLocationPrecedence) {
  ParamFileRun run;
  Read("JRE_LOCATION=/jre\nJRE_SCRATCH_LOC=jre" + kSep + "1\nPREREQ_CONFIG_LOCATION=/file\n", &run);
  EXPECT_EQ(run.jreLocation, "/jre");
  EXPECT_EQ(run.scratchJrePath, run.scratchDir + kSep + "jre" + kSep + "1");
  EXPECT_EQ(run.prereqConfigLocation, "/file");

  // -jreLoc: the file's runtime settings are ignored.
  common::Process().jreLocGiven = true;
  WriteFile(dist_ / "qelparam.ini", "[Quelta]\nJRE_LOCATION=/jre\nJRE_SCRATCH_LOC=x\nPREREQ_CONFIG_LOCATION=/file\n");
  ParamFileRun given;
  given.paramFile = dist_ / "qelparam.ini";
  given.startupDir = dist_.path();
  given.jreLocation = "/cmdline";
  given.prereqConfigLocation = "/explicit";
  Settings s;
  ASSERT_EQ(ReadParamFile(given, s), 0);
  EXPECT_EQ(given.jreLocation, "/cmdline");
  EXPECT_EQ(given.scratchJrePath, "");
  EXPECT_EQ(given.prereqConfigLocation, "/explicit");

  // A location derived from FROM_LOCATION gives way to the file.
  common::Process().prereqLocFromFromLocation = 1;
  given.prereqConfigLocation = "/derived";
  given.startupDir = dist_.path();
  ASSERT_EQ(ReadParamFile(given, s), 0);
  EXPECT_EQ(given.prereqConfigLocation, "/file");
}

TEST_F(ParamFileTest, SearchOrderAndMissingFile) {
  TempDir tree;
  std::string startup = tree / "media" + kSep + "disk1";
  WriteFile(startup + kSep + "qelparam.ini", "[Quelta]\n");
  WriteFile(tree / "media" + kSep + "qelparam.ini", "[Quelta]\n");
  ParamFileRun run;
  run.startupDir = startup;
  run.timestamp = "T";
  Settings s;
  ASSERT_EQ(ReadParamFile(run, s), 0);
  EXPECT_EQ(run.paramFile, startup + kSep + "qelparam.ini");
  EXPECT_EQ(platform::CurrentDir().value_or(""), startup);
  EXPECT_NE(ReadFile(runtime::ActionsLogPath()).find("Using the parameter file " + run.paramFile),
            std::string::npos);

  TempDir empty;
  ParamFileRun missing;
  missing.startupDir = empty.path();
  missing.timestamp = "T2";
  boxes_.clear();
  EXPECT_EQ(ReadParamFile(missing, s), -2);
  EXPECT_NE(boxes_.find("could not be found"), std::string::npos);
  std::string log = ReadFile(runtime::ActionsLogPath());
  EXPECT_NE(log.find("Parameter file not found at " + empty.path() + kSep + "qelparam.ini"), std::string::npos);
  EXPECT_NE(log.find("Parameter file not found at " + empty.path() + kSep + ".." + kSep + "qelparam.ini"),
            std::string::npos);
}

TEST_F(ParamFileTest, DirectoryAsParamFileIsUsed) {
  ParamFileRun run;
  run.paramFile = dist_.path();
  run.startupDir = dist_.path();
  run.timestamp = "T";
  Settings s;
  ASSERT_EQ(ReadParamFile(run, s), 0);
  EXPECT_EQ(s.installClass, "quelta.admkit.qsi.qsic.QsicInstaller");
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
}

TEST_F(ScratchDirTest, TempRootChoice) {
  setenv("TEMP", (temp_.path() + kSep).c_str(), 1);
  setenv("TMP", "/elsewhere", 1);
  EXPECT_EQ(GetTempRoot(), temp_.path());
  // A rejected TEMP is not replaced by TMP.
  setenv("TEMP", "relative", 1);
  EXPECT_EQ(GetTempRoot(), platform::kDefaultTempRoot);
  unsetenv("TEMP");
  EXPECT_EQ(GetTempRoot(), "/elsewhere");
  common::Process().scratchRoot = temp_.path();
  EXPECT_EQ(GetTempRoot(), temp_.path());
  // Too long for a path buffer: passed over, never cut to a shorter one.
  common::Process().scratchRoot = kSep + std::string(1100, 'x');
  setenv("TEMP", (kSep + std::string(1030, 'y')).c_str(), 1);
  EXPECT_EQ(GetTempRoot(), platform::kDefaultTempRoot);
}

TEST_F(ScratchDirTest, CreatesParentsAndTakesSuffixes) {
  std::string root = temp_ / "a" + kSep + "b";
  setenv("TEMP", root.c_str(), 1);
  std::string first, second, third;
  std::optional<platform::DirIdentity> id;
  ASSERT_EQ(CreateScratchDir(first, "TS", id), 0);
  EXPECT_EQ(first, root + kSep + "QelInstallTS");
  EXPECT_TRUE(id.has_value());
  ASSERT_EQ(CreateScratchDir(second, "TS", id), 0);
  EXPECT_EQ(second, root + kSep + "QelInstallTS_1");
  EXPECT_TRUE(platform::IsDirectory(second));
  // A link at the next name, even one that leads nowhere, counts as taken.
  std::filesystem::create_directory_symlink(temp_ / "nowhere", root + kSep + "QelInstallTS_2");
  ASSERT_EQ(CreateScratchDir(third, "TS", id), 0);
  EXPECT_EQ(third, root + kSep + "QelInstallTS_3");
  EXPECT_FALSE(platform::PathExists(temp_ / "nowhere"));
}

TEST_F(ScratchDirTest, ARootOthersMayWriteNeedsTheStickyBit) {
  namespace fs = std::filesystem;
  const std::string root = temp_ / "shared";
  fs::create_directory(root);
  setenv("TEMP", root.c_str(), 1);
  std::string dir;
  std::optional<platform::DirIdentity> id;
  for (auto perms : {fs::perms::all, fs::perms::owner_all | fs::perms::group_all}) {
    fs::permissions(root, perms);
    EXPECT_EQ(CreateScratchDir(dir, "TS", id), -1);
    EXPECT_NE(boxes_.find("Cannot create or write to the directory " + root), std::string::npos);
    boxes_.clear();
  }
  fs::permissions(root, fs::perms::all | fs::perms::sticky_bit);
  EXPECT_EQ(CreateScratchDir(dir, "TS", id), 0);
  fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(CreateScratchDir(dir, "TS", id), 0);
  EXPECT_EQ((fs::status(dir).permissions() & (fs::perms::group_all | fs::perms::others_all)),
            fs::perms::none);
}

TEST_F(ScratchDirTest, AScratchDirectorySwappedForAnotherIsNotTakenForIt) {
  namespace fs = std::filesystem;
  setenv("TEMP", temp_.path().c_str(), 1);
  std::string dir;
  std::optional<platform::DirIdentity> id;
  ASSERT_EQ(CreateScratchDir(dir, "TS", id), 0);
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
  std::string dir;
  std::optional<platform::DirIdentity> id;
  EXPECT_EQ(CreateScratchDir(dir, "TS", id), -1);
  EXPECT_NE(boxes_.find("Cannot create or write to the directory " + temp_ / "file"), std::string::npos);
  EXPECT_EQ(MakeDirTree(""), 0);
}

TEST(PathsTest, Helpers) {
  EXPECT_EQ(AppendPath("", "bin"), "bin");
  EXPECT_EQ(AppendPath("a" + kSep, "bin"), "a" + kSep + "bin");
  EXPECT_EQ(AppendPath("a", "bin"), "a" + kSep + "bin");
  std::string dest = "keep";
  GetDirPart(dest, "");
  EXPECT_EQ(dest, "keep");
  GetDirPart(dest, "x" + kSep + "y" + kSep + "z.txt");
  EXPECT_EQ(dest, "x" + kSep + "y");
  EXPECT_EQ(GetProgramDir("setup"), ".");
  EXPECT_EQ(GetProgramDir("." + kSep + "setup"), ".");
  EXPECT_EQ(GetProgramDir("." + kSep + "d" + kSep + "setup"), "d");
  std::string here;
  ASSERT_EQ(GetCurrentDir(here), 0);
  EXPECT_NE(here.back(), platform::kPathSep);
}

}  // namespace
}  // namespace params

// The checker's rules with their boundary cases: what each value of the
// parameter file gives, the suggestion of a near key, the order and the
// exit status of findings, the medium's paths on this machine, the options.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "messages/format.h"
#include "tools/qelcheck/catalogue_checks.h"
#include "tools/qelcheck/check_medium.h"
#include "tools/qelcheck/findings.h"
#include "tools/qelcheck/medium.h"
#include "tools/qelcheck/near_names.h"
#include "tools/qelcheck/param_checks.h"

namespace qelcheck {
namespace {

namespace fs = std::filesystem;

class TempMedium {
 public:
  TempMedium() {
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("qelcheck-unit-" + std::to_string(random()));
    fs::create_directories(dir_ / "install");
  }
  ~TempMedium() { fs::remove_all(dir_); }
  std::string install() const { return (dir_ / "install").string(); }
  void Write(const std::string& rel, const std::string& bytes) const {
    fs::create_directories((dir_ / rel).parent_path());
    std::ofstream(dir_ / rel, std::ios::binary) << bytes;
  }

 private:
  fs::path dir_;
};

// The findings for a [Quelta] section holding `lines` (after a first line
// that turns the bootstrap on), with their line numbers taken off.
std::string ParamFindings(const std::string& lines, bool bootstrap = true) {
  TempMedium medium;
  const std::string content = std::string("[Quelta]\n") + (bootstrap ? "BOOTSTRAP=TRUE\n" : "\n") + lines + "\n";
  medium.Write("install/qelparam.ini", content);
  const Medium linux(medium.install(), MediumKind::Linux);
  Findings findings;
  CheckParamFile(linux, *FindParamFile(linux), findings);
  std::string text = findings.Lines(false);
  for (size_t at; (at = text.find("qelparam.ini:3: ")) != std::string::npos;) text.erase(at, 16);
  return text;
}

struct ValueCase {
  const char* line;
  const char* finding;  // "" for none
};

TEST(ParamValues, EachRuleAtItsBoundary) {
  const std::string k31(31, 'v'), k1023(1023, 'c');
  const std::vector<std::pair<std::string, std::string>> cases = {
      // Limits: 1023, 31 and 11 characters; quotes do not count.
      {"INSTALL_CLASS=" + k1023, ""},
      {"INSTALL_CLASS=" + k1023 + "x", "error: INSTALL_CLASS: the value has 1024 characters; the launcher keeps the first 1023\n"},
      {"JRE_VERSION=" + k31, ""},
      {"JRE_VERSION=\"" + k31 + "\"", ""},
      // A cut version names no staged one: the launcher falls back as for any.
      {"JRE_VERSION=" + k31 + "x", "warning: JRE_VERSION: the value has 32 characters; the launcher keeps the first 31\n"},
      {"COPY_THREADS=12345678901", ""},
      {"COPY_THREADS=123456789012", "error: COPY_THREADS: the value has 12 characters; the launcher keeps the first 11\n"},
      // Flags: an upper-case T switches them on, whatever follows.
      {"WAIT_FOR_COMPLETION=T", ""},
      {"WAIT_FOR_COMPLETION=Tomorrow-and-the-day-after", ""},
      {"WAIT_FOR_COMPLETION=false", ""},
      {"WAIT_FOR_COMPLETION=no", ""},
      {"WAIT_FOR_COMPLETION=true", "error: WAIT_FOR_COMPLETION=true is off: a flag is on only when its first letter is an upper-case T\n"},
      // The prerequisite flag matters only with certified versions to check.
      {"PLATFORM_PREREQS=YES", "warning: PLATFORM_PREREQS=YES is off: a flag is on only when its first letter is an "
                               "upper-case T; there is no [Certified Versions] section for it to check\n"},
      {"PLATFORM_PREREQS=YES\n[Certified Versions]\nLinux=6.1",
       "error: PLATFORM_PREREQS=YES is off: a flag is on only when its first letter is an upper-case T\n"},
      {"DISTRIBUTION=1", "error: DISTRIBUTION=1 is off: a flag is on only when its first letter is an upper-case T\n"},
      // Exact switches: TRUE and nothing else.
      {"DISABLE_JRE_PROMPT=TRUE", ""},
      {"DISABLE_JRE_PROMPT=FALSE", ""},
      // What they change depends on the runtimes of the machine that installs.
      {"DISABLE_JRE_PROMPT=T", "warning: DISABLE_JRE_PROMPT=T is off: it is on only for the text TRUE, exactly; what "
                               "that changes depends on the Java runtime the machine that installs holds or the user gives\n"},
      {"USEJREONLY=true", "warning: USEJREONLY=true is off: it is on only for the text TRUE, exactly; what that "
                          "changes depends on the Java runtime the machine that installs holds or the user gives\n"},
      // The bootstrap size: 0 to 2047, read like atoi.
      {"BOOTSTRAP_SIZE=0", ""},
      {"BOOTSTRAP_SIZE=+2047", ""},
      {"BOOTSTRAP_SIZE=2048", "error: BOOTSTRAP_SIZE=2048 is outside 0 to 2047: the launcher runs without the bootstrap\n"},
      {"BOOTSTRAP_SIZE=-1", "error: BOOTSTRAP_SIZE=-1 is outside 0 to 2047: the launcher runs without the bootstrap\n"},
      {"BOOTSTRAP_SIZE=300MB", "warning: BOOTSTRAP_SIZE=300MB is read as 300\n"},
      {"BOOTSTRAP_SIZE=lots", "warning: BOOTSTRAP_SIZE=lots is read as 0\n"},
      // 16 components at most; empty pieces are dropped.
      {"BOOTSTRAP_COMPS=a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p", ""},
      {"BOOTSTRAP_COMPS=a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q",
       "error: BOOTSTRAP_COMPS names 17 components: the launcher bootstraps the first 16 and leaves out q\n"},
      {"BOOTSTRAP_COMPS=a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,,q,r",
       "warning: BOOTSTRAP_COMPS has empty entries: the launcher drops them\n"
       "error: BOOTSTRAP_COMPS names 18 components: the launcher bootstraps the first 16 and leaves out q,r\n"},
      {"BOOTSTRAP_COMPS=a,", "warning: BOOTSTRAP_COMPS has empty entries: the launcher drops them\n"},
      // Names: in any letter case; comments; near and far misses.
      {"bootstrap_size=5000", "error: BOOTSTRAP_SIZE=5000 is outside 0 to 2047: the launcher runs without the bootstrap\n"},
      {";BOOTSTRAP_SIZE=5000", ""},
      {"#BOOTSTRAP_SIZE=5000", ""},
      // A slip is an error where the key meant would change the run.
      {"JRE_LOCATON=x", "error: JRE_LOCATON: not a key the launcher reads; it takes JRE_LOCATION=its default, not x; "
                        "did you mean JRE_LOCATION?\n"},
      {"WAIT_FOR_COMPLETON=TRUE", "error: WAIT_FOR_COMPLETON: not a key the launcher reads; it takes "
                                  "WAIT_FOR_COMPLETION=F, not T; did you mean WAIT_FOR_COMPLETION?\n"},
      {"WAIT_FOR_COMPLETON=FALSE", "warning: WAIT_FOR_COMPLETON: not a key the launcher reads; did you mean "
                                   "WAIT_FOR_COMPLETION?\n"},
      {"WAIT_FOR_COMPLETION=TRUE\nWAIT_FOR_COMPLETON=TRUE",
       "qelparam.ini:4: warning: WAIT_FOR_COMPLETON: not a key the launcher reads; did you mean WAIT_FOR_COMPLETION? "
       "(WAIT_FOR_COMPLETION is set too)\n"},
      // Set again: an error only with another value.
      {"INSTALL_CLASS=a.B\nINSTALL_CLASS=a.B",
       "qelparam.ini:4: warning: INSTALL_CLASS is set again: the launcher reads only line 3\n"},
      {"INSTALL_CLASS=a.B\ninstall_class=a.C",
       "qelparam.ini:4: error: install_class is set again: the launcher reads only line 3; it takes INSTALL_CLASS=a.B, "
       "not a.C\n"},
      {"PRODUCT_HOME=x", "warning: PRODUCT_HOME: not a key the launcher reads (the installer may read it)\n"},
  };
  for (const auto& [line, finding] : cases) {
    EXPECT_EQ(ParamFindings(line), finding) << line.substr(0, 80);
  }
  // Without a bootstrap the size is never read.
  EXPECT_EQ(ParamFindings("BOOTSTRAP_SIZE=5000", false), "");
}

TEST(ParamValues, LocationsOnTheMediumAndOnTheInstallingMachine) {
  TempMedium medium;
  medium.Write("install/jre/bin/java", "j");
  medium.Write("install/qelparam.ini", "[Quelta]\nJRE_LOCATION=jre\nQTI_LOCATION=/opt/elsewhere\n"
                                       "MENDRA_LOCATION=../mendra\nEXT_BIN=bin\n");
  const Medium linux(medium.install(), MediumKind::Linux);
  Findings findings;
  CheckParamFile(linux, *FindParamFile(linux), findings);
  // An absolute path names the installing machine: not checked here. Without
  // a bootstrap the extra directories are never copied.
  EXPECT_EQ(findings.Lines(false), "qelparam.ini:4: error: MENDRA_LOCATION: ../mendra names nothing: the installer's "
                                   "files are not there\n");

  const Medium windows(medium.install(), MediumKind::Windows);
  Findings windowsFindings;
  medium.Write("install/qelparam.ini", "[Quelta]\nJRE_LOCATION=jre\nMENDRA_LOCATION=..\\mendra\n");
  CheckParamFile(windows, *FindParamFile(windows), windowsFindings);
  EXPECT_EQ(windowsFindings.Lines(false),
            "qelparam.ini:2: error: JRE_LOCATION: jre holds no bin\\java.exe: the installer cannot start\n"
            "qelparam.ini:2: error: JRE_LOCATION: jre holds no bin\\javaw.exe: the installer cannot start\n"
            "qelparam.ini:3: error: MENDRA_LOCATION: ..\\mendra names nothing: the installer's files are not there\n");
}

TEST(ParamSections, OnlyTheFirstQueltaSectionCounts) {
  TempMedium medium;
  medium.Write("install/qelparam.ini", "BOOTSTRAP_SIZE=1\n[Other]\nBOOTSTRAP=TRUE\n");
  const Medium linux(medium.install(), MediumKind::Linux);
  Findings findings;
  CheckParamFile(linux, *FindParamFile(linux), findings);
  EXPECT_EQ(findings.Lines(false),
            "qelparam.ini: error: no [Quelta] section: the launcher takes the default of every setting\n"
            "qelparam.ini:1: error: BOOTSTRAP_SIZE stands before the [Quelta] section: the launcher does not read it; "
            "it takes BOOTSTRAP_SIZE=45, not 1\n");

  // Keys of a second section: an error where they would change the run.
  medium.Write("install/qelparam.ini", "[Quelta]\nWAIT_FOR_COMPLETION=FALSE\n[quelta]\nWAIT_FOR_COMPLETION=FALSE\n"
                                       "BOOTSTRAP_COMPS=x\n");
  Findings second;
  CheckParamFile(linux, *FindParamFile(linux), second);
  EXPECT_EQ(second.Lines(false),
            "qelparam.ini:3: warning: a second [quelta] section: the launcher reads only the first, at line 1\n"
            "qelparam.ini:4: warning: WAIT_FOR_COMPLETION stands in the second [Quelta] section, at line 3: the "
            "launcher does not read it\n"
            "qelparam.ini:5: error: BOOTSTRAP_COMPS stands in the second [Quelta] section, at line 3: the launcher "
            "does not read it; it takes BOOTSTRAP_COMPS=its default, not x\n");

  // A directory where the file belongs: the launcher takes it and reads
  // nothing from it.
  fs::remove(medium.install() + "/qelparam.ini");
  medium.Write("install/qelparam.ini/keep", "");
  medium.Write("qelparam.ini", "[Quelta]\nDISTRIBUTION=TRUE\n");
  Findings directory;
  const std::optional<ParamFile> found = FindParamFile(linux);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->name, "qelparam.ini");
  CheckParamFile(linux, *found, directory);
  EXPECT_EQ(directory.Lines(false),
            "qelparam.ini: error: not a file the launcher can read (a directory, or too big): the launcher takes it "
            "for the parameter file all the same, reads nothing from it and runs with the default of every setting\n");
}

TEST(Catalogues, TheBaseCatalogueIsNeededBesideEveryTranslation) {
  TempMedium medium;
  const Medium linux(medium.install(), MediumKind::Linux);
  Findings none;
  CheckCatalogues(linux, none);
  EXPECT_EQ(none.Lines(false),
            "resource/cons.nls: error: missing, and no translation beside it: the launcher ends with 1 at once\n");
  medium.Write("install/resource/cons_de.nls", std::string("S_QTI=x\0", 8));
  Findings translationOnly;
  CheckCatalogues(linux, translationOnly);
  EXPECT_EQ(translationOnly.Lines(false),
            "resource/cons.nls: error: missing: the logs show message keys instead of texts, and so does every "
            "message a translation leaves out\n");
  medium.Write("install/resource/cons.nls", std::string("S_QTI=y\0", 8));
  Findings both;
  CheckCatalogues(linux, both);
  EXPECT_EQ(both.Lines(false), "");
}

// The launcher's own catalogue takes, key by key, the values the launcher
// hands it: the checker's table of those values must say the same.
TEST(Catalogues, TheLaunchersArgumentsAreThoseOfItsOwnCatalogue) {
  std::ifstream in(std::string(QEL_SOURCE_DIR) + "/resource/cons.msg");
  ASSERT_TRUE(in);
  std::map<std::string, std::string> own;
  for (std::string line; std::getline(in, line);) {
    const size_t equals = line.find('=');
    if (line.empty() || line[0] == '#' || equals == std::string::npos) continue;
    const std::string conversions = messages::TemplateConversions(line.substr(equals + 1));
    if (!conversions.empty()) own[line.substr(0, equals)] = conversions;
  }
  EXPECT_EQ(LauncherArguments(), own);
}

std::string CatalogueFindings(const std::string& base, const std::string& german = "") {
  TempMedium medium;
  medium.Write("install/resource/cons.nls", base);
  if (!german.empty()) medium.Write("install/resource/cons_de.nls", german);
  Findings findings;
  CheckCatalogues(Medium(medium.install(), MediumKind::Linux), findings);
  return findings.Lines(false);
}

TEST(Catalogues, PlaceholdersAgainstTheLaunchersArguments) {
  using namespace std::string_literals;
  EXPECT_EQ(CatalogueFindings("S_STARTINSTALLERMSG=Starting %s...\0S_QTI=Q\0"s), "");
  EXPECT_EQ(CatalogueFindings("S_STARTINSTALLERMSG=Starting %-5s, 100%%\0"s), "");
  EXPECT_EQ(CatalogueFindings("S_STARTINSTALLERMSG=Starting %s (%s)\0"s),
            "resource/cons.nls: error: S_STARTINSTALLERMSG: placeholders %s %s where the launcher passes %s: the "
            "message shows a raw placeholder\n");
  EXPECT_EQ(CatalogueFindings("S_QTI=Setup %d\0"s),
            "resource/cons.nls: error: S_QTI: placeholders %d where the launcher passes none: the message shows a "
            "raw placeholder\n");
  EXPECT_EQ(CatalogueFindings("S_STARTINSTALLERMSG=%s\0"s, "S_STARTINSTALLERMSG=%s%n\0"s),
            "resource/cons_de.nls: error: S_STARTINSTALLERMSG: a placeholder the launcher never fills (%n, an unknown "
            "conversion, a \"*\" width): the message shows it as written\n");
}

TEST(Catalogues, ARecordOverTheLimitIsCut) {
  const std::string fits = "S_QTI=" + std::string(1023 - 6 - 1, 'x') + '\0';
  EXPECT_EQ(CatalogueFindings(fits), "");
  const std::string over = "S_QTI=" + std::string(1100, 'x') + " END" + '\0';
  EXPECT_EQ(CatalogueFindings(over),
            "resource/cons.nls: error: S_QTI: the record is longer than 1023 bytes: the launcher cuts it there and "
            "reads the rest as a record of its own\n"
            "resource/cons.nls: warning: a record has no \"=\": the launcher skips it\n");
}

TEST(ParamFileSearch, BesideTheLauncherThenOneLevelUp) {
  TempMedium medium;
  const Medium linux(medium.install(), MediumKind::Linux);
  EXPECT_FALSE(FindParamFile(linux));
  medium.Write("qelparam.ini", "[Quelta]\n");
  EXPECT_EQ(FindParamFile(linux)->name, "../qelparam.ini");
  medium.Write("install/qelparam.ini", "[Quelta]\n");
  EXPECT_EQ(FindParamFile(linux)->name, "qelparam.ini");
  EXPECT_EQ(FindParamFile(Medium(medium.install(), MediumKind::Windows))->name, "qelparam.ini");
}

TEST(NearNames, SlipsOfTheKeyboardOnly) {
  const std::vector<std::string> keys = {"BOOTSTRAP", "BOOTSTRAP_SIZE", "SOURCE", "CPU", "JRE_VERSION"};
  EXPECT_EQ(NearestName("BOOTSTARP", keys), "BOOTSTRAP");  // two letters swapped: one edit
  EXPECT_EQ(NearestName("BOOTSTRAPSIZE", keys), "BOOTSTRAP_SIZE");
  EXPECT_EQ(NearestName("SOURCES", keys), "SOURCE");
  EXPECT_EQ(NearestName("cpu", keys), "CPU");  // letter case costs nothing
  EXPECT_EQ(NearestName("CPY", keys), "CPU");
  EXPECT_EQ(NearestName("JRE_VERSON", keys), "JRE_VERSION");
  EXPECT_EQ(NearestName("XPY", keys), std::nullopt);    // two edits in three letters
  EXPECT_EQ(NearestName("BOTSRAPS", keys), std::nullopt);  // three edits
  EXPECT_EQ(NearestName("PRODUCT", keys), std::nullopt);
  EXPECT_EQ(EditDistance("ab", "ba"), 1u);
  EXPECT_EQ(EditDistance("", "abc"), 3u);
}

TEST(FindingsOutput, GroupedByFileInLineOrderWithTheStatusOfTheWorst) {
  Findings findings;
  EXPECT_EQ(findings.ExitStatus(), kExitClean);
  findings.Warning("qelparam.ini", 9, "nine");
  findings.Warning("resource/cons_de.nls", "de");
  EXPECT_EQ(findings.ExitStatus(), kExitWarnings);
  findings.Error("qelparam.ini", 2, "two");
  findings.Warning("qelparam.ini", "whole file");
  findings.Error("a.jar", "entry\x1b[2Jname");
  EXPECT_EQ(findings.ExitStatus(), kExitErrors);
  EXPECT_EQ(findings.Lines(false),
            "qelparam.ini: warning: whole file\n"
            "qelparam.ini:2: error: two\n"
            "qelparam.ini:9: warning: nine\n"
            "resource/cons_de.nls: warning: de\n"
            "a.jar: error: entry?[2Jname\n");
  EXPECT_EQ(findings.Lines(true), "qelparam.ini:2: error: two\na.jar: error: entry?[2Jname\n");
}

TEST(MediumPaths, EachSystemsPathsOnThisMachine) {
  const Medium windows("base", MediumKind::Windows);
  const Medium linux("base", MediumKind::Linux);
  EXPECT_EQ(windows.Join({"..", "stage", "", "Components"}), "..\\stage\\Components");
  EXPECT_EQ(linux.Join({"..", "stage", "Components"}), "../stage/Components");
  for (const char* absolute : {"C:\\jre", "c:jre", "\\\\server\\share", "/opt/jre"}) {
    EXPECT_TRUE(windows.IsAbsolute(absolute)) << absolute;
    EXPECT_FALSE(windows.Host(absolute)) << absolute;
  }
  EXPECT_TRUE(linux.IsAbsolute("/opt/jre"));
  EXPECT_FALSE(linux.IsAbsolute("C:\\jre"));
  EXPECT_FALSE(windows.IsAbsolute("..\\jre"));
  // A Windows medium's separators are separators on this machine too; on a
  // Linux medium a backslash is part of a name.
  const std::string sep(1, fs::path::preferred_separator);
  EXPECT_EQ(*windows.Host("..\\jre"), "base" + sep + ".." + sep + "jre");
  EXPECT_EQ(*linux.Host("a\\b/c"), "base" + sep + "a\\b/c");
  EXPECT_EQ(*linux.Host(""), "base");
}

TEST(MediumKinds, FromTheLauncherItHolds) {
  TempMedium medium;
  EXPECT_EQ(KindFromLauncher(medium.install()), std::nullopt);
  medium.Write("install/setup.exe", "");
  EXPECT_EQ(KindFromLauncher(medium.install()), MediumKind::Windows);
  medium.Write("install/setup", "");
  EXPECT_EQ(KindFromLauncher(medium.install()), std::nullopt);  // both: the option or this system decides
  fs::remove(fs::path(medium.install()) / "setup.exe");
  EXPECT_EQ(KindFromLauncher(medium.install()), MediumKind::Linux);
}

TEST(CommandLine, OptionsAndOneDirectory) {
  std::string error;
  std::optional<Options> options = ReadOptions({"--quiet", "--windows", "dir"}, error);
  ASSERT_TRUE(options);
  EXPECT_TRUE(options->quiet);
  EXPECT_EQ(options->kind, MediumKind::Windows);
  EXPECT_EQ(options->installDir, "dir");
  options = ReadOptions({"--linux"}, error);
  ASSERT_TRUE(options);
  EXPECT_EQ(options->kind, MediumKind::Linux);
  EXPECT_FALSE(options->installDir);
  EXPECT_FALSE(ReadOptions({"-q"}, error));
  EXPECT_EQ(error, "unknown option -q");
  EXPECT_FALSE(ReadOptions({"a", "b"}, error));
  EXPECT_TRUE(ReadOptions({"-"}, error));  // a directory named "-"
}

}  // namespace
}  // namespace qelcheck

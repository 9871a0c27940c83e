#include "runtime/java_runtime.h"

#include <optional>

#include "common/actions_log.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "platform/platform.h"
#include "test_support.h"

namespace runtime {
namespace {

using messages::UserText;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

class JavaRuntimeTest : public testing_support::LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    messages::RefreshConsoleHandle();
    WriteFile(tmp_ / (std::string("jre/bin/") + platform::kJavaConsoleExe), "");
    WriteFile(tmp_ / "jre/lib/rt.jar", "");
    WriteFile(tmp_ / (std::string("jdk/bin/") + platform::kJavaConsoleExe), "");
    WriteFile(tmp_ / "jdk/jre/lib/rt.jar", "");  // a kit's own runtime does not count
    jre_ = tmp_ / "jre";
    jdk_ = tmp_ / "jdk";
  }
  void TearDown() override {
    log_.reset();
    messages::ForgetConsoleHandle();
    LauncherTest::TearDown();
  }
  void Answer(const std::string& lines) { platform::TestOverrides().stdinData = lines; }
  // Number of times `text` was written to the console.
  size_t Shown(const std::string& text) const {
    size_t count = 0;
    for (size_t at = out_.find(text); at != std::string::npos; at = out_.find(text, at + 1)) ++count;
    return count;
  }
  void OpenLog(const std::string& timestamp = "T") {
    log_.reset();
    testing_support::LogInto(tmp_.path(), "installActions" + timestamp + ".log");
    log_.emplace(tmp_.path());
  }
  static params::JavaChoice Choice(const char* jdkOnly, const char* jreOnly) {
    params::JavaChoice choice;
    choice.useJdkOnly = jdkOnly;
    choice.useJreOnly = jreOnly;
    return choice;
  }
  std::optional<common::ActionsLogScope> log_;

  TempDir tmp_;
  std::string jre_;
  std::string jdk_;
  params::JavaChoice choice_;
};

TEST_F(JavaRuntimeTest, PromptRepeatsUntilJavaLauncherFound) {
  Answer("\n" + tmp_ / "nothing" + "\n" + jre_ + "\nnot read\n");
  EXPECT_EQ(PromptJavaLocation(choice_), jre_);
  EXPECT_EQ(out_.substr(0, 1 + UserText("S_SPECIFY_JRE_LOCATION").size()),
            "\n" + UserText("S_SPECIFY_JRE_LOCATION"));
  EXPECT_EQ(Shown(UserText("S_SPECIFY_VALID_JRE_LOCATION")), 2u);
  EXPECT_EQ(platform::TestOverrides().stdinData, "not read\n");
  Answer(jdk_ + platform::kPathSep + "\r\n");  // returned as typed
  EXPECT_EQ(PromptJavaLocation(choice_), jdk_ + platform::kPathSep);
}

TEST_F(JavaRuntimeTest, PromptKeysFollowTheChoiceSettings) {
  choice_.useJdkOnly = "TRUE";
  Answer("\n" + jdk_ + "\n");
  PromptJavaLocation(choice_);
  EXPECT_EQ(Shown(UserText("S_SPECIFY_JDK_ONLY_LOCATION")), 1u);
  EXPECT_EQ(Shown(UserText("S_SPECIFY_VALID_JDK_ONLY_LOCATION")), 1u);

  // Both set: the first prompt is the kit's, every repeat the runtime's.
  out_.clear();
  choice_.useJreOnly = "TRUE";
  Answer("\n\n" + jre_ + "\n");
  PromptJavaLocation(choice_);
  EXPECT_EQ(Shown(UserText("S_SPECIFY_JDK_ONLY_LOCATION")), 1u);
  EXPECT_EQ(Shown(UserText("S_SPECIFY_VALID_JRE_ONLY_LOCATION")), 2u);
  EXPECT_EQ(Shown(UserText("S_SPECIFY_VALID_JDK_ONLY_LOCATION")), 0u);

  out_.clear();
  choice_.useJdkOnly = "true";  // only exactly "TRUE" counts
  Answer(jre_ + "\n");
  PromptJavaLocation(choice_);
  EXPECT_EQ(Shown(UserText("S_SPECIFY_JRE_ONLY_LOCATION")), 1u);
}

TEST_F(JavaRuntimeTest, EndOfInputEndsThePrompt) {
  Answer("");
  EXPECT_EQ(PromptJavaLocation(choice_), std::nullopt);
  Answer("\n" + tmp_ / "nothing");  // a last line without its line end is still read
  EXPECT_EQ(PromptJavaLocation(choice_), std::nullopt);
  EXPECT_EQ(Shown(UserText("S_SPECIFY_VALID_JRE_LOCATION")), 2u);
}

TEST_F(JavaRuntimeTest, OverlongAnswerIsNoLocation) {
  // Redundant separators keep the path valid however long it grows; a line
  // longer than a location holds must still be refused, not cut.
  std::string longLine = jre_ + std::string(kMaxJavaLocationChars + 1 - jre_.size(), platform::kPathSep);
  Answer(longLine + "\n" + jre_ + "\n");
  EXPECT_EQ(PromptJavaLocation(choice_), jre_);
  EXPECT_EQ(Shown(UserText("S_SPECIFY_VALID_JRE_LOCATION")), 1u);

  std::string fits = longLine.substr(0, kMaxJavaLocationChars);
  Answer(fits + "\n");
  EXPECT_EQ(PromptJavaLocation(choice_), fits);
}

TEST_F(JavaRuntimeTest, NoLocationReportGoesToConsoleAndLog) {
  ReportNoJavaLocation(tmp_.path());
  EXPECT_EQ(out_, "\n\n" + UserText("S_JRELOC_ERROR_NOCONSOLE_WIN"));
  EXPECT_EQ(common::ActionsLogPath(), tmp_ / "installActionsTS.log");
  EXPECT_EQ(ReadFile(common::ActionsLogPath()), messages::LogText("S_JRELOC_ERROR_NOCONSOLE_WIN"));
}

TEST_F(JavaRuntimeTest, RuntimeLibraryInOwnLibOnly) {
  EXPECT_EQ(HasRuntimeLibrary(jre_), 1);
  EXPECT_EQ(HasRuntimeLibrary(jdk_), 0);
  WriteFile(tmp_ / "core/lib/core.jar", "");
  EXPECT_EQ(HasRuntimeLibrary(tmp_ / "core"), 1);
  EXPECT_EQ(HasRuntimeLibrary(tmp_ / "missing"), 0);
}

TEST_F(JavaRuntimeTest, ValidationAcceptsTheRightKind) {
  OpenLog();
  EXPECT_EQ(ValidateJavaHome(jre_, false, true, Choice("FALSE", "TRUE")), 0);
  EXPECT_EQ(ValidateJavaHome(jdk_, false, true, Choice("TRUE", "FALSE")), 0);
  // A trailing blank: not set.
  EXPECT_EQ(ValidateJavaHome(jre_, false, true, Choice("TRUE ", "FALSE")), 0);
  // A location from the parameter file is never tested.
  EXPECT_EQ(ValidateJavaHome(jre_, false, false, Choice("TRUE", "TRUE")), 0);
  EXPECT_EQ(out_, "");
}

TEST_F(JavaRuntimeTest, ValidationRejectsTheWrongKind) {
  struct Case {
    const char* jdkOnly;
    const char* jreOnly;
    std::string home;
    const char* key;
  } cases[] = {{"TRUE", "FALSE", jre_, "S_INVALID_JDK_HOME"},
               {"FALSE", "TRUE", jdk_, "S_INVALID_JRE_HOME"},
               {"TRUE", "TRUE", jre_, "S_INVALID_JDK_HOME"},  // both set: nothing passes
               {"TRUE", "TRUE", jdk_, "S_INVALID_JRE_HOME"}};
  for (const Case& c : cases) {
    out_.clear();
    OpenLog(c.jdkOnly + std::string(c.jreOnly) + c.key);
    // -jreLoc alone makes the test due.
    EXPECT_EQ(ValidateJavaHome(c.home, true, false, Choice(c.jdkOnly, c.jreOnly)), -1) << c.key;
    EXPECT_EQ(out_, "\n\n" + UserText(c.key));
    log_.reset();
    EXPECT_EQ(ReadFile(common::ActionsLogPath()), messages::LogText(c.key));
  }
}

TEST_F(JavaRuntimeTest, ImagesDirectoryAndInstalledHome) {
  const std::string sep(1, platform::kPathSep);
  const std::string bin = tmp_ / "home/bin";
  WriteFile(tmp_ / "home/bin/setup", "");  // the launcher's own directory exists
  WriteFile(tmp_ / "home/images/logo", "");
  EXPECT_EQ(FindImagesDir(bin), bin + sep + ".." + sep + "images");
  WriteFile(tmp_ / "home/bin/images/logo", "");
  EXPECT_EQ(FindImagesDir(bin), bin + sep + "images");
  EXPECT_EQ(FindImagesDir(tmp_ / "elsewhere"), "");

  std::string qti = "Q";
  std::string core = "C";
  ProbeInstalledHome(bin, qti, core);
  EXPECT_EQ(qti, "Q");
  EXPECT_EQ(core, "C");
  WriteFile(tmp_ / "home/jlib/installer.jar", "");
  ProbeInstalledHome(bin, qti, core);
  EXPECT_EQ(qti, "..");
  EXPECT_EQ(core, "..");
}

}  // namespace
}  // namespace runtime

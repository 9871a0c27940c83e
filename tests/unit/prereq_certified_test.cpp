#include "prereq/certified_versions.h"
#include "prereq_fixture.h"

namespace prereq_test {

using prereq::VersionCheck;

const char* const kNotice = "\nThe version of this operating system is not certified.\n";
const char* const kPrompt = "\nDo you want to continue? (y/n) [n]: ";
const char* const kYes =
    "The user has verified that the product can be installed on this platform. Continuing with the install...\n";
const char* const kNo =
    "The user has verified that the product cannot be installed on this platform. Quitting the install...\n";

TEST(CertifiedVersions, ChoiceListsAndMembership) {
  EXPECT_EQ(prereq::FormatChoiceList(""), "");
  EXPECT_EQ(prereq::FormatChoiceList("5.1"), "5.1");
  EXPECT_EQ(prereq::FormatChoiceList("6,6a"), "6 or 6a");
  EXPECT_EQ(prereq::FormatChoiceList(",5.0,,5.1,5.2,"), "5.0, 5.1 or 5.2");
  EXPECT_EQ(prereq::FormatChoiceList("5.0, 5.1"), "5.0 or  5.1");
  EXPECT_EQ(prereq::FormatChoiceList(std::string(600, 'a') + "," + std::string(600, 'b')).size(), 1023u);

  EXPECT_EQ(prereq::IsInList("5.0,5.1,5.2", "5.1"), 1);
  EXPECT_EQ(prereq::IsInList("5.0, 5.1", "5.1"), 0);
  EXPECT_EQ(prereq::IsInList("6A", "6a"), 0);
  EXPECT_EQ(prereq::IsInList(",,", ""), 0);
}

class CertifiedTest : public PrereqTest {
 protected:
  // A parameter file whose certified list is `list`, plus `more` lines.
  void Certified(const std::string& list, const std::string& more = "") {
    Param("[Certified Versions]\n" + std::string(platform::kOsFamilyName) + "=" + list + "\n" + more);
    state_.versionText = "6.1";
    OpenLog();
  }
};

TEST_F(CertifiedTest, CertifiedVersionNamesTheSections) {
  Certified("5.0,6.1");
  EXPECT_EQ(prereq::CheckCertifiedVersion(state_), VersionCheck::Certified);
  EXPECT_TRUE(InOrder(out_, {User("S_CHECKING_REQ_PREREQ"), User("S_CHECKING_FOR_OS_VERSION"), "5.0 or 6.1",
                             ".    Actual 6.1", User("S_SPASSED_ON_NEWLINE")}));
  EXPECT_EQ(state_.requiredSection, Section("required"));
  EXPECT_EQ(state_.optionalSection, Section("optional"));
  EXPECT_TRUE(InOrder(Log(), {"5.0 or 6.1", ".    Actual 6.1"}));
}

TEST_F(CertifiedTest, EmptyListRunsNothing) {
  Certified("");
  EXPECT_EQ(prereq::CheckCertifiedVersion(state_), VersionCheck::NoList);
  EXPECT_EQ(out_, User("S_NO_PREQ_RUN"));
}

TEST_F(CertifiedTest, IgnoredShowsTheFailureMessageAndNoPrompt) {
  Certified("5.0, 6.1", "CERTIFIED_VERSION_FAILURE_MESSAGE=Not for this system\nCERTIFIED_VERSION_WARN=TRUE\n");
  state_.ignore = true;
  EXPECT_EQ(prereq::CheckCertifiedVersion(state_), VersionCheck::Ignored);
  EXPECT_TRUE(InOrder(out_, {User("S_SFAILED_ON_NEWLINE"), "\n\nNot for this system"}));
  EXPECT_EQ(out_.find(kPrompt), std::string::npos);
  EXPECT_EQ(state_.requiredSection, "");
}

TEST_F(CertifiedTest, WarnSwitchMustBeExactlyTrue) {
  // The list goes through the profile reader (any case), the switch through
  // the exact reader.
  Param("[certified versions]\n" + std::string(platform::kOsFamilyName) + "=5.0\ncertified_version_warn=TRUE\n"
        "[Certified Versions]\nCERTIFIED_VERSION_WARN=true\n");
  state_.versionText = "6.1";
  OpenLog();
  Stdin("\n");
  EXPECT_EQ(prereq::CheckCertifiedVersion(state_), VersionCheck::Stop);
  EXPECT_EQ(out_.find(kNotice), std::string::npos);
  EXPECT_TRUE(InOrder(out_, {"The installer is exiting. The log of this run is " + common::ActionsLogPath(),
                             User("S_EXIT_CONTINUE")}));
  EXPECT_TRUE(InOrder(Log(), {common::ActionsLogPath(), messages::LogText("S_EXIT_CONTINUE")}));
}

TEST_F(CertifiedTest, PromptAnswers) {
  struct Case {
    const char* input;
    VersionCheck result;
    int prompts;
  } cases[] = {
      {"yes\n", VersionCheck::Accepted, 1}, {"Y", VersionCheck::Accepted, 1},
      {"maybe\n y\nyes\n", VersionCheck::Accepted, 3}, {"no\n", VersionCheck::Stop, 1},
      {"N\n", VersionCheck::Stop, 1}, {"\n", VersionCheck::Stop, 1},
      {"x\n", VersionCheck::Stop, 2},  // the end of input answers no
  };
  for (const Case& c : cases) {
    out_.clear();
    Certified("5.0", "CERTIFIED_VERSION_WARN=TRUE\n");
    Stdin(c.input);
    EXPECT_EQ(prereq::CheckCertifiedVersion(state_), c.result) << c.input;
    size_t prompts = 0;
    for (size_t at = out_.find(kPrompt); at != std::string::npos; at = out_.find(kPrompt, at + 1)) ++prompts;
    EXPECT_EQ(prompts, size_t(c.prompts)) << c.input;
    EXPECT_TRUE(InOrder(out_, {"\n\n", kNotice, kPrompt, c.result == VersionCheck::Accepted ? kYes : kNo}))
        << c.input;
    EXPECT_EQ(state_.requiredSection, "");
  }
  EXPECT_TRUE(InOrder(Log(), {kNotice, kPrompt, kNo}));
}

TEST_F(CertifiedTest, NoticeNamesTheLocationAndSilentStopsWithoutPrompt) {
  Certified("5.0", "CERTIFIED_VERSION_WARN=TRUE\nCERTIFIED_VERSION_LOCATION=http://x/%s\n");
  state_.silent = true;
  Stdin("y\n");
  EXPECT_EQ(prereq::CheckCertifiedVersion(state_), VersionCheck::Stop);
  EXPECT_TRUE(InOrder(out_, {"\nThe version of this operating system is not certified.Check 'http://x/%s' for a "
                             "list of certified versions.\n",
                             "The installer is exiting."}));
  EXPECT_EQ(out_.find(kPrompt), std::string::npos);
  EXPECT_EQ(out_.find(User("S_EXIT_CONTINUE")), std::string::npos);
}

}  // namespace prereq_test

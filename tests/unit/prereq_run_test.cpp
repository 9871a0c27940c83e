#include "prereq/prereq_run.h"
#include "prereq_fixture.h"

namespace prereq_test {

struct Flags {
  bool silent = false, execute = false, ignore = false, noConsole = false;
  int platform = 0;
};

class RunTest : public PrereqTest {
 protected:
  // 0 when the launch goes on, -1 when it ends.
  int Run(const Flags& f) {
    const prereq::PrereqOutcome outcome = prereq::RunPrereqs(
        {state_.paramFile, dir_.path(), f.silent, f.execute, f.ignore, f.noConsole, f.platform != 0});
    return outcome == prereq::PrereqOutcome::GoOn ? 0 : -1;
  }
  bool Has(const std::string& text) const { return out_.find(text) != std::string::npos; }
  std::string Certified(const std::string& list) {
    return "[Certified Versions]\n" + std::string(platform::kOsFamilyName) + "=" + list +
           "\nCERTIFIED_VERSION_WARN=TRUE\n";
  }
  static constexpr const char* kSlowCpu = "[Generic Prereqs]\nCPU=5000\n";
};

TEST_F(RunTest, NothingToCheck) {
  Param("[Quelta]\nX=1\n");
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(out_, "\n");
  EXPECT_EQ(Log(), "\n");

  out_.clear();
  EXPECT_EQ(Run({.platform = 1}), 0);  // empty certified list
  EXPECT_EQ(out_, User("S_NO_PREQ_RUN") + "\n");

  out_.clear();
  // Without a list nothing failed: nothing is said to be ignored.
  EXPECT_EQ(Run({.ignore = true, .platform = 1}), 0);
  EXPECT_EQ(out_, User("S_NO_PREQ_RUN") + "\n");
}

TEST_F(RunTest, FailedGenericPassAsksTheUser) {
  Param(kSlowCpu + Certified("6.1"));
  Stdin("y\n");
  EXPECT_EQ(Run({.platform = 1}), 0);
  EXPECT_TRUE(InOrder(out_, {User("S_SFAILED"), User("S_FAILED_PRE_REQ_1"), User("S_FAILED_PRE_REQ_2") + "\n\n",
                             User("S_CONTINUE"), User("S_CONTINUE_YES"), User("S_IGNORE_REQ_SYS_PREREQ")}));
  EXPECT_FALSE(Has(User("S_CHECKING_REQ_PREREQ")));  // a yes skips the other passes
  EXPECT_TRUE(InOrder(Log(), {messages::LogText("S_FAILED_PRE_REQ_2") + messages::LogText("S_CONTINUE")}));

  for (const char* input : {"n\n", "\n", "x\nN\n", ""}) {
    out_.clear();
    Stdin(input);
    EXPECT_EQ(Run({}), -1) << input;
    EXPECT_TRUE(InOrder(out_, {User("S_CONTINUE"), User("S_CONTINUE_NO"),
                               "The log of this run is " + common::ActionsLogPath()}))
        << input;
    EXPECT_EQ(out_.find(User("S_CONTINUE")) != out_.rfind(User("S_CONTINUE")), input[0] == 'x') << input;
  }
  EXPECT_TRUE(InOrder(Log(), {messages::LogText("S_CONTINUE_NO"), "The log of this run is"}));
}

TEST_F(RunTest, SilentAndNoConsoleStopWithoutPrompt) {
  Param(kSlowCpu);
  for (Flags flags : {Flags{.silent = true}, Flags{.noConsole = true}}) {
    out_.clear();
    Stdin("y\n");
    EXPECT_EQ(Run(flags), -1);
    EXPECT_TRUE(InOrder(out_, {User("S_FAILED_PRE_REQ_2"), "The installer is exiting."}));
    EXPECT_FALSE(Has(User("S_CONTINUE")));
  }
}

TEST_F(RunTest, IgnoreGoesOnThroughEveryPass) {
  Param(kSlowCpu + Certified("6.1") + "[" + Section("required") + "]\nCPU=6000\n[" + Section("optional") +
        "]\nCPU=7000\nCPU_FAILURE_MESSAGE=" + User("S_FAILED_PATCHES_1") + "\n");
  EXPECT_EQ(Run({.ignore = true, .platform = 1}), 0);
  EXPECT_TRUE(InOrder(out_, {"at least 5000", User("S_IGNORE_REQ_SYS_PREREQ"), "at least 6000",
                             User("S_IGNORE_REQ_SYS_PREREQ"), "at least 7000", User("S_IGNORE_PATCH_SYS_PREREQ")}));
  EXPECT_FALSE(Has(User("S_PRE_REQREQ_PASSED")));
  EXPECT_EQ(out_.back(), '\n');
}

TEST_F(RunTest, ExecuteEndsAfterTheGenericPass) {
  Param("[Generic Prereqs]\nCPU=100\n" + Certified("6.1"));
  Stdin("\n");
  EXPECT_EQ(Run({.execute = true, .platform = 1}), -1);
  EXPECT_TRUE(InOrder(out_, {User("S_SPASSED"), "The installer is exiting.", User("S_EXIT_CONTINUE")}));
  EXPECT_FALSE(Has(User("S_CHECKING_REQ_PREREQ")));
  EXPECT_EQ(Log().find(messages::LogText("S_EXIT_CONTINUE")), std::string::npos);
  EXPECT_TRUE(platform::TestOverrides().stdinData->empty());  // the key press was read

  out_.clear();
  EXPECT_EQ(Run({.silent = true, .execute = true}), -1);
  EXPECT_FALSE(Has(User("S_EXIT_CONTINUE")));
}

TEST_F(RunTest, OptionalPassOutcome) {
  const std::string base = "[Generic Prereqs]\n" + Certified("6.1") + "[" + Section("required") + "]\nCPU=1\n[" +
                           Section("optional") + "]\nCPU=7000\n";
  Param(base);
  Stdin("y\n");
  EXPECT_EQ(Run({.platform = 1}), 0);
  EXPECT_TRUE(InOrder(out_, {User("S_PRE_REQREQ_PASSED"), "at least 7000", User("S_FAILED_OPTIONAL"),
                             User("S_CONTINUE"), User("S_CONTINUE_YES")}));
  EXPECT_FALSE(Has(User("S_FAILED_PRE_REQ_1")));
  EXPECT_FALSE(Has(User("S_IGNORE_REQ_SYS_PREREQ")));

  Param(base + "CPU_FAILURE_MESSAGE=Faster, please\n");
  out_.clear();
  Stdin("y\n");
  EXPECT_EQ(Run({.platform = 1}), 0);
  EXPECT_TRUE(InOrder(out_, {"\n\nFaster, please", User("S_CONTINUE")}));
  EXPECT_FALSE(Has(User("S_FAILED_OPTIONAL")));

  out_.clear();
  EXPECT_EQ(Run({.ignore = true, .platform = 1}), 0);
  EXPECT_TRUE(Has(User("S_IGNORE_OPT_SYS_PREREQ")));
}

TEST_F(RunTest, AcceptedVersionSkipsTheVersionSections) {
  Param(Certified("5.0") + "[" + Section("required") + "]\nCPU=9000\n[" + Section("optional") + "]\nCPU=9000\n");
  Stdin("y\n");
  EXPECT_EQ(Run({.platform = 1}), 0);
  EXPECT_TRUE(InOrder(out_, {"The user has verified that the product can be installed", User("S_PRE_REQREQ_PASSED")}));
  EXPECT_FALSE(Has("at least 9000"));
}

TEST_F(RunTest, DispatchByPassAndMode) {
  platform::TestOverrides().sysInfo.displayColorBits = 8;
  Param("[Generic Prereqs]\nMIN_DISPLAY_COLORS=256\nCPU=\nFOO=1\nCPU=5000\nSWAP_SPACE=1\n" + Certified("6.1") +
        "[" + Section("required") + "]\nMIN_DISPLAY_COLORS=256\nSWAP_SPACE=1\nSERVICE_PACK=1\n");
  Stdin("n\n");
  EXPECT_EQ(Run({.platform = 1}), -1);
  // A failed CPU check stays failed after a passed swap check.
  EXPECT_TRUE(InOrder(out_, {"at least 256 colors", "at least 5000", User("S_SFAILED"), "swap space: must be",
                             User("S_SPASSED"), User("S_FAILED_PRE_REQ_1")}));
  EXPECT_EQ(out_.find("colors"), out_.rfind("colors"));

  out_.clear();
  EXPECT_EQ(Run({.ignore = true, .platform = 1}), 0);
  EXPECT_EQ(out_.find("colors"), out_.rfind("colors"));  // only in the generic pass
  EXPECT_EQ(out_.find("swap space"), out_.rfind("swap space"));
  EXPECT_TRUE(InOrder(out_, {User("S_SPASSED_ON_NEWLINE"), User("S_CHECKING_FOR_SERVICE_PACK")}));

  out_.clear();
  EXPECT_EQ(Run({.silent = true, .ignore = true}), 0);
  EXPECT_FALSE(Has("colors"));
}

}  // namespace prereq_test

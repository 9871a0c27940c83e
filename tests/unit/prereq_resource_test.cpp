#include "prereq/resource_checks.h"
#include "prereq_fixture.h"

namespace prereq_test {

class ResourceTest : public PrereqTest {
 protected:
  void SetUp() override {
    PrereqTest::SetUp();
    Param("[" + Section("required") + "]\nCPU_FAILURE_MESSAGE=Need a faster CPU\n[" + Section("optional") +
          "]\nCPU_FAILURE_MESSAGE=ignored\nSERVICE_PACK_FAILURE_MESSAGE=Install the service pack\n");
    OpenLog();
  }
  platform::SysInfoOverrides& facts() { return platform::TestOverrides().sysInfo; }
  void Version(int major, const std::string& servicePack) {
    state_.version = platform::OsVersion{major, 0, servicePack};
  }
  // Runs a check on a fresh pass and tells whether it failed.
  bool Fails(void (*check)(const std::string&, prereq::PrereqState&), const std::string& value) {
    out_.clear();
    state_.passResult = 0;
    check(value, state_);
    return state_.passResult == 1;
  }
};

TEST_F(ResourceTest, ServicePack) {
  Version(5, "Service Pack 6");
  EXPECT_TRUE(Fails(prereq::CheckServicePack, "6a,7"));
  EXPECT_EQ(out_, User("S_CHECKING_FOR_SERVICE_PACK") + "6a or 7" + ".    Actual Service Pack 6" + User("S_SFAILED"));
  EXPECT_FALSE(Fails(prereq::CheckServicePack, "5"));  // a minimum
  EXPECT_FALSE(Fails(prereq::CheckServicePack, "6,7"));
  EXPECT_TRUE(Fails(prereq::CheckServicePack, "6a"));

  facts().machineKeys = std::vector<std::string>{"software\\microsoft\\windows nt\\currentversion\\hotfix\\q246009"};
  EXPECT_TRUE(Fails(prereq::CheckServicePack, "6a"));  // the hotfix counts on version 4 only
  Version(4, "Service Pack 6");
  EXPECT_FALSE(Fails(prereq::CheckServicePack, "6a"));
  EXPECT_NE(out_.find("Actual Service Pack 6a"), std::string::npos);
  EXPECT_FALSE(Fails(prereq::CheckServicePack, "6"));

  // Numbers compare as numbers, what follows them byte by byte.
  struct Minimum {
    const char* actual;
    const char* required;
    bool fails;
  } minimums[] = {{"Service Pack 10", "9", false}, {"Service Pack 9", "10", true},
                  {"Service Pack 10", "10", false}, {"Service Pack 10", "11", true},
                  {"Service Pack 6a", "6", false}, {"Service Pack 6", "6a", true},
                  {"Service Pack 6b", "6a", false}, {"Service Pack 7", "6a", false},
                  {"Service Pack x", "6", false}};
  for (const Minimum& m : minimums) {
    Version(5, m.actual);
    EXPECT_EQ(Fails(prereq::CheckServicePack, m.required), m.fails) << m.actual << " / " << m.required;
  }
  Version(5, "Service Pack");
  EXPECT_TRUE(Fails(prereq::CheckServicePack, "1"));
  Version(6, "");
  EXPECT_TRUE(Fails(prereq::CheckServicePack, "1"));
  EXPECT_NE(out_.find(".    Actual none"), std::string::npos);
  EXPECT_TRUE(InOrder(Log(), {"6a or 7", "Actual Service Pack 6", messages::LogText("S_SFAILED")}));
}

TEST_F(ResourceTest, FailureMessagesComeFromTheVersionSections) {
  Version(6, "");
  state_.requiredSection = Section("required");
  state_.optionalSection = Section("optional");
  EXPECT_TRUE(Fails(prereq::CheckServicePack, "1"));
  facts().processorMhz = std::optional<uint32_t>(100);
  EXPECT_TRUE(Fails(prereq::CheckCpuSpeed, "500"));
  EXPECT_EQ(state_.failureText, "\n\nInstall the service pack\n\nNeed a faster CPU");

  state_.requiredSection = state_.optionalSection = "";  // the generic pass
  state_.failureText.clear();
  EXPECT_TRUE(Fails(prereq::CheckCpuSpeed, "500"));
  EXPECT_EQ(state_.failureText, "");
}

TEST_F(ResourceTest, FailureTextIsCutAt4095) {
  prereq::ApplyCheckFailure(state_, std::string(3000, 'a'));
  prereq::ApplyCheckFailure(state_, std::string(3000, 'b'));
  prereq::ApplyCheckFailure(state_, "c");
  EXPECT_EQ(state_.failureText.size(), 4095u);
  EXPECT_EQ(state_.failureText.back(), 'b');
  std::string log = Log();
  EXPECT_NE(log.find("cut after 4095 characters"), std::string::npos);
  EXPECT_EQ(log.find("cut after"), log.rfind("cut after"));  // noted once
}

TEST_F(ResourceTest, DisplayColors) {
  struct Case {
    int depth;
    const char* value;
    int verdict;  // 1 failed, 0 passed, -1 none
  } cases[] = {{8, "256", 0},      {8, "65536", 1}, {16, "65536", 0}, {16, "65537", 1},
               {32, "1e30", 0},    {24, "abc", -1}, {24, "0", -1},    {0, "2", 1},
               {0, "1", 0},        {0, "1.5", 1},   {1, "2", 0},      {1, "3", 1}};
  for (const Case& c : cases) {
    facts().displayColorBits = c.depth;
    bool failed = Fails(prereq::CheckDisplayColors, c.value);
    EXPECT_EQ(failed, c.verdict == 1) << c.depth << " " << c.value;
    bool verdict = out_.find(User("S_SPASSED")) != std::string::npos || out_.find(User("S_SFAILED")) != std::string::npos;
    EXPECT_EQ(verdict, c.verdict != -1) << c.depth << " " << c.value;
  }
  facts().displayColorBits = 16;
  Fails(prereq::CheckDisplayColors, "65536");
  EXPECT_EQ(out_, "Checking the monitor: must be configured to display at least 65536 colors or higher.    Actual 65536" +
                      User("S_SPASSED"));

  EXPECT_EQ(prereq::ColorCountText(4), "16");
  EXPECT_EQ(prereq::ColorCountText(15), "32768");
  EXPECT_EQ(prereq::ColorCountText(64), "18446744073709551616");
  EXPECT_EQ(prereq::ColorCountText(1), "2.000000");
  EXPECT_EQ(prereq::ColorCountText(0), "1.000000");
  EXPECT_EQ(prereq::ColorCountText(40), "1099511627776");
}

TEST_F(ResourceTest, CpuSpeed) {
  facts().processorMhz = std::optional<uint32_t>(1995);
  EXPECT_TRUE(Fails(prereq::CheckCpuSpeed, "2000"));
  EXPECT_FALSE(Fails(prereq::CheckCpuSpeed, "1995MHz"));
  EXPECT_FALSE(Fails(prereq::CheckCpuSpeed, "abc"));
  EXPECT_EQ(out_, "Checking the processor speed: must be at least abc MHz.    Actual 1995 MHz");
  EXPECT_TRUE(Fails(prereq::CheckCpuSpeed, "99999999999"));  // held to the int range, not wrapped

  facts().processorMhz = std::optional<uint32_t>();
  EXPECT_EQ(prereq::GetProcessorMhz(), 0u);
  EXPECT_TRUE(Fails(prereq::CheckCpuSpeed, "1"));
  EXPECT_NE(out_.find("Actual 0 MHz"), std::string::npos);
}

TEST_F(ResourceTest, PagingFileSums) {
  using prereq::SumPagingFileMaxima;
  EXPECT_EQ(SumPagingFileMaxima("C:\\pagefile.sys 1024 2048\0D:\\pagefile.sys 512 1024\0\0"s), 3072);
  EXPECT_EQ(SumPagingFileMaxima("swap:/dev/sda2 0 2048\0swap:/swapfile 0 100\0\0"s), 2148);
  EXPECT_EQ(SumPagingFileMaxima("C:\\pagefile.sys 1024\0D:\\x\0E:\0\0"s), 0);  // missing sizes count 0
  EXPECT_EQ(SumPagingFileMaxima("C:\\pagefile.sys 0 0\0\0"s), 0);
  EXPECT_EQ(SumPagingFileMaxima("::C::\\p 1 -5\0"s), -5);  // empty pieces dropped
  EXPECT_EQ(SumPagingFileMaxima(""), 0);
}

TEST_F(ResourceTest, SwapSpace) {
  Version(6, "");
  for (const char* bad : {"0", "-5", "abc"}) {
    out_.clear();
    EXPECT_EQ(prereq::CheckSwapSpace(bad, state_), 1) << bad;
    EXPECT_EQ(out_, User("S_INVALID_SWAP_SPACE_REQ") + User("S_SFAILED"));
  }
  out_.clear();
  EXPECT_EQ(prereq::CheckSwapSpace("2048", state_), 0);
  EXPECT_EQ(out_, "Checking the swap space: must be at least 2048 MB.    Actual 2048 MB" + User("S_SPASSED"));
  out_.clear();
  EXPECT_EQ(prereq::CheckSwapSpace("2048.5", state_), 1);
  EXPECT_EQ(out_, "\nThe swap space is 2048 MB; at least 2048.5 MB are required.\n" + User("S_SFAILED"));

  facts().pagingFiles = platform::PagingFilesFact{platform::kRegOk, std::string(1025, 'x')};
  out_.clear();
  EXPECT_EQ(prereq::CheckSwapSpace("1", state_), 1);
  EXPECT_EQ(out_, User("S_REGISTRY_KEY_TOO_LARGE") + User("S_SFAILED"));
  facts().pagingFiles = platform::PagingFilesFact{platform::kRegNotFound, ""};
  out_.clear();
  EXPECT_EQ(prereq::CheckSwapSpace("1", state_), 1);
  EXPECT_EQ(out_, User("S_FAILED_TO_OPEN_REGISTRY") + User("S_SFAILED"));

  // Automatic sizes: from version 6 on the free page file decides.
  facts().pagingFiles = platform::PagingFilesFact{platform::kRegOk, "C:\\pagefile.sys 0 0\0\0"s};
  facts().availablePageFileBytes = 3000ull * 1048576 + 1048575;
  EXPECT_EQ(prereq::CheckSwapSpace("3000", state_), 0);
  EXPECT_EQ(prereq::CheckSwapSpace("3001", state_), 1);
  Version(5, "");
  out_.clear();
  EXPECT_EQ(prereq::CheckSwapSpace("1", state_), 1);
  EXPECT_NE(out_.find("The swap space is 0 MB"), std::string::npos);
}

}  // namespace prereq_test

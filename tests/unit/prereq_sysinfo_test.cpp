#include "platform/platform.h"
#include "platform/shared/sysinfo_text.h"
#include "prereq_fixture.h"

namespace prereq_test {

TEST(PrereqSysinfo, LinuxTextsGiveTheFacts) {
  int major = -1, minor = -1;
  platform::KernelVersionFromRelease("6.1.0-18-amd64", major, minor);
  EXPECT_EQ(major * 100 + minor, 601);
  platform::KernelVersionFromRelease("5", major, minor);
  EXPECT_EQ(major * 100 + minor, 500);

  EXPECT_EQ(platform::MhzFromMaxFreqKhz("3400000\n").value_or(0), 3400u);
  EXPECT_FALSE(platform::MhzFromMaxFreqKhz("n/a"));
  EXPECT_EQ(platform::MhzFromCpuinfo("processor\t: 0\ncpu MHz\t\t: 2495.998\ncpu MHz\t\t: 800.0\n").value_or(0), 2495u);
  EXPECT_FALSE(platform::MhzFromCpuinfo("processor\t: 0\n"));

  EXPECT_EQ(platform::PagingFilesFromProcSwaps(
                "Filename\tType\tSize\tUsed\tPriority\n/dev/sda2  partition\t2097148\t0\t-2\n/swap\\040file file 1048576 0 -3\n"),
            "swap:/dev/sda2 0 2047\0swap:/swap\\040file 0 1024\0\0"s);
  EXPECT_EQ(platform::PagingFilesFromProcSwaps("Filename\tType\tSize\tUsed\tPriority\n"), "\0"s);
}

TEST_F(PrereqTest, FakedFactsReplaceTheSystem) {
  auto& facts = platform::TestOverrides().sysInfo;
  facts.machineKeys = std::vector<std::string>{"SOFTWARE\\A"};
  EXPECT_TRUE(platform::MachineKeyExists("software\\a"));
  EXPECT_FALSE(platform::MachineKeyExists("SOFTWARE\\B"));
  std::string data = "old";
  facts.pagingFiles = platform::PagingFilesFact{platform::kRegOk, "12345"};
  EXPECT_EQ(platform::QueryPagingFiles(data, 4), platform::kRegMoreData);
  EXPECT_EQ(data, "old");
  EXPECT_EQ(platform::QueryPagingFiles(data, 5), platform::kRegOk);
  EXPECT_EQ(data, "12345");

  // Without fakes the hotfix key comes from the registry store.
  facts.machineKeys.reset();
  platform::RegKey software, created;
  ASSERT_EQ(platform::RegOpenKey("SOFTWARE", platform::RegAccess::All, software), platform::kRegOk);
  ASSERT_EQ(platform::RegCreateKey(software, "Hotfix", "", created), platform::kRegOk);
  EXPECT_TRUE(platform::MachineKeyExists("SOFTWARE\\HOTFIX"));
  EXPECT_FALSE(platform::MachineKeyExists("SOFTWARE\\Q246009"));
}

}  // namespace prereq_test

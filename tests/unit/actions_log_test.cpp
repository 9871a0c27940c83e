#include "runtime/actions_log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "common/process_state.h"
#include "platform/platform.h"
#include "platform/shared/locale_name.h"
#include "test_support.h"

namespace runtime {
namespace {

using testing_support::LauncherTest;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kSep(1, platform::kPathSep);

class ActionsLogTest : public LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    setenv("QEL_REGISTRY_ROOT", (dir_ / "registry").c_str(), 1);
  }
  void TearDown() override {
    CloseActionsLog();
    unsetenv("QEL_REGISTRY_ROOT");
    LauncherTest::TearDown();
  }
  void SetValue(const std::string& key, const std::string& data) {
    WriteFile(dir_ / "registry/HKEY_LOCAL_MACHINE/" + key + "/inst_loc", data);
  }
  std::string LogName() const { return common::Process().actionsLogName; }
  TempDir dir_;
};

TEST_F(ActionsLogTest, FallbackDirectoryWithoutInventory) {
  OpenActionsLog(dir_.path(), "TS", LogName());
  EXPECT_EQ(ActionsLogPath(), dir_.path() + kSep + "installActionsTS.log");
  WriteActionsLog("one\n");
  CloseActionsLog();
  WriteActionsLog("dropped\n");
  OpenActionsLog(dir_.path(), "TS", LogName());
  WriteActionsLog("two\n");
  EXPECT_EQ(ReadFile(ActionsLogPath()), "one\ntwo\n");
  EXPECT_FALSE(platform::PathExists(dir_ / "logs"));
}

TEST_F(ActionsLogTest, InventoryLogsDirectoryIsCreated) {
  SetValue("SOFTWARE/Quelta", dir_ / "inv" + "\n");
  common::Process().actionsLogName = kSep + "DetachHome";
  OpenActionsLog(dir_ / "scratch", "TS", LogName());
  EXPECT_EQ(ActionsLogPath(), dir_ / "inv" + kSep + "logs" + kSep + "DetachHomeTS.log");
  EXPECT_TRUE(platform::IsDirectory(dir_ / "inv" + kSep + "logs"));
}

TEST_F(ActionsLogTest, SecondKeyOnlyWhenTheFirstCannotBeOpened) {
  SetValue("SOFTWARE/WOW6432Node/QUELTA", dir_ / "wow");
  EXPECT_EQ(ReadInventoryLocation(), dir_ / "wow");
  // The first key exists without the value: no fallback to the second.
  WriteFile(dir_ / "registry/HKEY_LOCAL_MACHINE/SOFTWARE/QUELTA/other", "x");
  EXPECT_EQ(ReadInventoryLocation(), "");
}

TEST_F(ActionsLogTest, UnusableInventoryValues) {
  SetValue("SOFTWARE/QUELTA", std::string(1025, 'x'));
  EXPECT_EQ(ReadInventoryLocation(), "");
  SetValue("SOFTWARE/QUELTA", std::string("\x01\x02\x03\x04", 4));
  EXPECT_EQ(ReadInventoryLocation(), "");
  SetValue("SOFTWARE/QUELTA", std::string("/inv\0garbage", 12));
  EXPECT_EQ(ReadInventoryLocation(), "/inv");
}

TEST_F(ActionsLogTest, PrereqLogLocationWinsAndUnwritableMeansNoLog) {
  SetValue("SOFTWARE/QUELTA", dir_ / "inv");
  common::Process().prereqLogLocation = dir_ / "pl";
  OpenActionsLog(dir_.path(), "TS", LogName());
  EXPECT_EQ(ActionsLogPath(), dir_ / "pl" + kSep + "logs" + kSep + "installActionsTS.log");
  CloseActionsLog();

  WriteFile(dir_ / "ro/keep", "");
  chmod((dir_ / "ro").c_str(), 0555);
  if (access((dir_ / "ro").c_str(), W_OK) == 0) GTEST_SKIP() << "permissions do not bind this user";
  common::Process().prereqLogLocation = dir_ / "ro";
  OpenActionsLog(dir_.path(), "TS", LogName());
  EXPECT_EQ(ActionsLogPath(), "");
  WriteActionsLog("vanishes");
}

TEST_F(ActionsLogTest, TimingLogBesideTheActionsLog) {
  OpenTimingLog("TS");
  EXPECT_EQ(TimingLogPath(), "");
  OpenActionsLog(dir_.path(), "TS", LogName());
  OpenTimingLog("TS");
  EXPECT_EQ(TimingLogPath(), dir_.path() + kSep + "launcherTimingTS.log");
  WriteTimingLog("step 12 ms\n");
  CloseTimingLog();
  EXPECT_EQ(ReadFile(dir_.path() + kSep + "launcherTimingTS.log"), "step 12 ms\n");
}

TEST(LocaleNameTest, WindowsAbbreviationsAndPosixValues) {
  using platform::LocaleNameFromPosixValue;
  using platform::LocaleNameFromWindowsAbbrev;
  EXPECT_EQ(LocaleNameFromWindowsAbbrev("ENU", "USA"), "en_US");
  EXPECT_EQ(LocaleNameFromWindowsAbbrev("JPN", "JPN"), "ja_JP");
  EXPECT_EQ(LocaleNameFromWindowsAbbrev("CHS", "CHN"), "zh_CN");
  EXPECT_EQ(LocaleNameFromWindowsAbbrev("DES", "CHE"), "de_CN");
  EXPECT_EQ(LocaleNameFromPosixValue("de_CH.UTF-8"), "de_CH");
  EXPECT_EQ(LocaleNameFromPosixValue("fr_FR@euro"), "fr_FR");
  EXPECT_EQ(LocaleNameFromPosixValue("ja"), "ja_");
  EXPECT_EQ(LocaleNameFromPosixValue("C.UTF-8"), "_");
}

}  // namespace
}  // namespace runtime

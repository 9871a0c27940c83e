#include "common/actions_log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "platform/platform.h"
#include "platform/shared/locale_name.h"
#include "runtime/inventory.h"
#include "test_support.h"

namespace runtime {
namespace {

using common::ActionsLogPath;
using common::ActionsLogScope;
using common::WriteActionsLog;
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
    unsetenv("QEL_REGISTRY_ROOT");
    LauncherTest::TearDown();
  }
  void SetValue(const std::string& key, const std::string& data) {
    WriteFile(dir_ / "registry/HKEY_LOCAL_MACHINE/" + key + "/inst_loc", data);
  }
  TempDir dir_;
};

TEST_F(ActionsLogTest, TheScratchDirectoryWithoutAFixedPlaceAndOnlyWhileAScopeIsOpen) {
  ASSERT_EQ(FixedLogDir(""), "");  // no inventory
  {
    ActionsLogScope log(dir_.path());
    EXPECT_EQ(ActionsLogPath(), dir_.path() + kSep + "installActionsTS.log");
    WriteActionsLog("one\n");
    {
      ActionsLogScope inner(dir_ / "elsewhere");  // shares the open file
      WriteActionsLog("two\n");
    }
    WriteActionsLog("three\n");
  }
  WriteActionsLog("dropped\n");
  { ActionsLogScope again(ActionsLogScope::LastFile{}); WriteActionsLog("four\n"); }
  EXPECT_EQ(ReadFile(ActionsLogPath()), "one\ntwo\nthree\nfour\n");
  EXPECT_FALSE(platform::PathExists(dir_ / "elsewhere"));
  EXPECT_FALSE(platform::PathExists(dir_ / "logs"));
}

TEST_F(ActionsLogTest, InventoryLogsDirectoryIsCreated) {
  SetValue("SOFTWARE/Quelta", dir_ / "inv" + "\n");
  ASSERT_EQ(FixedLogDir(""), dir_ / "inv" + kSep + "logs");
  testing_support::LogInto(FixedLogDir(""), "DetachHomeTS.log");
  ActionsLogScope log(dir_ / "scratch");
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

TEST_F(ActionsLogTest, ALogBaseWinsOverTheInventoryAndUnwritableMeansNoLog) {
  SetValue("SOFTWARE/QUELTA", dir_ / "inv");
  EXPECT_EQ(FixedLogDir(dir_ / "pl"), dir_ / "pl" + kSep + "logs");

  WriteFile(dir_ / "ro/keep", "");
  chmod((dir_ / "ro").c_str(), 0555);
  if (access((dir_ / "ro").c_str(), W_OK) == 0) GTEST_SKIP() << "permissions do not bind this user";
  testing_support::LogInto(FixedLogDir(dir_ / "ro"), "installActionsTS.log");
  ActionsLogScope log(dir_.path());
  EXPECT_EQ(ActionsLogPath(), "");
  WriteActionsLog("vanishes");
}

TEST_F(ActionsLogTest, TimingLogBesideTheActionsLog) {
  { ActionsLogScope failed(""); }  // an opening that found no place
  { common::TimingLogScope timing(true, "TS"); EXPECT_EQ(common::TimingLogPath(), ""); }
  ActionsLogScope log(dir_.path());
  { common::TimingLogScope off(false, "TS"); EXPECT_EQ(common::TimingLogPath(), ""); }
  {
    common::TimingLogScope timing(true, "TS");
    EXPECT_EQ(common::TimingLogPath(), dir_.path() + kSep + "launcherTimingTS.log");
    common::WriteTimingLog("step 12 ms\n");
  }
  common::WriteTimingLog("dropped\n");
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

// The file-backed registry store of the Linux build.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "platform/posix/registry_store.h"
#include "test_support.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { UseRoot(temp_ / "registry"); }
  void TearDown() override { unsetenv("QEL_REGISTRY_ROOT"); }
  void UseRoot(const std::string& root) {
    root_ = root;
    setenv("QEL_REGISTRY_ROOT", root.c_str(), 1);
  }
  std::string Software() const { return root_ + "/HKEY_LOCAL_MACHINE/SOFTWARE"; }
  // Root ignores permission bits; tests of refused access skip then.
  bool PermissionsApply() {
    fs::create_directories(temp_ / "probe_ro");
    fs::permissions(temp_ / "probe_ro", fs::perms::owner_read | fs::perms::owner_exec);
    std::error_code ec;
    bool written = fs::create_directory(temp_ / "probe_ro/x", ec);
    fs::permissions(temp_ / "probe_ro", fs::perms::owner_all);
    return !written;
  }

  TempDir temp_;
  std::string root_;
};

TEST_F(RegistryStoreTest, FreshRootGetsMachineAndSoftwareKeys) {
  UseRoot(temp_ / "new/deep/registry");
  RegKey key;
  EXPECT_EQ(RegOpenKey("SOFTWARE", RegAccess::All, key), kRegOk);
  EXPECT_TRUE(fs::is_directory(Software()));
  EXPECT_EQ(RegOpenKey("SOFTWARE\\QUELTA", RegAccess::Query, key), kRegNotFound);
  EXPECT_FALSE(key.IsOpen());

  // Keys made by hand in another case are used, not doubled.
  UseRoot(temp_ / "lower");
  fs::create_directories(temp_ / "lower/hkey_local_machine/software/quelta");
  EXPECT_EQ(RegOpenKey("Software\\Quelta", RegAccess::Query, key), kRegOk);
  EXPECT_EQ(std::distance(fs::directory_iterator(temp_ / "lower"), fs::directory_iterator()), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(temp_ / "lower/hkey_local_machine"),
                          fs::directory_iterator()), 1);
}

// Root may run with a user's environment: a store that someone else could
// have prepared would tell it where to write and where the inventory lies.
TEST_F(RegistryStoreTest, RootTakesAMovedStoreOnlyWhereNobodyElseCouldPrepareIt) {
  if (geteuid() != 0) GTEST_SKIP() << "only a root run limits the moved store";
  auto taken = [&](const std::string& root) {
    UseRoot(root);
    return RegistryStoreRoot() == root;
  };
  fs::create_directories(temp_ / "own");
  EXPECT_TRUE(taken(temp_ / "own"));
  EXPECT_TRUE(taken(temp_ / "later/made"));  // to be made by root below a root-only place
  WriteFile(temp_ / "file", "");
  EXPECT_TRUE(taken(temp_ / "file"));  // no store: the probe must say so, not another store
  fs::permissions(temp_ / "own", fs::perms::all);  // anyone may write the store
  EXPECT_FALSE(taken(temp_ / "own"));
  fs::create_directories(temp_ / "open/store");
  fs::permissions(temp_ / "open", fs::perms::all);  // anyone may swap the store
  EXPECT_FALSE(taken(temp_ / "open/store"));
  EXPECT_FALSE(taken(temp_ / "open/not-yet"));
  fs::create_directories(temp_ / "theirs");
  ASSERT_EQ(chown((temp_ / "theirs").c_str(), 65534, 65534), 0);
  EXPECT_FALSE(taken(temp_ / "theirs"));
  fs::create_directory_symlink(temp_ / "own", temp_ / "link");
  EXPECT_FALSE(taken(temp_ / "link"));
  EXPECT_FALSE(taken("relative/store"));
  EXPECT_EQ(RegistryStoreRoot(), "/etc/quelta/registry");
}

TEST_F(RegistryStoreTest, KeysAndValuesMatchWithoutCase) {
  fs::create_directories(Software() + "/QUELTA");
  WriteFile(Software() + "/QUELTA/inst_loc", "/opt/quelta/inventory\n");
  RegKey key;
  ASSERT_EQ(RegOpenKey("software\\quelta", RegAccess::All, key), kRegOk);
  std::string data;
  EXPECT_EQ(RegQueryValue(key, "INST_LOC", data, 1024), kRegOk);
  EXPECT_EQ(data, "/opt/quelta/inventory\n");

  // Writing under another case replaces the same value.
  EXPECT_EQ(RegSetStringValue(key, "Inst_Loc", "/srv/inv"), kRegOk);
  EXPECT_EQ(ReadFile(Software() + "/QUELTA/inst_loc"), std::string("/srv/inv\0", 9));
  EXPECT_EQ(std::distance(fs::directory_iterator(Software() + "/QUELTA"), fs::directory_iterator()), 1);
  EXPECT_EQ(RegDeleteValue(key, "INST_loc"), kRegOk);
  EXPECT_EQ(RegQueryValue(key, "inst_loc", data, 1024), kRegNotFound);
  EXPECT_EQ(RegDeleteValue(key, "inst_loc"), kRegNotFound);
}

TEST_F(RegistryStoreTest, QueryOfATooLargeValueGivesMoreData) {
  RegKey key;
  ASSERT_EQ(RegOpenKey("SOFTWARE", RegAccess::All, key), kRegOk);
  ASSERT_EQ(RegSetStringValue(key, "v", "temp value"), kRegOk);  // 11 bytes with its NUL
  std::string data = "untouched";
  EXPECT_EQ(RegQueryValue(key, "v", data, 10), kRegMoreData);
  EXPECT_EQ(data, "untouched");
  EXPECT_EQ(RegQueryValue(key, "v", data, 11), kRegOk);
  EXPECT_EQ(data, std::string("temp value\0", 11));
}

TEST_F(RegistryStoreTest, KeysAreDeletedOnlyWithoutSubkeys) {
  RegKey software, created;
  ASSERT_EQ(RegOpenKey("SOFTWARE", RegAccess::All, software), kRegOk);
  ASSERT_EQ(RegCreateKey(software, "A\\B", "class", created), kRegOk);
  ASSERT_EQ(RegSetStringValue(created, "value", "x"), kRegOk);
  EXPECT_EQ(RegDeleteKey(software, "a"), kRegAccessDenied);
  EXPECT_TRUE(fs::exists(Software() + "/A/B/value"));
  EXPECT_EQ(RegDeleteKey(software, "a\\b"), kRegOk);  // its values go with it
  EXPECT_EQ(RegDeleteKey(software, "A"), kRegOk);
  EXPECT_EQ(RegDeleteKey(software, "A"), kRegNotFound);
  EXPECT_TRUE(fs::is_empty(Software()));
}

TEST_F(RegistryStoreTest, ValueAndSubkeyMayShareAName) {
  RegKey software, sub;
  ASSERT_EQ(RegOpenKey("SOFTWARE", RegAccess::All, software), kRegOk);
  // Subkey first, then the value...
  ASSERT_EQ(RegCreateKey(software, "twin", "", sub), kRegOk);
  ASSERT_EQ(RegSetStringValue(software, "twin", "one"), kRegOk);
  std::string data;
  EXPECT_EQ(RegQueryValue(software, "twin", data, 100), kRegOk);
  EXPECT_EQ(data, std::string("one\0", 4));
  // ...and the value keeps its plain file name once the subkey is gone.
  EXPECT_EQ(RegDeleteKey(software, "twin"), kRegOk);
  EXPECT_EQ(ReadFile(Software() + "/twin"), std::string("one\0", 4));
  // Value first, then the subkey.
  ASSERT_EQ(RegCreateKey(software, "Twin", "", sub), kRegOk);
  EXPECT_EQ(RegQueryValue(software, "twin", data, 100), kRegOk);
  EXPECT_EQ(data, std::string("one\0", 4));
  EXPECT_EQ(RegDeleteValue(software, "twin"), kRegOk);
  EXPECT_EQ(RegDeleteKey(software, "twin"), kRegOk);
  EXPECT_TRUE(fs::is_empty(Software()));
}

TEST_F(RegistryStoreTest, NamesThatWouldLeaveTheKeyAreRefused) {
  RegKey software, out;
  ASSERT_EQ(RegOpenKey("SOFTWARE", RegAccess::All, software), kRegOk);
  EXPECT_EQ(RegOpenKey("SOFTWARE\\..\\..", RegAccess::Query, out), kRegNotFound);
  EXPECT_EQ(RegCreateKey(software, "..\\..\\..\\escaped", "", out), kRegAccessDenied);
  EXPECT_EQ(RegCreateKey(software, "a/b", "", out), kRegAccessDenied);
  EXPECT_EQ(RegSetStringValue(software, "../escaped", "x"), kRegAccessDenied);
  EXPECT_EQ(RegSetStringValue(software, ".value~x", "x"), kRegAccessDenied);
  EXPECT_FALSE(out.IsOpen());
  EXPECT_TRUE(fs::is_empty(Software()));
  EXPECT_FALSE(fs::exists(temp_ / "escaped"));
}

TEST_F(RegistryStoreTest, KeysWithoutWritePermissionOpenForQueryOnly) {
  if (!PermissionsApply()) GTEST_SKIP() << "running with permission checks off (root)";
  fs::create_directories(Software() + "/QUELTA");
  fs::permissions(Software(), fs::perms::owner_read | fs::perms::owner_exec);
  RegKey key;
  EXPECT_EQ(RegOpenKey("SOFTWARE", RegAccess::All, key), kRegAccessDenied);
  EXPECT_EQ(RegOpenKey("SOFTWARE", RegAccess::Query, key), kRegOk);
  RegKey quelta;
  EXPECT_EQ(RegCreateKey(key, "new", "", quelta), kRegAccessDenied);
  fs::permissions(Software(), fs::perms::owner_all);
}

}  // namespace
}  // namespace platform

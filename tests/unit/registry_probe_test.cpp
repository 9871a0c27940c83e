// The registry write-access probe on the Linux store.
#include "runtime/registry_probe.h"

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace runtime {
namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;
using testing_support::WriteFile;

class RegistryProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = temp_ / "registry";
    setenv("QEL_REGISTRY_ROOT", root_.c_str(), 1);
  }
  void TearDown() override {
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec_);
    unsetenv("QEL_REGISTRY_ROOT");
  }
  std::string Software() const { return root_ + "/HKEY_LOCAL_MACHINE/SOFTWARE"; }
  // Root ignores permission bits; tests of refused access skip then.
  bool PermissionsApply() {
    fs::create_directories(temp_ / "probe_ro");
    fs::permissions(temp_ / "probe_ro", fs::perms::owner_read | fs::perms::owner_exec);
    bool written = fs::create_directory(temp_ / "probe_ro/x", ec_);
    fs::permissions(temp_ / "probe_ro", fs::perms::owner_all);
    return !written;
  }

  TempDir temp_;
  std::string root_;
  std::error_code ec_;
};

TEST_F(RegistryProbeTest, AFreshWritableStorePassesAndKeepsNothing) {
  EXPECT_EQ(ProbeRegistryWrite(), 1);
  ASSERT_TRUE(fs::is_directory(Software()));
  EXPECT_TRUE(fs::is_empty(Software()));
  EXPECT_EQ(ProbeRegistryWrite(), 1);  // and again, from what the first left
  EXPECT_TRUE(fs::is_empty(Software()));
}

TEST_F(RegistryProbeTest, LeftoversOfAnEarlierRunAreReplacedAndRemoved) {
  fs::create_directories(Software() + "/quelta_qti_tmp");
  WriteFile(Software() + "/Quelta_Qti_Tmp.txt", "unrelated");
  EXPECT_EQ(ProbeRegistryWrite(), 1);
  EXPECT_FALSE(fs::exists(Software() + "/quelta_qti_tmp"));

  WriteFile(Software() + "/QUELTA_QTI_TMP", "old value");
  EXPECT_EQ(ProbeRegistryWrite(), 1);
  EXPECT_FALSE(fs::exists(Software() + "/QUELTA_QTI_TMP"));
  EXPECT_TRUE(fs::exists(Software() + "/Quelta_Qti_Tmp.txt"));
}

TEST_F(RegistryProbeTest, ASubkeyWithSubkeysStaysButThePassHolds) {
  fs::create_directories(Software() + "/quelta_qti_tmp/inner");
  EXPECT_EQ(ProbeRegistryWrite(), 1);
  EXPECT_TRUE(fs::is_directory(Software() + "/quelta_qti_tmp/inner"));
}

TEST_F(RegistryProbeTest, AStoreTheUserCannotWriteFails) {
  if (!PermissionsApply()) GTEST_SKIP() << "running with permission checks off (root)";
  // A root nobody may write: the machine keys cannot even be made.
  fs::create_directories(root_);
  fs::permissions(root_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(ProbeRegistryWrite(), 0);
  EXPECT_TRUE(fs::is_empty(root_));

  // Keys present, but Software is read-only.
  fs::permissions(root_, fs::perms::owner_all);
  fs::create_directories(Software());
  fs::permissions(Software(), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(ProbeRegistryWrite(), 0);
  fs::permissions(Software(), fs::perms::owner_all);
}

}  // namespace
}  // namespace runtime

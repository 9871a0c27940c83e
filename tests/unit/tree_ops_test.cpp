#include "bootstrap/tree_ops.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <map>

#include "bootstrap/free_space.h"
#include "common/actions_log.h"
#include "common/paths.h"
#include "platform/platform.h"
#include "platform/shared/tree_walk.h"
#include "test_support.h"

namespace bootstrap {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

fs::perms Perms(const std::string& path) { return fs::status(path).permissions(); }

TEST(VersionTest, ComparesNumericFieldsUpToTheLimit) {
  struct Case {
    const char* a;
    const char* b;
    int less;
  } cases[] = {
      {"4.2.0.1.0", "4.2.0.2.0", 1},     {"4.2.0.2.0", "4.2.0.1.0", 0},
      {"10.2.0", "10.2.0.0", 1},         {"10.2.0.0", "10.2.0", 0},
      {"1.2.3.4.5.6", "1.2.3.4.5.7", 0},  // sixth field not compared
      {"0.0.0.0.0", ".", 0},             {"0.0.0.0.0", "Expanded", 0},
      {"10.2", "10.10", 1},              // numeric, not textual
      {"1,2", "1.3", 1},                 {" 1 . 2", "1.3", 1},
      {"4.2.0.1.0", "4.2.0.1.0", 0},     {"", "1.0", 1},
      {"a", "B", 1},                     {"Z", "a", 0},  // letters without regard to case
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VersionLess(c.a, c.b, kVersionFields), c.less) << c.a << " < " << c.b;
  }
  EXPECT_EQ(VersionLess("1.2.3", "1.2.4", 2), 0);
}

TEST(VersionTest, FieldBeyondThirtyTwoBitsNeverWins) {
  // 9999999999 wraps to a larger 32-bit value, so a check for a shrinking
  // value misses it; every overflow must be caught.
  for (const char* huge : {"99999999999.0", "9999999999.0", "2147483648"}) {
    EXPECT_EQ(VersionLess(kLowestVersion, huge, kVersionFields), 0) << huge;
    EXPECT_EQ(VersionLess(huge, "1.0", kVersionFields), 0) << huge;
  }
  EXPECT_EQ(VersionLess("2147483646", "2147483647", kVersionFields), 1);
  int32_t value = -7;
  for (const char* bad : {"4 2", "4a", "-1", "2147483648"}) {
    EXPECT_EQ(ParseVersionNumber(bad, value), 0) << bad;
  }
  EXPECT_EQ(value, -7);
  EXPECT_EQ(ParseVersionNumber("  42  ", value), 1);
  EXPECT_EQ(value, 42);
}

TEST(VersionTest, HighestVersionDirectory) {
  TempDir dir;
  for (const char* name : {"7.4.0.1.0", "13.0.0.2.0", "Expanded", "99999999999.0"}) {
    fs::create_directory(dir / name);
  }
  WriteFile(dir / "20.0", "a file is no version directory");
  std::string withSep = dir.path() + platform::kPathSep;
  EXPECT_EQ(FindHighestVersionDir(withSep), "13.0.0.2.0");

  TempDir empty;
  EXPECT_EQ(FindHighestVersionDir(empty.path() + platform::kPathSep), kLowestVersion);
  EXPECT_EQ(FindHighestVersionDir(empty / "missing"), kLowestVersion);
}

TEST(PathTest, AppendPathAddsOneSeparator) {
  const std::string sep(1, platform::kPathSep);
  const std::string a = common::AppendPath(sep + "a", "b");
  EXPECT_EQ(a, sep + "a" + sep + "b");
  EXPECT_EQ(common::AppendPath(sep + "a" + sep, "b"), a);
  // The launcher's path formats write a separator whatever ends the path.
  EXPECT_EQ(common::JoinExactly(sep + "a" + sep, "b"), sep + "a" + sep + sep + "b");
}

class CopyTreeTest : public ::testing::Test {
 protected:
  // A with A/x and A/d/y.
  void MakeSource() {
    WriteFile(tmp_ / "A/x", "x data");
    WriteFile(tmp_ / "A/d/y", "y data");
  }
  TempDir tmp_;
};

TEST_F(CopyTreeTest, CopiesNestedTreeAndReplacesSameNames) {
  MakeSource();
  fs::create_directories(tmp_ / "A/d/empty");
  WriteFile(tmp_ / "B/x", "old x, much longer than the new one");
  WriteFile(tmp_ / "B/other", "kept");
  ASSERT_EQ(CopyTree(tmp_ / "A", tmp_ / "B"), 0);
  EXPECT_TRUE(fs::is_directory(tmp_ / "B/d/empty"));
  EXPECT_EQ(ReadFile(tmp_ / "B/x"), "x data");
  EXPECT_EQ(ReadFile(tmp_ / "B/d/y"), "y data");
  EXPECT_EQ(ReadFile(tmp_ / "B/other"), "kept");
  EXPECT_EQ(CountTreeFiles(tmp_ / "B"), 3);  // directories are not counted
  EXPECT_EQ(CountTreeFiles(tmp_ / "missing"), 0);
}

TEST_F(CopyTreeTest, CopiesKeepPermissionBitsAndBecomeWritable) {
  MakeSource();
  WriteFile(tmp_ / "A/bin/java", "#!/bin/sh\n");
  fs::permissions(tmp_ / "A/bin/java", fs::perms::owner_read | fs::perms::owner_exec |
                                           fs::perms::group_read | fs::perms::group_exec);
  fs::permissions(tmp_ / "A/x", fs::perms::owner_read | fs::perms::others_read);
  WriteFile(tmp_ / "B/bin/java", "an older copy without execute bits");
  fs::permissions(tmp_ / "B/bin/java", fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_EQ(CopyTree(tmp_ / "A", tmp_ / "B"), 0);
  EXPECT_EQ(Perms(tmp_ / "B/bin/java"), fs::perms::owner_all | fs::perms::group_read |
                                            fs::perms::group_exec);
  EXPECT_EQ(Perms(tmp_ / "B/x"),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  // A second copy replaces the now writable files.
  WriteFile(tmp_ / "A/bin/java", "#!/bin/sh\nexit 0\n");
  ASSERT_EQ(CopyTree(tmp_ / "A", tmp_ / "B"), 0);
  EXPECT_EQ(ReadFile(tmp_ / "B/bin/java"), "#!/bin/sh\nexit 0\n");
}

TEST_F(CopyTreeTest, LinkInTheDestinationIsReplacedNotWrittenThrough) {
  MakeSource();
  WriteFile(tmp_ / "outside", "must stay");
  fs::create_directories(tmp_ / "B/d");
  fs::create_symlink(tmp_ / "outside", tmp_ / "B/x");
  fs::create_symlink(tmp_ / "nowhere", tmp_ / "B/d/y");
  ASSERT_EQ(CopyTree(tmp_ / "A", tmp_ / "B"), 0);
  EXPECT_EQ(ReadFile(tmp_ / "outside"), "must stay");
  EXPECT_FALSE(fs::is_symlink(tmp_ / "B/x"));
  EXPECT_EQ(ReadFile(tmp_ / "B/x"), "x data");
  EXPECT_FALSE(fs::is_symlink(tmp_ / "B/d/y"));
  EXPECT_EQ(ReadFile(tmp_ / "B/d/y"), "y data");
  EXPECT_FALSE(fs::exists(tmp_ / "nowhere"));
}

TEST_F(CopyTreeTest, FailedFileCopyGivesMinusOne) {
  MakeSource();
  fs::create_directories(tmp_ / "B/x");  // a directory where the file must go
  EXPECT_EQ(CopyTree(tmp_ / "A", tmp_ / "B"), -1);
  EXPECT_EQ(CopyTree(tmp_ / "A", std::string()), -1);
  EXPECT_TRUE(fs::exists(tmp_ / "A/x"));
}

TEST_F(CopyTreeTest, CopiesLargeFileWhole) {
  std::string data(3 * 1024 * 1024 + 17, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7919 % 251);
  WriteFile(tmp_ / "A/big.bin", data);
  ASSERT_EQ(CopyTree(tmp_ / "A", tmp_ / "B"), 0);
  EXPECT_TRUE(ReadFile(tmp_ / "B/big.bin") == data);
}

TEST_F(CopyTreeTest, DanglingLinkIsCopiedAsLink) {
  MakeSource();
  fs::create_symlink("../nowhere/src.zip", tmp_ / "A/d/src.zip");
  ASSERT_EQ(CopyTree(tmp_ / "A", tmp_ / "B"), 0);
  EXPECT_TRUE(fs::is_symlink(tmp_ / "B/d/src.zip"));
  EXPECT_EQ(fs::read_symlink(tmp_ / "B/d/src.zip"), "../nowhere/src.zip");
}

TEST_F(CopyTreeTest, DeletesWholeTreeButNotThroughLinks) {
  MakeSource();
  WriteFile(tmp_ / "outside/keep", "not in the tree");
  fs::create_directory_symlink(tmp_ / "outside", tmp_ / "A/d/link");
  fs::permissions(tmp_ / "A/x", fs::perms::owner_read);
  DeleteTree(tmp_ / "A");
  EXPECT_FALSE(fs::exists(tmp_ / "A"));
  EXPECT_EQ(ReadFile(tmp_ / "outside/keep"), "not in the tree");

  EXPECT_EQ(CopyTree(tmp_ / "A", tmp_ / "B"), 0);  // missing source: nothing made
  EXPECT_FALSE(fs::exists(tmp_ / "B"));
  DeleteTree(tmp_ / "A");  // a missing root: nothing happens
}

TEST_F(CopyTreeTest, HandlesMoreDirectoriesThanTheOldTables) {
  // 40 x 60 = 2400 leaf directories plus 40 parents: beyond both 256 and 2048.
  for (int i = 0; i < 40; ++i) {
    for (int j = 0; j < 60; ++j) {
      fs::create_directories(tmp_ / ("A/p" + std::to_string(i) + "/c" + std::to_string(j)));
    }
    WriteFile(tmp_ / ("A/p" + std::to_string(i) + "/c59/f"), "f");
  }
  EXPECT_EQ(CountTreeFiles(tmp_ / "A"), 40);
  ASSERT_EQ(CopyTree(tmp_ / "A", tmp_ / "B"), 0);
  EXPECT_EQ(CountTreeFiles(tmp_ / "B"), 40);
  EXPECT_TRUE(fs::is_directory(tmp_ / "B/p39/c0"));
  DeleteTree(tmp_ / "B");
  EXPECT_FALSE(fs::exists(tmp_ / "B"));
}

// Every name below `dir` with its kind ("d" directory, "l" link and target,
// "f" file), sorted: the whole state of a tree, links never followed.
std::string Snapshot(const fs::path& dir) {
  std::vector<std::string> lines;
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
    const std::string name = fs::relative(it->path(), dir).string();
    if (it->is_symlink()) {
      lines.push_back("l " + name + " -> " + fs::read_symlink(it->path()).string());
    } else if (it->is_directory()) {
      lines.push_back("d " + name);
    } else {
      lines.push_back("f " + name + " " + ReadFile(it->path().string()));
    }
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

class TreeLinkTest : public CopyTreeTest {
 protected:
  // A with A/x and A/d/y, and outside/keep beside it.
  void SetUp() override {
    MakeSource();
    WriteFile(tmp_ / "outside/keep", "outside");
  }
};

TEST_F(TreeLinkTest, CyclesEndInCopyCountAndDelete) {
  fs::create_directory_symlink(".", tmp_ / "A/loop");
  fs::create_directory_symlink("..", tmp_ / "A/d/up");
  fs::create_directory_symlink("../d", tmp_ / "A/d/self");
  const std::string source = Snapshot(tmp_ / "A");
  EXPECT_EQ(CountTreeFiles(tmp_ / "A"), 2);
  ASSERT_EQ(CopyTree(tmp_ / "A", tmp_ / "B"), 0);
  EXPECT_EQ(Snapshot(tmp_ / "B"), source);  // the links made again, nothing through them
  EXPECT_EQ(CountTreeFiles(tmp_ / "B"), 2);
  DeleteTree(tmp_ / "B");
  EXPECT_FALSE(fs::exists(tmp_ / "B"));
  EXPECT_EQ(Snapshot(tmp_ / "A"), source);
}

TEST_F(TreeLinkTest, LinkToDirectoryIsMadeAgainAndLinkToFileCopiedAsFile) {
  fs::create_directory_symlink(tmp_ / "outside", tmp_ / "A/d/out");
  fs::create_symlink("../x", tmp_ / "A/d/alias");
  fs::create_symlink(tmp_ / "outside/keep", tmp_ / "A/kept");
  EXPECT_EQ(CountTreeFiles(tmp_ / "A"), 4);  // x, y, alias, kept: not what out leads to
  ASSERT_EQ(CopyTree(tmp_ / "A", tmp_ / "B"), 0);
  EXPECT_TRUE(fs::is_symlink(tmp_ / "B/d/out"));
  EXPECT_EQ(fs::read_symlink(tmp_ / "B/d/out"), tmp_ / "outside");
  EXPECT_FALSE(fs::is_symlink(tmp_ / "B/d/alias"));
  EXPECT_EQ(ReadFile(tmp_ / "B/d/alias"), "x data");
  EXPECT_EQ(ReadFile(tmp_ / "B/kept"), "outside");
  EXPECT_EQ(Snapshot(tmp_ / "outside"), "f keep outside\n");
  DeleteTree(tmp_ / "B");
  EXPECT_FALSE(fs::exists(tmp_ / "B"));
  EXPECT_EQ(Snapshot(tmp_ / "outside"), "f keep outside\n");
}

TEST_F(TreeLinkTest, NothingIsWrittenThroughALinkInTheDestination) {
  // Where a directory goes: the link is replaced by a directory, as one
  // where a file goes is replaced by the file.
  fs::create_directories(tmp_ / "B");
  fs::create_directory_symlink(tmp_ / "outside", tmp_ / "B/d");
  ASSERT_EQ(CopyTree(tmp_ / "A", tmp_ / "B"), 0);
  EXPECT_FALSE(fs::is_symlink(tmp_ / "B/d"));
  EXPECT_EQ(ReadFile(tmp_ / "B/d/y"), "y data");
  EXPECT_EQ(Snapshot(tmp_ / "outside"), "f keep outside\n");
  // The destination root itself.
  fs::create_directory_symlink(tmp_ / "outside", tmp_ / "C");
  ASSERT_EQ(CopyTree(tmp_ / "A", tmp_ / "C"), 0);
  EXPECT_FALSE(fs::is_symlink(tmp_ / "C"));
  EXPECT_EQ(ReadFile(tmp_ / "C/d/y"), "y data");
  EXPECT_EQ(Snapshot(tmp_ / "outside"), "f keep outside\n");
}

TEST_F(TreeLinkTest, LinkToDirectoryOntoADirectoryFails) {
  fs::create_directory_symlink(tmp_ / "outside", tmp_ / "A/d/out");
  WriteFile(tmp_ / "B/d/out/old", "stays");
  EXPECT_EQ(CopyTree(tmp_ / "A", tmp_ / "B"), -1);
  EXPECT_EQ(ReadFile(tmp_ / "B/d/out/old"), "stays");
}

TEST_F(TreeLinkTest, OnlyACopiedRootIsFollowed) {
  fs::create_directory_symlink(tmp_ / "A", tmp_ / "R");
  ASSERT_EQ(CopyTree(tmp_ / "R", tmp_ / "B"), 0);  // a location given as a link
  EXPECT_EQ(ReadFile(tmp_ / "B/d/y"), "y data");
  EXPECT_EQ(CountTreeFiles(tmp_ / "R"), 0);
  EXPECT_EQ(CountTreeFiles(tmp_ / "R/"), 0);
  DeleteTree(tmp_ / "R");
  DeleteTree(tmp_ / "R/");
  EXPECT_TRUE(fs::is_symlink(tmp_ / "R"));
  EXPECT_EQ(ReadFile(tmp_ / "A/d/y"), "y data");
}

TEST_F(CopyTreeTest, BackslashAndFullWidthNamesAreSingleNamesOnLinux) {
  WriteFile(tmp_ / "A/..\\..\\victim", "one name");
  WriteFile(tmp_ / "A/\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\xBCvictim", "full width");
  ASSERT_EQ(CopyTree(tmp_ / "A", tmp_ / "B"), 0);
  EXPECT_EQ(ReadFile(tmp_ / "B/..\\..\\victim"), "one name");
  EXPECT_EQ(ReadFile(tmp_ / "B/\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\xBCvictim"), "full width");
  DeleteTree(tmp_ / "B");
  EXPECT_FALSE(fs::exists(tmp_ / "B"));
}

// A chain of `depth` directories of 120-character names below `root`,
// made and read one level at a time (the whole path is too long for a
// system call), with the file "deep" at its end.
constexpr int kDeepLevels = 40;  // 4,840 characters: beyond PATH_MAX
const std::string kLevel(120, 'n');

void MakeDeepChain(const std::string& root) {
  int dir = open(root.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < kDeepLevels && dir >= 0; ++i) {
    mkdirat(dir, kLevel.c_str(), 0755);
    const int next = openat(dir, kLevel.c_str(), O_RDONLY | O_DIRECTORY);
    close(dir);
    dir = next;
  }
  ASSERT_GE(dir, 0);
  const int file = openat(dir, "deep", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(write(file, "bottom", 6), 6);
  close(file);
  close(dir);
}

std::string ReadDeepChain(const std::string& root) {
  int dir = open(root.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < kDeepLevels && dir >= 0; ++i) {
    const int next = openat(dir, kLevel.c_str(), O_RDONLY | O_DIRECTORY);
    close(dir);
    dir = next;
  }
  char data[16] = {};
  const int file = dir >= 0 ? openat(dir, "deep", O_RDONLY) : -1;
  const ssize_t got = file >= 0 ? read(file, data, sizeof data - 1) : -1;
  if (file >= 0) close(file);
  if (dir >= 0) close(dir);
  return got > 0 ? std::string(data, static_cast<size_t>(got)) : std::string();
}

TEST_F(CopyTreeTest, TreeDeeperThanAPathCanNameIsHandledWhole) {
  fs::create_directory(tmp_ / "A");
  MakeDeepChain(tmp_ / "A");
  EXPECT_EQ(CountTreeFiles(tmp_ / "A"), 1);
  ASSERT_EQ(CopyTree(tmp_ / "A", tmp_ / "B"), 0);
  EXPECT_EQ(ReadDeepChain(tmp_ / "B"), "bottom");
  DeleteTree(tmp_ / "B");
  EXPECT_FALSE(fs::exists(tmp_ / "B"));
  DeleteTree(tmp_ / "A");
  EXPECT_FALSE(fs::exists(tmp_ / "A"));
}

// The walks over an in-memory tree with the Windows rules: backslash and
// slash separate, links to directories are passed over.
struct FakeWindowsTree {
  using Name = std::wstring;
  using Entry = platform::tree_walk::Entry<Name>;
  using Kind = platform::tree_walk::Kind;
  static constexpr bool kMakesDirectoryLinks = false;
  static bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
  static Name Join(const Name& dir, const Name& name) { return dir.empty() ? name : dir + L'\\' + name; }
  static std::string Narrow(const Name& name) { return std::string(name.begin(), name.end()); }

  struct Listing {
    Name rel;
    std::vector<Entry> entries;
  };
  std::optional<Listing> List(const Name& rel) const {
    auto it = dirs->find(rel);
    if (it == dirs->end()) return std::nullopt;
    return Listing{rel, it->second};
  }
  bool MakeDir(const Name& rel) const { return Log("mkdir " + Narrow(rel)); }
  struct CopyDir {
    Name rel;
  };
  CopyDir OpenCopyDir(const Name& rel) const { return {rel}; }
  bool CopyEntry(const CopyDir& dir, const Name& name, Kind) const {
    return Log("copy " + Narrow(Join(dir.rel, name)));
  }
  std::string SourcePath(const Name& rel, const Name& name) const { return "src\\" + Narrow(Join(rel, name)); }
  void DeleteEntry(const Listing& listing, const Entry& entry) const {
    Log("delete " + Narrow(Join(listing.rel, entry.name)));
  }
  void RemoveDir(const Name& rel) const { Log("rmdir " + Narrow(rel)); }
  bool Log(const std::string& line) const {
    log->push_back(line);
    return true;
  }

  const std::map<Name, std::vector<Entry>>* dirs;
  std::vector<std::string>* log;
};

class TreeWalkTest : public ::testing::Test {
 protected:
  using Kind = platform::tree_walk::Kind;
  // A listing as a system gives it: "." and ".." first.
  void Dir(const std::wstring& rel, std::vector<FakeWindowsTree::Entry> entries) {
    entries.insert(entries.begin(), {{L".", Kind::kDirectory}, {L"..", Kind::kDirectory}});
    dirs_[rel] = std::move(entries);
  }
  FakeWindowsTree Tree() { return {&dirs_, &log_}; }
  std::map<std::wstring, std::vector<FakeWindowsTree::Entry>> dirs_;
  std::vector<std::string> log_;
};

TEST_F(TreeWalkTest, DirectoriesBreadthFirstThenFilesInAnyRanges) {
  Dir(L"", {{L"a", Kind::kDirectory}, {L"f1", Kind::kOther}, {L"b", Kind::kDirectory}});
  Dir(L"a", {{L"c", Kind::kDirectory}, {L"f2", Kind::kOther}, {L"j", Kind::kDirectoryLink}});
  Dir(L"b", {{L"f3", Kind::kOther}});
  Dir(L"a\\c", {{L"f4", Kind::kOther}});
  platform::tree_walk::CopyPlan<FakeWindowsTree> plan(Tree());
  std::vector<std::string> passedOver;
  ASSERT_TRUE(plan.MakeDirectories(passedOver));
  EXPECT_EQ(passedOver, std::vector<std::string>{"src\\a\\j"});
  EXPECT_EQ(log_, (std::vector<std::string>{"mkdir ", "mkdir a", "mkdir b", "mkdir a\\c"}));
  ASSERT_EQ(plan.FileCount(), 4u);
  log_.clear();
  ASSERT_TRUE(plan.CopyFiles(2, 4));
  ASSERT_TRUE(plan.CopyFiles(0, 2));
  EXPECT_TRUE(plan.CopyFiles(4, 9));  // beyond the end: nothing
  EXPECT_EQ(log_, (std::vector<std::string>{"copy b\\f3", "copy a\\c\\f4", "copy f1", "copy a\\f2"}));
}

TEST_F(TreeWalkTest, NamesThatLeadElsewhereAreRefused) {
  for (const wchar_t* bad : {L"..\\..\\victim", L"x/y", L"..", L".", L""}) {
    Dir(L"", {{L"d", Kind::kDirectory}, {L"f", Kind::kOther}});
    Dir(L"d", {{L"g", Kind::kOther}, {bad, Kind::kOther}, {L"e", Kind::kDirectory}});
    Dir(L"d\\e", {});
    std::string shown(bad, bad + std::wcslen(bad));
    // A copy fails; nothing is copied.
    log_.clear();
    platform::tree_walk::CopyPlan<FakeWindowsTree> plan(Tree());
    std::vector<std::string> passedOver;
    EXPECT_FALSE(plan.MakeDirectories(passedOver)) << shown;
    // Deletion and count leave that entry alone and go on with the rest.
    log_.clear();
    platform::tree_walk::DeleteTree(Tree());
    EXPECT_EQ(log_, (std::vector<std::string>{"delete f", "delete d\\g", "rmdir d\\e", "rmdir d", "rmdir "}))
        << shown;
    EXPECT_EQ(platform::tree_walk::CountFiles(Tree()), 2) << shown;
  }
}

class BootstrapCountsTest : public testing_support::LauncherTest {};

TEST_F(BootstrapCountsTest, LogsJreAndQtiCounts) {
  TempDir scratch;
  WriteFile(scratch / "jre/bin/java", "j");
  WriteFile(scratch / "jre/lib/rt.jar", "r");
  {
    common::ActionsLogScope log(scratch.path());
    LogBootstrapCounts(scratch.path());
  }
  EXPECT_EQ(ReadFile(common::ActionsLogPath()),
            "Number of files bootstrapped in jre: 2\n"
            "Number of files bootstrapped in qti: 0\n");
}

class FreeSpaceTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::TestOverrides().disk = {}; }
  platform::DiskSpaceOverrides& fakes_ = platform::TestOverrides().disk;
};

TEST_F(FreeSpaceTest, KilobytesBeyondThirtyTwoBits) {
  const uint64_t free = uint64_t{5} << 40;  // 5 TiB
  fakes_.query = [&](const std::string&) {
    return std::optional<platform::DiskSpace>({uint64_t{8} << 40, free});
  };
  EXPECT_EQ(FreeKilobytes("/scratch"), free / 1024);
  EXPECT_EQ(HasFreeSpace("/scratch", 2047 * 1024), 1);
  EXPECT_EQ(HasFreeSpace("/scratch", int64_t{6} << 30), 0);  // 6 TiB in kilobytes
}

TEST_F(FreeSpaceTest, FallsBackToRootQueryThenZero) {
  std::string rootAsked;
  fakes_.query = [](const std::string&) { return std::optional<platform::DiskSpace>(); };
  fakes_.rootFreeBytes = [&](const std::string& path) {
    rootAsked = path;
    return std::optional<uint64_t>(45 * 1024 * 1024 + 1023);
  };
  uint64_t total = 7;
  uint64_t free = 7;
  EXPECT_EQ(GetFreeDiskSpace("/scratch", total, free), 0);
  EXPECT_EQ(total, 7u);
  EXPECT_EQ(HasFreeSpace("/scratch", 45 * 1024), 1);  // equal is enough
  EXPECT_EQ(HasFreeSpace("/scratch", 45 * 1024 + 1), 0);
  EXPECT_EQ(rootAsked, "/scratch");

  fakes_.rootFreeBytes = [](const std::string&) { return std::optional<uint64_t>(); };
  EXPECT_EQ(FreeKilobytes("/scratch"), 0u);
  EXPECT_EQ(HasFreeSpace("/scratch", 0), 1);
  EXPECT_EQ(HasFreeSpace("/scratch", 1), 0);
}

TEST_F(FreeSpaceTest, RealVolumeIsQueried) {
  TempDir dir;
  uint64_t total = 0;
  uint64_t free = 0;
  ASSERT_EQ(GetFreeDiskSpace(dir.path(), total, free), 1);
  EXPECT_GT(total, 0u);
  EXPECT_LE(free, total);
  EXPECT_EQ(GetFreeDiskSpace(dir / "missing", total, free), 0);
}

}  // namespace
}  // namespace bootstrap

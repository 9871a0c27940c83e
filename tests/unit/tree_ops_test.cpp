#include "bootstrap/tree_ops.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

#include "bootstrap/free_space.h"
#include "common/actions_log.h"
#include "common/paths.h"
#include "platform/platform.h"
#include "platform/posix/tree_cursor.h"
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

TEST_F(CopyTreeTest, DirectoryLongerThanOneReadOfItsListingIsWhole) {
  // 700 names of 60 characters: several reads of a directory listing.
  for (int i = 0; i < 700; ++i) {
    const std::string number = std::to_string(i);
    WriteFile(tmp_ / ("A/" + std::string(60 - number.size(), 'n') + number), "");
  }
  EXPECT_EQ(CountTreeFiles(tmp_ / "A"), 700);
  ASSERT_EQ(CopyTree(tmp_ / "A", tmp_ / "B"), 0);
  EXPECT_EQ(CountTreeFiles(tmp_ / "B"), 700);
  DeleteTree(tmp_ / "B");
  EXPECT_FALSE(fs::exists(tmp_ / "B"));
}

// Every name below `dir` with its kind ("d" directory, "l" link and target,
// "f" file), sorted: the whole state of a tree, links never followed. With
// `modes`, the permission bits of files and directories too.
std::string Snapshot(const fs::path& dir, bool modes = false) {
  std::vector<std::string> lines;
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
    const std::string name = fs::relative(it->path(), dir).string();
    const std::string mode =
        modes && !it->is_symlink() ? " " + std::to_string(static_cast<unsigned>(Perms(it->path()))) : "";
    if (it->is_symlink()) {
      lines.push_back("l " + name + " -> " + fs::read_symlink(it->path()).string());
    } else if (it->is_directory()) {
      lines.push_back("d " + name + mode);
    } else {
      lines.push_back("f " + name + mode + " " + ReadFile(it->path().string()));
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

TEST_F(TreeLinkTest, AHardLinkInTheDestinationIsReplacedNotWrittenThrough) {
  // A second name of an outside file where a copy goes: writing into it
  // would rewrite the outside file with the rights of the copy.
  fs::create_directories(tmp_ / "B/d");
  fs::create_hard_link(tmp_ / "outside/keep", tmp_ / "B/x");
  fs::create_hard_link(tmp_ / "outside/keep", tmp_ / "B/d/y");
  ASSERT_EQ(CopyTree(tmp_ / "A", tmp_ / "B"), 0);
  EXPECT_EQ(ReadFile(tmp_ / "B/x"), "x data");
  EXPECT_EQ(ReadFile(tmp_ / "B/d/y"), "y data");
  EXPECT_EQ(Snapshot(tmp_ / "outside"), "f keep outside\n");
  EXPECT_EQ(fs::hard_link_count(tmp_ / "outside/keep"), 1u);
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

// Sets QEL_COPY_THREADS for one scope.
class CopyThreadsSetting {
 public:
  explicit CopyThreadsSetting(const char* value) {
    if (const char* old = getenv(kName)) saved_ = old;
    setenv(kName, value, 1);
  }
  ~CopyThreadsSetting() {
    if (saved_) {
      setenv(kName, saved_->c_str(), 1);
    } else {
      unsetenv(kName);
    }
  }

 private:
  static constexpr const char* kName = "QEL_COPY_THREADS";
  std::optional<std::string> saved_;
};

TEST(CopyTreeThreadCountTest, ProcessorsUpToEightUnlessTheEnvironmentChooses) {
  struct Case {
    std::optional<std::string> setting;
    unsigned processors;
    unsigned threads;
  } cases[] = {
      {std::nullopt, 2, 2}, {std::nullopt, 1, 1}, {std::nullopt, 0, 1}, {std::nullopt, 64, 8},
      {"1", 16, 1},         {"3", 2, 3},          {"007", 1, 7},        {"8", 1, 8},
      {"9", 2, 8},          {"99999999999999999999", 2, 8},              // saturates, never wraps
      {"0", 4, 4},          {"", 4, 4},           {"two", 4, 4},        {"-1", 4, 4},
      {" 1", 4, 4},         {"1x", 4, 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::CopyThreadCount(c.setting, c.processors), c.threads)
        << c.setting.value_or("(unset)") << " on " << c.processors;
  }
  CopyThreadsSetting one("1");
  EXPECT_EQ(platform::CopyThreads(), 1u);
  CopyThreadsSetting five("5");
  EXPECT_EQ(platform::CopyThreads(), 5u);
}

class CopyTreeThreadsTest : public CopyTreeTest {
 protected:
  static constexpr int kDirs = 16;
  static constexpr int kFiles = 24;  // a directory of more than one unit

  // A tree like a runtime's: many small files in many directories, a few
  // large ones, read-only and executable files, links of every kind.
  void MakeRichSource() {
    for (int d = 0; d < kDirs; ++d) {
      for (int f = 0; f < kFiles; ++f) {
        WriteFile(tmp_ / ("A/d" + std::to_string(d) + "/s" + std::to_string(f)),
                  std::string(static_cast<size_t>(f * 37 % 500), static_cast<char>('a' + d)));
      }
    }
    for (int i = 0; i < 3; ++i) {
      std::string data((1u + i) << 20, '\0');
      for (size_t k = 0; k < data.size(); k += 4096) data[k] = static_cast<char>(k / 4096 + i);
      WriteFile(tmp_ / ("A/lib/big" + std::to_string(i)), data);
    }
    WriteFile(tmp_ / "A/bin/java", "#!/bin/sh\n");
    fs::permissions(tmp_ / "A/bin/java", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                             fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(tmp_ / "A/d3/s1", fs::perms::owner_read);
    fs::permissions(tmp_ / "A/lib/big1", fs::perms::owner_read | fs::perms::group_read);
    WriteFile(tmp_ / "outside/keep", "outside");
    fs::create_symlink("../d0/s5", tmp_ / "A/d1/to_file");
    fs::create_symlink(tmp_ / "outside/keep", tmp_ / "A/d2/to_outside_file");
    fs::create_symlink("nowhere", tmp_ / "A/d4/dangling");
    fs::create_directory_symlink("../d5", tmp_ / "A/d6/to_dir");
    fs::create_directory_symlink(".", tmp_ / "A/d7/loop");
    fs::create_directory_symlink("..", tmp_ / "A/d8/up");
    fs::create_directory_symlink(tmp_ / "outside", tmp_ / "A/d9/to_outside_dir");
  }
  // What a destination may already hold: links where a file and a
  // directory go, an older read-only file.
  void MakeDestination(const std::string& name) {
    fs::create_directories(tmp_ / (name + "/d0"));
    fs::create_symlink(tmp_ / "outside/keep", tmp_ / (name + "/d0/s0"));
    fs::create_directory_symlink(tmp_ / "outside", tmp_ / (name + "/d10"));
    WriteFile(tmp_ / (name + "/d3/s1"), "an older copy, read-only");
    fs::permissions(tmp_ / (name + "/d3/s1"), fs::perms::owner_read);
  }
};

TEST_F(CopyTreeThreadsTest, ThreadsMakeTheTreeOneThreadMakes) {
  MakeRichSource();
  MakeDestination("one");
  MakeDestination("many");
  const std::string outside = Snapshot(tmp_ / "outside", true);
  {
    CopyThreadsSetting threads("1");
    ASSERT_EQ(CopyTree(tmp_ / "A", tmp_ / "one"), 0);
  }
  {
    CopyThreadsSetting threads("8");
    ASSERT_EQ(CopyTree(tmp_ / "A", tmp_ / "many"), 0);
  }
  EXPECT_EQ(CountTreeFiles(tmp_ / "many"), kDirs * kFiles + 3 + 1 + 3);  // links to files count, to directories not
  EXPECT_TRUE(Snapshot(tmp_ / "many", true) == Snapshot(tmp_ / "one", true));
  EXPECT_EQ(Snapshot(tmp_ / "outside", true), outside);
}

TEST_F(CopyTreeThreadsTest, AFileThatCannotBeReadEndsTheCopyWithMinusOne) {
  MakeRichSource();
  // A socket cannot be opened for reading; permissions would not stop root.
  const std::string socketPath = tmp_ / "A/d12/socket";
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(sock);
  const std::string source = Snapshot(tmp_ / "A/d0");
  for (const char* threads : {"1", "2", "8"}) {
    CopyThreadsSetting setting(threads);
    const fs::path destination = tmp_ / (std::string("B") + threads);
    EXPECT_EQ(CopyTree(tmp_ / "A", destination), -1) << threads;
    EXPECT_FALSE(fs::exists(destination / "d12/socket")) << threads;
    // What was copied stays, each file whole.
    for (const auto& entry : fs::recursive_directory_iterator(destination)) {
      if (!entry.is_regular_file() || entry.is_symlink()) continue;
      const fs::path from = tmp_ / "A" / fs::relative(entry.path(), destination);
      EXPECT_TRUE(ReadFile(entry.path()) == ReadFile(from)) << entry.path();
    }
  }
  EXPECT_EQ(Snapshot(tmp_ / "A/d0"), source);
  struct stat st;
  EXPECT_TRUE(lstat(socketPath.c_str(), &st) == 0 && S_ISSOCK(st.st_mode));
}

// A chain of `levels` directories named `name` below `root`, made and
// read one level at a time (the whole path is too long for a system call),
// with the file "deep" at its end.
void MakeDeepChain(const std::string& root, int levels, const std::string& name) {
  int dir = open(root.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < levels && dir >= 0; ++i) {
    mkdirat(dir, name.c_str(), 0755);
    const int next = openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY);
    close(dir);
    dir = next;
  }
  ASSERT_GE(dir, 0);
  const int file = openat(dir, "deep", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(write(file, "bottom", 6), 6);
  close(file);
  close(dir);
}

std::string ReadDeepChain(const std::string& root, int levels, const std::string& name) {
  int dir = open(root.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < levels && dir >= 0; ++i) {
    const int next = openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY);
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
  constexpr int kLevels = 40;  // 4,840 characters: beyond PATH_MAX
  const std::string level(120, 'n');
  fs::create_directory(tmp_ / "A");
  MakeDeepChain(tmp_ / "A", kLevels, level);
  EXPECT_EQ(CountTreeFiles(tmp_ / "A"), 1);
  ASSERT_EQ(CopyTree(tmp_ / "A", tmp_ / "B"), 0);
  EXPECT_EQ(ReadDeepChain(tmp_ / "B", kLevels, level), "bottom");
  DeleteTree(tmp_ / "B");
  EXPECT_FALSE(fs::exists(tmp_ / "B"));
  DeleteTree(tmp_ / "A");
  EXPECT_FALSE(fs::exists(tmp_ / "A"));
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // reserves terabytes of address space
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Runs `body` in a child process allowed `openFiles` descriptors and, unless
// 0, `moreAddressSpace` bytes beyond what it holds at the start; the child's
// exit status (128 + signal when one ended it).
int RunLimited(rlim_t openFiles, rlim_t moreAddressSpace, const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    rlimit files{openFiles, openFiles};
    if (setrlimit(RLIMIT_NOFILE, &files) != 0) _exit(100);
    if (moreAddressSpace > 0) {
      std::ifstream status("/proc/self/status");
      unsigned long long kilobytes = 0;
      for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmSize:", 0) == 0) kilobytes = std::stoull(line.substr(7));
      }
      rlimit space{kilobytes * 1024 + moreAddressSpace, RLIM_INFINITY};
      if (kilobytes == 0 || setrlimit(RLIMIT_AS, &space) != 0) _exit(101);
    }
    _exit(body());
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(CopyTreeTest, AChainThousandsDeepIsWalkedInLittleMemoryWithFewDescriptors) {
  // What one deep archive entry expands to: 4,000 levels of 250-character
  // names. A walk that keeps each directory's path from the root needs 2 GB
  // for them (and reaches each through all the levels above it); one that
  // holds a descriptor per level needs 4,000.
  constexpr int kLevels = 4000;
  const std::string level(250, 'n');
  fs::create_directory(tmp_ / "A");
  MakeDeepChain(tmp_ / "A", kLevels, level);
  CopyThreadsSetting threads("2");
  const int status = RunLimited(64, kSanitized ? 0 : rlim_t{256} << 20, [&] {
    if (CountTreeFiles(tmp_ / "A") != 1) return 1;
    if (CopyTree(tmp_ / "A", tmp_ / "B") != 0) return 2;
    if (ReadDeepChain(tmp_ / "B", kLevels, level) != "bottom") return 3;
    DeleteTree(tmp_ / "B");
    return fs::exists(tmp_ / "B") ? 4 : 0;
  });
  EXPECT_EQ(status, 0) << "1 count, 2 copy, 3 copied file, 4 deletion";
  DeleteTree(tmp_ / "A");
  EXPECT_FALSE(fs::exists(tmp_ / "A"));
}

TEST_F(CopyTreeTest, RunningOutOfDescriptorsFailsACopyRatherThanLeavingDirectoriesOut) {
  // Six descriptors beyond the standard three: the two roots and two levels
  // on each side, then a copy's two clones and one file's two ends. The
  // third level cannot be opened: that is no directory to pass over, as one
  // that may not be read is, but a copy that cannot be made whole.
  WriteFile(tmp_ / "A/top", "top");
  WriteFile(tmp_ / "A/d/d/d/d/bottom", "bottom");
  CopyThreadsSetting threads("1");
  const int status = RunLimited(3 + 6, 0, [&] {
    for (int fd = 3; fd < 1024; ++fd) close(fd);  // whatever the test process holds
    if (CopyTree(tmp_ / "A", tmp_ / "B") == -1) return 0;
    return fs::exists(tmp_ / "B/d/d/d/d/bottom") ? 2 : 1;
  });
  EXPECT_EQ(status, 0) << "1 reported as copied without the deepest file";
  // Not even the source's root: that is no missing source, which copies nothing and succeeds.
  EXPECT_EQ(RunLimited(3, 0, [&] {
              for (int fd = 3; fd < 1024; ++fd) close(fd);
              return CopyTree(tmp_ / "A", tmp_ / "C") == -1 ? 0 : 1;
            }),
            0);
  // Counting and deletion take what they can reach.
  EXPECT_EQ(RunLimited(3 + 3, 0, [&] {
              for (int fd = 3; fd < 1024; ++fd) close(fd);
              return static_cast<int>(CountTreeFiles(tmp_ / "A"));
            }),
            1);
}

// The Linux cursor, with the directory `moved` renamed to `to` just before
// its first climb, as another process could do in the middle of a walk.
class MovingCursor : public platform::tree_walk::PosixCursor {
 public:
  MovingCursor(PosixCursor cursor, fs::path moved, fs::path to)
      : PosixCursor(std::move(cursor)), moved_(std::move(moved)), to_(std::move(to)) {}
  bool Up() {
    if (!moved_.empty()) fs::rename(moved_, to_);
    moved_.clear();
    return PosixCursor::Up();
  }

 private:
  fs::path moved_;
  fs::path to_;
};

TEST_F(CopyTreeTest, ADeletionClimbsBackOnlyIntoTheDirectoriesItCameDownFrom) {
  // A chain 30 deep: the climb from its bottom goes back through "..",
  // past the descriptors the cursor keeps. Level 20 is moved to outside/d
  // before the climb: ".." from it leads to outside, then to tmp_, which
  // each hold an empty "d" the walk would take for its own.
  fs::path at = tmp_ / "A";
  for (int i = 1; i <= 30; ++i) {
    at /= "d";
    WriteFile(at / "f", "f");
  }
  fs::path moved = tmp_ / "A";
  for (int i = 1; i <= 20; ++i) moved /= "d";
  fs::create_directories(tmp_ / "outside");
  fs::create_directory(tmp_ / "d");
  using platform::tree_walk::PosixCursor;
  MovingCursor cursor(PosixCursor::AtRoot(tmp_ / "A", false), moved, tmp_ / "outside/d");
  platform::tree_walk::DeleteTree(cursor);
  EXPECT_TRUE(fs::is_directory(tmp_ / "d"));
  EXPECT_TRUE(fs::is_directory(tmp_ / "outside/d"));
  // Above the move the tree stays as the walk found it, its files deleted.
  EXPECT_TRUE(fs::is_directory(moved.parent_path()));
}

// The walks over an in-memory tree with the Windows rules: backslash and
// slash separate, links to directories are passed over. Every cursor step
// (down or up) is counted.
struct FakeTree {
  using Entry = platform::tree_walk::Entry<std::wstring>;
  std::map<std::wstring, std::vector<Entry>> dirs;  // by path; a directory missing here cannot be listed
  std::vector<std::string> log;
  std::mutex lock;
  std::atomic<size_t> steps{0};
  size_t maxDepth = SIZE_MAX;  // deeper directories are beyond the system's paths
  std::wstring movedAway;      // the way back up from here leads elsewhere

  bool Log(const std::string& line) {
    std::lock_guard<std::mutex> hold(lock);  // copies may come from several threads
    log.push_back(line);
    return true;
  }
};

class FakeCursor {
 public:
  using Name = std::wstring;
  using Entry = FakeTree::Entry;
  using Kind = platform::tree_walk::Kind;
  using Step = platform::tree_walk::Step;
  static constexpr bool kMakesDirectoryLinks = false;
  static constexpr bool kFoldsCase = true;
  static Name Fold(Name name) {
    for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(c));
    return name;
  }
  static bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

  FakeCursor(FakeTree& tree, bool standing) : tree_(&tree), standing_(standing) {}

  FakeCursor Clone() const { return FakeCursor(*tree_, standing_); }
  bool Blocked() const { return false; }
  std::optional<std::vector<Entry>> List() const {
    auto it = standing_ ? tree_->dirs.find(Path()) : tree_->dirs.end();
    if (it == tree_->dirs.end()) return std::nullopt;
    return it->second;
  }
  Step Down(const Name& name) {
    if (!standing_) return Step::kUnreachable;
    if (lengths_.size() + 1 > tree_->maxDepth) return Step::kTooDeep;
    ++tree_->steps;
    lengths_.push_back(path_.size());
    path_ = Join(path_, name);
    return Step::kEntered;
  }
  bool MakeRoot() {
    standing_ = true;
    return tree_->Log("mkdir ");
  }
  bool MakeDown(const Name& name) { return Down(name) == Step::kEntered && tree_->Log("mkdir " + Narrow(Path())); }
  bool Up() {
    ++tree_->steps;
    if (lengths_.empty() || path_ == tree_->movedAway) return false;
    path_.resize(lengths_.back());
    lengths_.pop_back();
    return true;
  }
  bool CopyFrom(const FakeCursor& source, const Name& name, Kind) const {
    const bool fails = name.rfind(L"bad", 0) == 0;  // a file that cannot be read
    return tree_->Log((fails ? "fail " : "copy ") + Narrow(Join(source.Path(), name))) && !fails;
  }
  std::string PathOf(const Name& name) const { return "src\\" + Narrow(Join(Path(), name)); }
  void Delete(const Entry& entry) const { tree_->Log("delete " + Narrow(Join(Path(), entry.name))); }
  void RemoveSubdir(const Name& name) const { tree_->Log("rmdir " + Narrow(Join(Path(), name))); }
  void RemoveRoot() const { tree_->Log("rmdir "); }

  static std::string Narrow(const Name& name) { return std::string(name.begin(), name.end()); }

 private:
  static Name Join(const Name& dir, const Name& name) { return dir.empty() ? name : dir + L'\\' + name; }
  const Name& Path() const { return path_; }

  FakeTree* tree_;
  bool standing_;
  Name path_;
  std::vector<size_t> lengths_;
};

class TreeWalkTest : public ::testing::Test {
 public:
  using Kind = platform::tree_walk::Kind;

 protected:
  using Plan = platform::tree_walk::CopyPlan<FakeCursor>;
  // A listing as a system gives it: "." and ".." first.
  void Dir(const std::wstring& rel, std::vector<FakeTree::Entry> entries) {
    entries.insert(entries.begin(), {{L".", Kind::kDirectory}, {L"..", Kind::kDirectory}});
    tree_.dirs[rel] = std::move(entries);
  }
  FakeCursor Source() { return FakeCursor(tree_, true); }
  Plan MakePlan() { return Plan(Source(), FakeCursor(tree_, false)); }
  void Delete() {
    FakeCursor at = Source();
    platform::tree_walk::DeleteTree(at);
  }
  int64_t Count() {
    FakeCursor at = Source();
    return platform::tree_walk::CountFiles(at);
  }
  // `count` files f000, f001 ... in the listing order.
  static std::vector<FakeTree::Entry> Files(int count) {
    std::vector<FakeTree::Entry> files;
    for (int i = 0; i < count; ++i) {
      wchar_t name[8];
      std::swprintf(name, 8, L"f%03d", i);
      files.push_back({name, Kind::kOther});
    }
    return files;
  }
  FakeTree tree_;
  std::vector<std::string>& log_ = tree_.log;
};

TEST_F(TreeWalkTest, DirectoriesBeforeWhatTheyHoldThenFilesInAnyRanges) {
  Dir(L"", {{L"a", Kind::kDirectory}, {L"f1", Kind::kOther}, {L"b", Kind::kDirectory}});
  Dir(L"a", {{L"c", Kind::kDirectory}, {L"f2", Kind::kOther}, {L"j", Kind::kDirectoryLink}});
  Dir(L"b", {{L"f3", Kind::kOther}});
  Dir(L"a\\c", {{L"f4", Kind::kOther}});
  Plan plan = MakePlan();
  std::vector<std::string> passedOver;
  ASSERT_TRUE(plan.MakeDirectories(passedOver));
  EXPECT_EQ(passedOver, std::vector<std::string>{"src\\a\\j"});
  EXPECT_EQ(log_, (std::vector<std::string>{"mkdir ", "mkdir a", "mkdir a\\c", "mkdir b"}));
  ASSERT_EQ(plan.FileCount(), 4u);
  log_.clear();
  ASSERT_TRUE(plan.CopyFiles(2, 4));
  ASSERT_TRUE(plan.CopyFiles(0, 2));
  EXPECT_TRUE(plan.CopyFiles(4, 9));  // beyond the end: nothing
  EXPECT_EQ(log_, (std::vector<std::string>{"copy a\\c\\f4", "copy b\\f3", "copy f1", "copy a\\f2"}));
}

TEST_F(TreeWalkTest, NamesThatLeadElsewhereAreRefused) {
  for (const wchar_t* bad : {L"..\\..\\victim", L"x/y", L"..", L".", L""}) {
    Dir(L"", {{L"d", Kind::kDirectory}, {L"f", Kind::kOther}});
    Dir(L"d", {{L"g", Kind::kOther}, {bad, Kind::kOther}, {L"e", Kind::kDirectory}});
    Dir(L"d\\e", {});
    std::string shown(bad, bad + std::wcslen(bad));
    // A copy fails; nothing is copied.
    Plan plan = MakePlan();
    std::vector<std::string> passedOver;
    EXPECT_FALSE(plan.MakeDirectories(passedOver)) << shown;
    // Deletion and count leave that entry alone and go on with the rest.
    log_.clear();
    Delete();
    EXPECT_EQ(log_, (std::vector<std::string>{"delete f", "delete d\\g", "rmdir d\\e", "rmdir d", "rmdir "}))
        << shown;
    EXPECT_EQ(Count(), 2) << shown;
  }
}

TEST_F(TreeWalkTest, UnitsSplitADirectoryUnlessTwoNamesAreOneToTheDestination) {
  constexpr size_t kUnit = Plan::kUnitEntries;
  std::vector<FakeTree::Entry> root = Files(2 * kUnit + 3);
  root.insert(root.begin() + 5, {{L"a", Kind::kDirectory}, {L"b", Kind::kDirectory}, {L"c", Kind::kDirectory}});
  Dir(L"", root);
  std::vector<FakeTree::Entry> folded = Files(2 * kUnit);
  folded.front().name = L"Same";
  folded.back().name = L"SAME";  // the same file to a volume that ignores case
  Dir(L"a", folded);
  Dir(L"b", Files(3));
  Dir(L"c", Files(kUnit));
  Plan plan = MakePlan();
  std::vector<std::string> passedOver;
  ASSERT_TRUE(plan.MakeDirectories(passedOver));
  const size_t a = 2 * kUnit + 3;
  const size_t b = a + 2 * kUnit;
  EXPECT_EQ(plan.Units(), (std::vector<size_t>{0, kUnit, 2 * kUnit, a, b, b + 3, b + 3 + kUnit}));
  // Copied in the listed order, the later name last, as one thread does.
  log_.clear();
  ASSERT_TRUE(plan.CopyFilesOnThreads(4));
  const auto at = [&](const std::string& line) { return std::find(log_.begin(), log_.end(), line) - log_.begin(); };
  EXPECT_LT(at("copy a\\Same"), at("copy a\\SAME"));
  EXPECT_LT(at("copy a\\SAME"), static_cast<ptrdiff_t>(log_.size()));
}

TEST_F(TreeWalkTest, EveryEntryIsCopiedOnceOnAnyNumberOfThreads) {
  std::vector<FakeTree::Entry> root = Files(5);
  for (int d = 0; d < 10; ++d) {
    const std::wstring name = L"d" + std::to_wstring(d);
    root.push_back({name, Kind::kDirectory});
    Dir(name, Files(7 + 5 * d));
  }
  Dir(L"", root);
  Plan plan = MakePlan();
  std::vector<std::string> passedOver;
  ASSERT_TRUE(plan.MakeDirectories(passedOver));
  log_.clear();
  ASSERT_TRUE(plan.CopyFiles(0, plan.FileCount()));
  std::vector<std::string> expected = log_;
  std::sort(expected.begin(), expected.end());
  ASSERT_EQ(expected.size(), 5u + 10 * 7 + 5 * 45);
  for (unsigned threads : {1u, 2u, 3u, 8u, 500u}) {
    log_.clear();
    EXPECT_TRUE(plan.CopyFilesOnThreads(threads)) << threads;
    std::sort(log_.begin(), log_.end());
    EXPECT_EQ(log_, expected) << threads;
  }
}

TEST_F(TreeWalkTest, AFailedCopyStopsTheThreadsAndFails) {
  std::vector<FakeTree::Entry> root = Files(40);
  root[20].name = L"bad";
  root.push_back({L"d", Kind::kDirectory});
  Dir(L"", root);
  Dir(L"d", Files(40));
  Plan plan = MakePlan();
  std::vector<std::string> passedOver;
  ASSERT_TRUE(plan.MakeDirectories(passedOver));
  // One thread stops where a sequential copy stops.
  log_.clear();
  EXPECT_FALSE(plan.CopyFilesOnThreads(1));
  ASSERT_EQ(log_.size(), 21u);
  EXPECT_EQ(log_.back(), "fail bad");
  // Several fail as well, each entry tried at most once.
  for (unsigned threads : {2u, 8u}) {
    log_.clear();
    EXPECT_FALSE(plan.CopyFilesOnThreads(threads)) << threads;
    std::sort(log_.begin(), log_.end());
    EXPECT_EQ(std::adjacent_find(log_.begin(), log_.end()), log_.end()) << threads;
    EXPECT_EQ(std::count(log_.begin(), log_.end(), "fail bad"), 1) << threads;
  }
}

// Chains below the root, each `depth` deep with a file at every level, the
// first one `first` deep: a comb, a single deep chain, or both.
void MakeChains(FakeTree& tree, int chains, int depth, int first) {
  std::vector<FakeTree::Entry> root;
  for (int c = 0; c < chains; ++c) {
    const std::wstring chain = L"c" + std::to_wstring(c);
    root.push_back({chain, TreeWalkTest::Kind::kDirectory});
    std::wstring path = chain;
    for (int level = 0, levels = c == 0 ? first : depth; level < levels; ++level) {
      tree.dirs[path] = {{L"f", TreeWalkTest::Kind::kOther}};
      if (level + 1 < levels) {
        tree.dirs[path].push_back({L"d", TreeWalkTest::Kind::kDirectory});
        path += L"\\d";
      }
    }
  }
  tree.dirs[L""] = root;
}

TEST_F(TreeWalkTest, StepsGrowWithTheTreeNotWithItsDepthTimesItsWidth) {
  // 40 chains 150 deep and one 1,500 deep: 7,501 directories. Going down
  // from the root to each directory, or through a level at a time with fewer
  // handles than chains, takes hundreds of times the steps allowed here.
  MakeChains(tree_, 41, 150, 1500);
  const size_t dirs = 40 * 150 + 1500 + 1;
  for (unsigned threads : {1u, 3u, 8u}) {
    tree_.steps = 0;
    Plan plan = MakePlan();
    std::vector<std::string> passedOver;
    ASSERT_TRUE(plan.MakeDirectories(passedOver));
    EXPECT_LE(tree_.steps, 4 * dirs);  // down and up, on both sides
    tree_.steps = 0;
    ASSERT_TRUE(plan.CopyFilesOnThreads(threads));
    EXPECT_LE(tree_.steps, 4 * dirs * threads) << threads;  // each thread at most two steps a directory, per side
  }
  EXPECT_EQ(Count(), static_cast<int64_t>(dirs - 1));
  tree_.steps = 0;
  Delete();
  EXPECT_LE(tree_.steps, 2 * dirs);
  EXPECT_EQ(log_.back(), "rmdir ");
}

TEST_F(TreeWalkTest, ADirectoryTooDeepForTheSystemFailsACopyAndIsLeftByDeletion) {
  MakeChains(tree_, 3, 4, 9);
  tree_.maxDepth = 6;
  Plan plan = MakePlan();
  std::vector<std::string> passedOver;
  EXPECT_FALSE(plan.MakeDirectories(passedOver));
  // Counting and deletion take all they can reach: 2 x 4 files and 6 of the
  // deep chain's 9, nothing below.
  EXPECT_EQ(Count(), 8 + 6);
  log_.clear();
  Delete();
  EXPECT_EQ(std::count_if(log_.begin(), log_.end(), [](const std::string& l) { return l.rfind("delete", 0) == 0; }),
            8 + 6);
  EXPECT_TRUE(std::none_of(log_.begin(), log_.end(), [](const std::string& l) {
    return l.find("c0\\d\\d\\d\\d\\d\\d") != std::string::npos;
  }));
  EXPECT_EQ(log_.back(), "rmdir ");  // tried: it goes if the system can reach all it holds
}

TEST_F(TreeWalkTest, AWayBackUpThatLeadsElsewhereEndsTheWalk) {
  MakeChains(tree_, 2, 3, 3);
  tree_.movedAway = L"c0\\d";
  Plan plan = MakePlan();
  std::vector<std::string> passedOver;
  EXPECT_FALSE(plan.MakeDirectories(passedOver));
  log_.clear();
  Delete();
  // Nothing is removed once the way back is lost: not c0 (the walk may now
  // stand outside the tree), nor what comes after it.
  EXPECT_EQ(log_, (std::vector<std::string>{"delete c0\\f", "delete c0\\d\\f", "delete c0\\d\\d\\f",
                                            "rmdir c0\\d\\d"}));
}

TEST(TreeLinkRuleTest, OnlyLinksAndJunctionsAmongReparsePointsAreLinks) {
  namespace windows = platform::tree_walk::windows;
  using Kind = platform::tree_walk::Kind;
  constexpr uint32_t kDir = windows::kAttributeDirectory;
  constexpr uint32_t kReparse = windows::kAttributeReparsePoint;
  constexpr uint32_t kFile = 0x20;  // archive
  struct Case {
    const char* what;
    uint32_t attributes;
    uint32_t tag;
    bool link;
    Kind kind;
  } cases[] = {
      {"plain directory", kDir, 0, false, Kind::kDirectory},
      {"plain file", kFile, 0, false, Kind::kOther},
      {"directory symbolic link", kDir | kReparse, 0xA000000C, true, Kind::kDirectoryLink},
      {"junction", kDir | kReparse, 0xA0000003, true, Kind::kDirectoryLink},
      {"file symbolic link", kFile | kReparse, 0xA000000C, true, Kind::kOther},
      {"Unix link under Wine (no tag)", kDir | kReparse, 0, true, Kind::kDirectoryLink},
      {"other name surrogate (container link)", kDir | kReparse, 0xA0000027, true, Kind::kDirectoryLink},
      {"cloud placeholder directory", kDir | kReparse, 0x9000001A, false, Kind::kDirectory},
      {"cloud placeholder directory, subtype", kDir | kReparse, 0x9000F01A, false, Kind::kDirectory},
      {"cloud placeholder file", kFile | kReparse, 0x9000101A, false, Kind::kOther},
      {"OneDrive", kDir | kReparse, 0x80000021, false, Kind::kDirectory},
      {"deduplicated file", kFile | kReparse, 0x80000013, false, Kind::kOther},
      {"WIM-backed directory", kDir | kReparse, 0x80000008, false, Kind::kDirectory},
      {"compressed (WOF) file", kFile | kReparse, 0x80000017, false, Kind::kOther},
      {"tag without the reparse attribute", kDir, 0xA000000C, false, Kind::kDirectory},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(windows::IsLink(c.attributes, c.tag), c.link) << c.what;
    EXPECT_EQ(windows::KindOf(c.attributes, c.tag), c.kind) << c.what;
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

TEST_F(FreeSpaceTest, FallbackMeasuresTheFileSystemThatHoldsThePath) {
  // /proc has no free blocks at all, while "/" has some: a fallback that
  // measures "/" whatever it is given shows here.
  struct statvfs proc;
  if (statvfs("/proc", &proc) != 0 || proc.f_bavail != 0) GTEST_SKIP() << "no /proc with zero free blocks";
  struct statvfs root;
  ASSERT_EQ(statvfs("/", &root), 0);
  if (root.f_bavail == 0) GTEST_SKIP() << "the root file system is full";
  EXPECT_EQ(platform::QueryRootFreeBytes("/proc"), std::optional<uint64_t>(0));
  // A scratch directory still to be made: its nearest existing ancestor.
  EXPECT_EQ(platform::QueryRootFreeBytes("/proc/no-such-dir/scratch/"), std::optional<uint64_t>(0));
  EXPECT_EQ(platform::QueryRootFreeBytes("/proc/self/fdinfo/no/such"), std::optional<uint64_t>(0));
  EXPECT_EQ(FreeKilobytes("/proc/no-such-dir/scratch"), 0u);
  EXPECT_EQ(HasFreeSpace("/proc/no-such-dir/scratch", 1), 0);
  EXPECT_GT(platform::QueryRootFreeBytes("/no-such-dir/scratch").value_or(0), 0u);
  // Relative and empty paths are measured where they would be made.
  EXPECT_TRUE(platform::QueryRootFreeBytes("no-such-dir/scratch").has_value());
  EXPECT_TRUE(platform::QueryRootFreeBytes("").has_value());
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

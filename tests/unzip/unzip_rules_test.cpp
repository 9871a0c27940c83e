// The archive expander's rules that need no file system, with the rules of
// both systems (the Windows ones run here too).
#include <gtest/gtest.h>

#include <vector>

#include "tools/unzip/archive_pattern.h"
#include "tools/unzip/path_guard.h"
#include "tools/unzip/zip_reader.h"

namespace unzip {
namespace {

TEST(ArchivePattern, SourceDirectoriesAsEachSystemWritesThem) {
  struct Case {
    const char* arg;
    bool windows;
    const char* dir;
    const char* pattern;
  };
  const Case cases[] = {
      // The launcher's command with a medium's default locations.
      {"..\\stage\\DataFiles\\/*.jar", true, "..\\stage\\DataFiles", "*.jar"},
      {"..//stage\\\\DataFiles\\\\/\\*.jar", true, "..\\stage\\DataFiles", "*.jar"},
      {"src/*.jar", true, "src", "*.jar"},
      {"*.jar", true, "", "*.jar"},
      {"C:*.jar", true, "C:", "*.jar"},
      {"C:\\/*.jar", true, "C:\\", "*.jar"},
      {"C:/\\\\x\\\\/*.jar", true, "C:\\x", "*.jar"},
      {"\\*.jar", true, "\\", "*.jar"},
      {"/*.jar", true, "\\", "*.jar"},
      // A UNC or long path keeps the "\\" that opens it.
      {"\\\\server\\share\\\\/*.jar", true, "\\\\server\\share", "*.jar"},
      {"//server//share/*.jar", true, "\\\\server\\share", "*.jar"},
      {"\\\\?\\C:\\media\\\\*.jar", true, "\\\\?\\C:\\media", "*.jar"},
      // Linux: "\" is a name character.
      {"stage/DataFiles//*.jar", false, "stage/DataFiles", "*.jar"},
      {"stage\\DataFiles\\/*.jar", false, "stage\\DataFiles\\", "*.jar"},
      {"stage\\*.jar", false, "", "stage\\*.jar"},
      {"//*.jar", false, "/", "*.jar"},
      {".//a///*.jar", false, "./a", "*.jar"},
      {"C:*.jar", false, "", "C:*.jar"},
  };
  for (const Case& c : cases) {
    ArchivePattern split = SplitArchivePattern(c.arg, c.windows);
    EXPECT_EQ(split.dir, c.dir) << c.arg << (c.windows ? " (Windows)" : " (Linux)");
    EXPECT_EQ(split.pattern, c.pattern) << c.arg;
  }
}

TEST(ArchivePattern, JoinsWithOneSeparatorAndNoneAfterADrive) {
  EXPECT_EQ(JoinArchivePath("..\\stage", "a.jar", true), "..\\stage\\a.jar");
  EXPECT_EQ(JoinArchivePath("C:\\", "a.jar", true), "C:\\a.jar");
  EXPECT_EQ(JoinArchivePath("C:", "a.jar", true), "C:a.jar");
  EXPECT_EQ(JoinArchivePath("", "a.jar", true), "a.jar");
  EXPECT_EQ(JoinArchivePath("/", "a.jar", false), "/a.jar");
  EXPECT_EQ(JoinArchivePath("x\\", "a.jar", false), "x\\/a.jar");
  EXPECT_EQ(JoinArchivePath("C:", "a.jar", false), "C:/a.jar");
}

TEST(ArchivePattern, WildcardsFoldCaseOnlyForWindows) {
  EXPECT_TRUE(MatchWildcard("*.jar", "B.JAR", true));
  EXPECT_FALSE(MatchWildcard("*.jar", "B.JAR", false));
  EXPECT_TRUE(MatchWildcard("a?c*.jar", "abcdef.jar", false));
  EXPECT_FALSE(MatchWildcard("a?c*.jar", "ac.jar", false));
  EXPECT_TRUE(MatchWildcard("*", "", false));
}

TEST(EntryNames, WindowsReservesDevicesAndDrivesThatLinuxTakesAsNames) {
  struct Case {
    const char* name;
    bool windowsAccepts;
    bool linuxAccepts;
  };
  const Case cases[] = {
      {"COM1", false, true},
      {"com9.txt", false, true},
      {"COM\xC2\xB9", false, true},  // superscript one
      {"lpt\xC2\xB2.tar.gz", false, true},
      {"a/Com\xC2\xB3 .txt", false, true},
      {"COM\xC2\xB9" "0.txt", true, true},
      {"COM\xE2\x81\xB4", true, true},  // superscript four names no port
      {"COM10", true, true},
      {"a:b", false, true},
      {"c:/x.txt", false, true},
      {"C:\\x.txt", false, true},
      {"../x", false, false},
      {"/x", false, false},
  };
  for (const Case& c : cases) {
    EntryPath path;
    std::string why;
    EXPECT_EQ(SplitEntryName(c.name, true, &path, &why), c.windowsAccepts) << c.name << " " << why;
    EXPECT_EQ(SplitEntryName(c.name, false, &path, &why), c.linuxAccepts) << c.name << " " << why;
  }
}

// Entries as (offset, compressed size); a local header is 30 bytes at least.
std::vector<ZipEntry> Entries(std::initializer_list<std::pair<uint64_t, uint64_t>> ranges) {
  std::vector<ZipEntry> entries;
  for (auto [offset, size] : ranges) {
    ZipEntry entry;
    entry.localOffset = offset;
    entry.compressedSize = entry.size = size;
    entries.push_back(entry);
  }
  return entries;
}

std::vector<bool> Overlapping(std::vector<ZipEntry> entries, uint64_t directoryStart) {
  MarkOverlaps(&entries, directoryStart);
  std::vector<bool> marks;
  for (const ZipEntry& entry : entries) marks.push_back(entry.overlaps);
  return marks;
}

TEST(Overlaps, EveryEntryOfAnOverlappingPairIsMarked) {
  using Marks = std::vector<bool>;
  // Back to back, in any directory order, up to the central directory.
  EXPECT_EQ(Overlapping(Entries({{100, 10}, {0, 70}, {140, 0}}), 170), (Marks{false, false, false}));
  // One byte too long into the next header, or into the central directory.
  EXPECT_EQ(Overlapping(Entries({{0, 71}, {100, 10}}), 140), (Marks{true, true}));
  EXPECT_EQ(Overlapping(Entries({{0, 70}, {100, 11}}), 140), (Marks{false, true}));
  // Two entries over one local entry.
  EXPECT_EQ(Overlapping(Entries({{0, 5}, {50, 5}, {0, 5}}), 100), (Marks{true, false, true}));
  // One entry holding two others whole, which do not touch each other.
  EXPECT_EQ(Overlapping(Entries({{0, 500}, {100, 10}, {200, 10}, {600, 0}}), 700),
            (Marks{true, true, true, false}));
  // A zip64 size so large that the end would wrap around to a small offset.
  EXPECT_EQ(Overlapping(Entries({{0, ~uint64_t{0} - 20}, {30, 0}}), 60), (Marks{true, true}));
}

TEST(Overlaps, EachEntryGetsTheRoomUpToTheNextHeader) {
  std::vector<ZipEntry> entries = Entries({{100, 10}, {0, 10}, {100, 10}, {300, 10}});
  MarkOverlaps(&entries, 400);
  EXPECT_EQ(entries[1].roomEnd, 100u);
  EXPECT_EQ(entries[3].roomEnd, 400u);
  EXPECT_TRUE(entries[0].overlaps && entries[2].overlaps);
  EXPECT_FALSE(entries[1].overlaps || entries[3].overlaps);
}

}  // namespace
}  // namespace unzip

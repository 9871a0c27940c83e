// The archive expander's rules that need no file system, with the rules of
// both systems (the Windows ones run here too).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/unzip/archive_pattern.h"
#include "tools/unzip/os_layer.h"
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

std::string Repeated(const std::string& part, size_t times) {
  std::string text;
  for (size_t i = 0; i < times; ++i) text += part;
  return text;
}

TEST(EntryNames, LengthAndDepthHaveTheirLimitsOnBothSystems) {
  struct Case {
    std::string name;
    const char* refusal;  // nullptr when taken
    size_t depth;         // components, when taken
  };
  const Case cases[] = {
      // 4096 bytes in 256 components, and a byte more.
      {Repeated("abcdefghijklmno/", 255) + "abcdefghijklmnop", nullptr, 256},
      {Repeated("abcdefghijklmno/", 255) + "abcdefghijklmnop/", "4096 bytes", 0},
      {Repeated("d/", 255) + "leaf", nullptr, 256},
      {Repeated("d/", 256) + "leaf", "256 components", 0},
      {Repeated("d/", 256), nullptr, 256},
      {Repeated("d/", 257), "256 components", 0},
      {Repeated("a/", 2047) + "bc", "256 components", 0},
      // Empty and "." components are no levels; a separator at the end is none.
      {Repeated("d/./", 255) + "leaf/", nullptr, 256},
      {Repeated("d//", 255) + "leaf", nullptr, 256},
      {"x" + Repeated("/", 4095), nullptr, 1},
      {"x" + Repeated("/", 4096), "4096 bytes", 0},
      // The length is judged first: a giant name is never split.
      {Repeated("../", 30000), "4096 bytes", 0},
  };
  for (const Case& c : cases) {
    for (bool windows : {false, true}) {
      EntryPath path;
      std::string why;
      const bool taken = SplitEntryName(c.name, windows, &path, &why);
      SCOPED_TRACE(std::to_string(c.name.size()) + " bytes" + (windows ? " (Windows)" : " (Linux)"));
      if (c.refusal) {
        EXPECT_FALSE(taken);
        EXPECT_NE(why.find(c.refusal), std::string::npos) << why;
      } else {
        EXPECT_TRUE(taken) << why;
        EXPECT_EQ(path.parts.size(), c.depth);
      }
    }
  }
  EXPECT_GE(kMaxNameBytes, 4096u);  // a Linux path: PATH_MAX
}

// A standard stream as WriteThrough sees it, with what reached it.
struct FakeStream {
  StdPort port;
  std::string bytes;
  std::vector<std::u16string> pieces;
  int writesLeft = 1000;

  FakeStream(bool console, std::u16string units) {
    port.console = console;
    port.toUnits = [units](std::string_view) { return units; };
    port.writeUnits = [this](std::u16string_view piece) {
      pieces.emplace_back(piece);
      return --writesLeft >= 0;
    };
    port.writeBytes = [this](std::string_view text) {
      bytes += text;
      return true;
    };
  }
};

TEST(StdOutput, AConsoleGetsUnitsAndAnythingElseTheBytes) {
  const std::string text = "unzip: a.jar: \xC3\xA4\xE6\x97\xA5.txt: refused\n";
  const std::u16string units = u"unzip: a.jar: \u00e4\u65e5.txt: refused\n";
  FakeStream pipe(false, units);
  EXPECT_TRUE(WriteThrough(pipe.port, text));
  EXPECT_EQ(pipe.bytes, text);
  EXPECT_TRUE(pipe.pieces.empty());
  FakeStream console(true, units);
  EXPECT_TRUE(WriteThrough(console.port, text));
  EXPECT_EQ(console.bytes, "");
  EXPECT_EQ(console.pieces, std::vector<std::u16string>{units});
}

TEST(StdOutput, LongTextReachesAConsoleInPiecesThatSplitNoPair) {
  const std::u16string face = u"\U0001F600";
  const std::u16string units = std::u16string(kConsolePiece - 1, u'a') + face + std::u16string(kConsolePiece, u'b') + face;
  FakeStream console(true, units);
  EXPECT_TRUE(WriteThrough(console.port, "ignored by the fake"));
  ASSERT_EQ(console.pieces.size(), 3u);
  EXPECT_EQ(console.pieces[0], std::u16string(kConsolePiece - 1, u'a'));
  std::u16string whole;
  for (const std::u16string& piece : console.pieces) {
    EXPECT_LE(piece.size(), kConsolePiece);
    const char16_t last = piece.back();
    EXPECT_FALSE(last >= 0xD800 && last <= 0xDBFF) << "a piece ends inside a pair";
    whole += piece;
  }
  EXPECT_EQ(whole, units);
  // A console that stops taking text ends the write.
  FakeStream broken(true, units);
  broken.writesLeft = 0;
  EXPECT_FALSE(WriteThrough(broken.port, "x"));
  EXPECT_EQ(broken.pieces.size(), 1u);
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

// The archive expander's rules that need no file system, with the rules of
// both systems (the Windows ones run here too).
#include <gtest/gtest.h>

#include "tools/unzip/archive_pattern.h"

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

}  // namespace
}  // namespace unzip

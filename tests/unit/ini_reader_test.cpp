// The INI reader's rules, each as established against the Windows profile
// service (ini_diff runs the corpus through both under Wine).
#include "platform/shared/ini_reader.h"

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "test_support.h"

namespace platform {
namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

constexpr size_t kMax = 1023;

std::string Read(const std::string& text, const std::string& section, const std::string& key,
                 const std::string& defaultValue = "dflt", size_t maxChars = kMax) {
  return IniReadString(text, section, key, defaultValue, maxChars);
}

TEST(IniReaderTest, NamesMatchWithoutCaseAndBlanks) {
  const std::string ini = "  [ Certified Versions ]\t\n\tWindows \t= 6.1 \n[Quelta]\nKEY=v\n";
  EXPECT_EQ(Read(ini, "certified versions", "WINDOWS"), "6.1");
  EXPECT_EQ(Read(ini, " Certified Versions\t", "  windows "), "6.1");
  EXPECT_EQ(Read(ini, "Certified  Versions", "Windows"), "dflt");  // inner blanks count
  EXPECT_EQ(Read(ini, "QUELTA", "key"), "v");
  EXPECT_EQ(Read(ini, "Quelta", "KEY2"), "dflt");
  EXPECT_EQ(Read(ini, "Other", "KEY"), "dflt");
}

TEST(IniReaderTest, OnlyTheFirstSectionAndKeyOfANameCount) {
  const std::string ini =
      "[Quelta]\nA=first\nA=second\nNOEQ\nNOEQ=later\n[Other]\nB=other\n[QUELTA]\nA=third\nC=only here\n";
  EXPECT_EQ(Read(ini, "Quelta", "a"), "first");
  EXPECT_EQ(Read(ini, "Quelta", "C"), "dflt");
  // The first NOEQ has no "=", so the default wins over the later value.
  EXPECT_EQ(Read(ini, "Quelta", "NOEQ"), "dflt");
}

TEST(IniReaderTest, LinesBeforeTheFirstHeaderFormTheUnnamedSection) {
  const std::string ini = "KEY=before\n=unnamed key\n[]\nKEY=in empty header\n[Quelta]\nKEY=in\n";
  EXPECT_EQ(Read(ini, "", "KEY"), "before");
  EXPECT_EQ(Read(ini, "  ", "key"), "before");
  EXPECT_EQ(Read(ini, "", ""), "unnamed key");
  EXPECT_EQ(Read(ini, "Quelta", "KEY"), "in");
  EXPECT_EQ(Read("", "", "KEY"), "dflt");
}

TEST(IniReaderTest, LineStructure) {
  // CR, LF and any mix of them end a line; the last line needs no end.
  EXPECT_EQ(Read("[Q]\rA=1\rB=2", "Q", "B"), "2");
  EXPECT_EQ(Read("[Q]\r\n\r\nA=1\n\rB=2\r\r\n", "Q", "B"), "2");
  // A header runs to the last "]"; without one the line is a key.
  EXPECT_EQ(Read("[a]b] junk\nK=v\n", "a]b", "K"), "v");
  EXPECT_EQ(Read("[Q]\n[Q2\nK=v\n", "Q", "[Q2"), "dflt");
  EXPECT_EQ(Read("[Q]\n[Q2\nK=v\n", "Q", "K"), "v");
  // Nothing is a comment.
  const std::string ini = "[Q]\n;K=commented\n#H=hash\nV=x ; not a comment\n";
  EXPECT_EQ(Read(ini, "Q", ";K"), "commented");
  EXPECT_EQ(Read(ini, "Q", "#H"), "hash");
  EXPECT_EQ(Read(ini, "Q", "K"), "dflt");
  EXPECT_EQ(Read(ini, "Q", "V"), "x ; not a comment");
}

TEST(IniReaderTest, ValueText) {
  const std::string ini =
      "[Q]\nEQ = a=b = c \nTABS=\t\x0b\x0c\x1a value \x1a\t\nEMPTY=\nBLANK=   \nINNER=a  b\n";
  EXPECT_EQ(Read(ini, "Q", "EQ"), "a=b = c");
  EXPECT_EQ(Read(ini, "Q", "TABS"), "value");
  // Present but empty is empty, not the default: callers decide.
  EXPECT_EQ(Read(ini, "Q", "EMPTY"), "");
  EXPECT_EQ(Read(ini, "Q", "BLANK"), "");
  EXPECT_EQ(Read(ini, "Q", "INNER"), "a  b");
}

TEST(IniReaderTest, OnePairOfEnclosingQuotesIsRemoved) {
  const std::string ini =
      "[Q]\nD=\"two words\"\nS=' padded '\nP= \" x \" \nOPEN=\"open\nMIX=\"a'\nONE=\"\n"
      "EMPTY=\"\"\nNEST=\"'in'\"\nMID=a \"b\" c\nENDS=\"a\" and \"b\"\n";
  EXPECT_EQ(Read(ini, "Q", "D"), "two words");
  EXPECT_EQ(Read(ini, "Q", "S"), " padded ");
  EXPECT_EQ(Read(ini, "Q", "P"), " x ");
  EXPECT_EQ(Read(ini, "Q", "OPEN"), "\"open");
  EXPECT_EQ(Read(ini, "Q", "MIX"), "\"a'");
  EXPECT_EQ(Read(ini, "Q", "ONE"), "\"");
  EXPECT_EQ(Read(ini, "Q", "EMPTY"), "");
  EXPECT_EQ(Read(ini, "Q", "NEST"), "'in'");
  EXPECT_EQ(Read(ini, "Q", "MID"), "a \"b\" c");
  EXPECT_EQ(Read(ini, "Q", "ENDS"), "a\" and \"b");
}

TEST(IniReaderTest, DefaultLosesTrailingBlanksAndQuotes) {
  EXPECT_EQ(Read("", "Q", "K", "d  "), "d");
  EXPECT_EQ(Read("", "Q", "K", "   "), " ");
  EXPECT_EQ(Read("", "Q", "K", " lead"), " lead");
  EXPECT_EQ(Read("", "Q", "K", "\"quoted\""), "quoted");
  EXPECT_EQ(Read("", "Q", "K", ""), "");
}

TEST(IniReaderTest, AnswersAreCutAtMaxChars) {
  std::string v1500(1500, 'v');
  std::string ini = "[Q]\nLONG=" + v1500 + "\nSHORT=abc\n";
  EXPECT_EQ(Read(ini, "Q", "LONG"), std::string(1023, 'v'));
  EXPECT_EQ(Read(ini, "Q", "SHORT", "", 2), "ab");
  EXPECT_EQ(Read(ini, "Q", "SHORT", "", 0), "");
  EXPECT_EQ(Read(ini, "Q", "NONE", "default", 3), "def");
  // Quoted values: a value that fits keeps all its characters; one that
  // fills the limit exactly also loses its last one (the service takes it
  // for the closing quote).
  ini = "[Q]\nFITS=\"" + std::string(1022, 'q') + "\"\nEXACT=\"" + std::string(1023, 'q') +
        "\"\nOVER=\"" + std::string(1024, 'q') + "\"\n";
  EXPECT_EQ(Read(ini, "Q", "FITS"), std::string(1022, 'q'));
  EXPECT_EQ(Read(ini, "Q", "EXACT"), std::string(1022, 'q'));
  EXPECT_EQ(Read(ini, "Q", "OVER"), std::string(1023, 'q'));
}

TEST(IniReaderTest, EncodingsAndNulBytes) {
  EXPECT_EQ(Read("\xEF\xBB\xBF[Q]\nK=after mark\n", "Q", "K"), "after mark");
  // The mark only counts at the start.
  EXPECT_EQ(Read("[Q]\n\xEF\xBB\xBFK=v\n", "Q", "K"), "dflt");
  std::string le = "\xFF\xFE";
  std::string be = "\xFE\xFF";
  for (char c : std::string("[Q]\nK= caf\xE9 \n")) {
    le += c, le += '\0';
    be += '\0', be += c;
  }
  EXPECT_EQ(Read(le, "Q", "K"), "caf\xC3\xA9");
  EXPECT_EQ(Read(be, "q", "k"), "caf\xC3\xA9");
  EXPECT_EQ(Read(le.substr(0, le.size() - 1), "Q", "K"), "caf\xC3\xA9");  // odd byte dropped
  // UTF-8 text without a mark passes through byte for byte.
  EXPECT_EQ(Read("[Q]\nK=na\xC3\xAFve\n", "Q", "K"), "na\xC3\xAFve");

  using namespace std::string_literals;
  const std::string ini = "[Q]\nK=before\0after\nN\0AME=nul in name\n[S\0x]\nK=nul in header\n"s;
  EXPECT_EQ(Read(ini, "Q", "K"), "before");
  EXPECT_EQ(Read(ini, "Q", "N"), "nul in name");
  EXPECT_EQ(Read(ini, "S", "K"), "nul in header");
}

TEST(IniReaderTest, FilesThatCannotBeReadGiveTheDefault) {
  TempDir dir;
  WriteFile(dir / "q.ini", "[Q]\nK=from file\n");
  EXPECT_EQ(IniReadFileString(dir / "q.ini", "Q", "K", "d", kMax), "from file");
  // A missing file reads as empty: the default loses its quotes...
  EXPECT_EQ(IniReadFileString(dir / "missing.ini", "Q", "K", "\"d\"  ", kMax), "d");
  // ...but a directory, or a missing directory on the way, cannot be
  // opened at all and the default stays as it is.
  EXPECT_EQ(IniReadFileString(dir.path(), "Q", "K", "\"d\"  ", kMax), "\"d\"");
  EXPECT_EQ(IniReadFileString(dir / "no/q.ini", "Q", "K", "\"d\"", 2), "\"d");
  EXPECT_EQ(IniReadFileString(dir.path(), "Q", "K", "", kMax), "");
}

TEST(IniReaderTest, ProfileReadsSeeEveryChangeOfTheFile) {
  // The Linux reader keeps the file's bytes between questions: a rewrite of
  // the same size, a replacement and a removal must each be seen at once.
  TempDir dir;
  const std::string path = dir / "q.ini";
  WriteFile(path, "[Q]\nK=first\n");
  EXPECT_EQ(ReadProfileString("Q", "K", "d", path, kMax), "first");
  WriteFile(path, "[Q]\nK=other\n");
  EXPECT_EQ(ReadProfileString("Q", "K", "d", path, kMax), "other");
  WriteFile(dir / "new.ini", "[Q]\nK=renamed over it, longer\n");
  std::filesystem::rename(dir / "new.ini", path);
  EXPECT_EQ(ReadProfileString("Q", "K", "d", path, kMax), "renamed over it, longer");
  WriteFile(dir / "r.ini", "[Q]\nK=another file\n");
  EXPECT_EQ(ReadProfileString("Q", "K", "d", dir / "r.ini", kMax), "another file");
  std::filesystem::remove(path);
  EXPECT_EQ(ReadProfileString("Q", "K", "\"d\"", path, kMax), "d");
  std::filesystem::create_directory(path);
  EXPECT_EQ(ReadProfileString("Q", "K", "\"d\"", path, kMax), "\"d\"");
}

TEST(IniReaderTest, ArbitraryAndHugeInputIsSafe) {
  TempDir dir;
  std::string junk = "x";
  unsigned seed = 12345;
  for (int i = 0; i < 1 << 20; ++i) {
    seed = seed * 1103515245 + 12345;
    junk += char(seed >> 16);
  }
  std::string bigLine(4 << 20, 'x');
  WriteFile(dir / "big.ini", junk + "\n[Q]\n" + bigLine + "\nK=" + bigLine + "\n[" + bigLine +
                                 "]\nK=x\n[Q2]\nK=found\n");
  EXPECT_EQ(IniReadFileString(dir / "big.ini", "Q2", "K", "d", kMax), "found");
  EXPECT_EQ(IniReadFileString(dir / "big.ini", "Q", "K", "d", kMax), std::string(kMax, 'x'));

  // Every file of the corpus answers every kind of query.
  std::string corpus = std::string(QEL_SOURCE_DIR) + "/tests/ini/corpus";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    ++files;
    for (const char* section : {"Quelta", "", " ", "Q\"", "[Quelta]"}) {
      for (const char* key : {"KEY", "", "=", "\"", "no"}) {
        for (size_t maxChars : {size_t(0), size_t(1), kMax, size_t(-1)}) {
          std::string value =
              IniReadFileString(entry.path().string(), section, key, "\"", maxChars);
          EXPECT_LE(value.size(), maxChars) << entry.path();
        }
      }
    }
  }
  EXPECT_GT(files, 30);
}

// The lines a checker is shown are the lines the lookups see.
TEST(IniReaderTest, LinesAsTheLookupsSplitThem) {
  const char text[] = "[Quelta]\r\nA=1\r\n\r\n  B  \rC = x\n[ S ]x]\n\t;K=v\nD\0E=1\n";
  const std::string ini(text, sizeof text - 1);
  const std::vector<IniLine> lines = IniReadLines(ini);
  ASSERT_EQ(lines.size(), 7u);
  auto same = [](const IniLine& line, size_t number, bool section, const char* name, bool equals) {
    return line.number == number && line.isSection == section && line.name == name && line.hasEquals == equals;
  };
  EXPECT_TRUE(same(lines[0], 1, true, "Quelta", false));
  EXPECT_TRUE(same(lines[1], 2, false, "A", true));
  EXPECT_TRUE(same(lines[2], 4, false, "B", false));  // CR LF is one line end, a lone CR another
  EXPECT_TRUE(same(lines[3], 5, false, "C", true));
  EXPECT_TRUE(same(lines[4], 6, true, "S ]x", false));  // up to the last "]"
  EXPECT_TRUE(same(lines[5], 7, false, ";K", true));
  EXPECT_TRUE(same(lines[6], 8, false, "D", true));  // a NUL ends the name, not the line
  EXPECT_EQ(Read(ini, "Quelta", "C"), "x");

  // UTF-16 with its byte-order mark, as the lookups read it.
  const std::vector<IniLine> wide = IniReadLines(std::string("\xFF\xFE[\0Q\0]\0\n\0K\0=\0v\0", 14));
  ASSERT_EQ(wide.size(), 2u);
  EXPECT_TRUE(same(wide[1], 2, false, "K", true));
  EXPECT_TRUE(IniNamesEqual("quelta", "QUELTA"));
  EXPECT_FALSE(IniNamesEqual("Quelta ", "Quelta"));
}

}  // namespace
}  // namespace platform



#include "prereq/prereq_reader.h"
#include "prereq_fixture.h"

namespace prereq_test {

using prereq::NextPrereqEntry;
using prereq::ReadPrereqLine;

TEST(PrereqReader, LinesSkipBlanksKeepIndentDropCrAndEndUnterminated) {
  prereq::PrereqText in(" \t\n\nA=1\r\n  B=2\r\r\nlast");
  std::string line;
  EXPECT_EQ(ReadPrereqLine(in, line), 0);
  EXPECT_EQ(line, "A=1");
  EXPECT_EQ(ReadPrereqLine(in, line), 0);
  EXPECT_EQ(line, "  B=2\r");  // only the carriage return before the newline goes
  EXPECT_EQ(ReadPrereqLine(in, line), -1);
  EXPECT_EQ(line, "last");
  EXPECT_EQ(ReadPrereqLine(in, line), -1);
  EXPECT_EQ(line, "");

  prereq::PrereqText longLine(std::string(2000, 'x') + "\nnext\n");
  EXPECT_EQ(ReadPrereqLine(longLine, line), 0);
  EXPECT_EQ(line.size(), prereq::kMaxPrereqLineChars);
  EXPECT_EQ(ReadPrereqLine(longLine, line), 0);
  EXPECT_EQ(line, "next");
}

TEST(PrereqReader, SectionHeaders) {
  std::string line = "  [Generic Prereqs] \t";
  EXPECT_EQ(prereq::GetSectionHeader(line).value_or("-"), "[Generic Prereqs]");
  EXPECT_EQ(line, "  [Generic Prereqs]");
  line = "[Generic Prereqs] x";
  EXPECT_EQ(prereq::GetSectionHeader(line).value_or("-"), "[Generic Prereqs] x");
  for (std::string notHeader : {"x[a]", "[abc", "A=[b]"}) {
    EXPECT_FALSE(prereq::GetSectionHeader(notHeader)) << notHeader;
  }

  prereq::PrereqText in("[generic prereqs]\nA=1\n[Generic Prereqs] x\n[ Generic Prereqs]\n [Generic Prereqs]  \nB=2\n");
  ASSERT_EQ(prereq::FindPrereqSection(in, "Generic Prereqs"), 0);
  std::string key, value;
  ASSERT_EQ(NextPrereqEntry(in, key, value), 0);
  EXPECT_EQ(key + "|" + value, "B|2");
  prereq::PrereqText none("[Other]\nA=1");
  EXPECT_EQ(prereq::FindPrereqSection(none, "Generic Prereqs"), -1);
}

TEST(PrereqReader, EntriesFollowTheTokenizerRules) {
  struct Case {
    const char* line;
    const char* key;
    const char* value;
  } cases[] = {
      {"CPU=500", "CPU", "500"},         {"CPU= 500 ", "CPU", "500"},
      {"CPU = 500", "CPU", ""},          {"CPU =500", "CPU", ""},
      {"A=b=c", "A", "b"},               {"A=\"b=c\"", "A", "b=c"},
      {"A=x y", "A", "x y"},             {"CPU", "CPU", ""},
      {";CPU=500", ";CPU", "500"},       {"A=\"\"", "A", ""},
      {"A=\"  \"", "A", "  "},           {"A=\"open", "A", ""},
      {"\"my key\"=v", "my key", ""},    {"\tK\t=v", "K", ""},
  };
  for (const Case& c : cases) {
    prereq::PrereqText in(std::string(c.line) + "\n");
    std::string key, value = "stale";
    ASSERT_EQ(NextPrereqEntry(in, key, value), 0) << c.line;
    EXPECT_EQ(key, c.key) << c.line;
    EXPECT_EQ(value, c.value) << c.line;
  }
}

TEST(PrereqReader, SectionWalkEnds) {
  std::string key, value;
  prereq::PrereqText twice("A=1\n\t \nA=2\nB=3");  // no newline at the end
  std::string seen;
  while (NextPrereqEntry(twice, key, value) == 0) seen += key + value + ";";
  EXPECT_EQ(seen, "A1;A2;B3;");

  for (const char* text : {"A=1\n=x\nB=2\n", "A=1\n[Next]\nB=2\n", "A=1\n\"open\nB=2\n"}) {
    prereq::PrereqText in(text);
    ASSERT_EQ(NextPrereqEntry(in, key, value), 0);
    EXPECT_EQ(NextPrereqEntry(in, key, value), -1) << text;
  }
}

TEST_F(PrereqTest, ValueLookups) {
  Param("[Other]\nCPU=1\n[S]\n; comment\nSWAP_SPACE = 100\nCPU=500\nCPU=600\ncpu=700\nEMPTY=\n=stop\nAFTER=1\n"
        "[T]\nLAST=9");
  auto get = [&](const char* section, const char* key) {
    return prereq::GetPrereqValue(section, key, "dflt", state_.paramFile);
  };
  EXPECT_EQ(get("S", "CPU"), "500");
  EXPECT_EQ(get("S", "cpu"), "700");
  EXPECT_EQ(get("s", "CPU"), "dflt");
  EXPECT_EQ(get("S", "SWAP_SPACE"), "dflt");
  EXPECT_EQ(get("S", "EMPTY"), "dflt");
  EXPECT_EQ(get("S", "AFTER"), "dflt");
  EXPECT_EQ(get("S", "LAST"), "dflt");
  EXPECT_EQ(get("T", "LAST"), "9");
  EXPECT_EQ(get("Missing", "CPU"), "dflt");
  EXPECT_EQ(prereq::GetPrereqValue("S", "CPU", "dflt", dir_ / "absent.ini"), "dflt");

  std::string value;
  EXPECT_EQ(prereq::GetPrereqValueEither("S", "T", "CPU", "", value, state_.paramFile), 1);
  EXPECT_EQ(value, "500");
  EXPECT_EQ(prereq::GetPrereqValueEither("S", "T", "LAST", "", value, state_.paramFile), 2);
  EXPECT_EQ(value, "9");
  EXPECT_EQ(prereq::GetPrereqValueEither("", "", "CPU", "", value, state_.paramFile), 2);
  EXPECT_EQ(value, "");
}

}  // namespace prereq_test

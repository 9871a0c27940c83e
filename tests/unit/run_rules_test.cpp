#include "launcher/run_rules.h"

#include <gtest/gtest.h>

namespace launcher {
namespace {

TEST(RunRulesTest, BootstrapSizeIsReadAsTheCLibraryReadsIt) {
  const std::pair<const char*, long> cases[] = {
      {"45", 45}, {"  2047", 2047}, {"+12", 12}, {"-1", -1}, {"12MB", 12}, {"", 0},
      {"abc", 0}, {"\t-0", 0},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseBootstrapSize(text), value) << text;
  // Far too large to hold: still out of range, never wrapped into it.
  EXPECT_FALSE(BootstrapSizeInRange(ParseBootstrapSize("99999999999999999999")));
  EXPECT_FALSE(BootstrapSizeInRange(ParseBootstrapSize("-99999999999999999999")));
}

TEST(RunRulesTest, BootstrapSizeRangeBoundaries) {
  const std::pair<long, bool> cases[] = {
      {-1000001, false}, {-1, false}, {0, true}, {1, true}, {2046, true}, {2047, true}, {2048, false},
  };
  for (const auto& [megabytes, inRange] : cases) EXPECT_EQ(BootstrapSizeInRange(megabytes), inRange) << megabytes;
}

TEST(RunRulesTest, TheLauncherWaitsWithoutABootstrapOrWhenAsked) {
  struct Case {
    bool bootstrap;
    bool waitSetting;  // WAIT_FOR_COMPLETION begins with "T"
    const char* tail;
    bool waits;
  };
  const Case cases[] = {
      {false, false, "", true},  // runs from the medium: always waited for
      {true, false, "", false},
      {true, true, "", true},
      {true, false, "-WAITFORCOMPLETION", true},
      {true, false, "-cleanup", true},
      {true, false, "-SAVEINVENTORY", true},
      {true, false, "-DETACHHOME -REMOVEHOME", false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> elements = {"/d/setup", c.tail};
    EXPECT_EQ(DecideWait(c.bootstrap, c.waitSetting, ReadOptions(elements)), c.waits)
        << c.bootstrap << " " << c.waitSetting << " " << c.tail;
  }
}

TEST(RunRulesTest, WhereTheRuntimeOfABootstrapComesFrom) {
  struct Case {
    bool jreLoc, known, noConsole, bootstrapOnly, promptDisabled;
    RuntimeSource source;
  };
  const Case cases[] = {
      {true, true, true, true, true, RuntimeSource::CommandLine},
      {false, true, true, true, true, RuntimeSource::Settings},
      {false, false, true, true, true, RuntimeSource::NobodyToAsk},
      {false, false, false, true, true, RuntimeSource::NotNeeded},
      {false, false, false, false, true, RuntimeSource::PromptDisabled},
      {false, false, false, false, false, RuntimeSource::Prompt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecideRuntimeSource(c.jreLoc, c.known, c.noConsole, c.bootstrapOnly, c.promptDisabled), c.source)
        << c.jreLoc << c.known << c.noConsole << c.bootstrapOnly << c.promptDisabled;
  }
}

}  // namespace
}  // namespace launcher

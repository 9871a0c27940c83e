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
    const char* waitSetting;
    bool waitOption, cleanup, saveInventory;
    bool waits;
  };
  const Case cases[] = {
      {false, "F", false, false, false, true},  // runs from the medium: always waited for
      {true, "F", false, false, false, false},
      {true, "T", false, false, false, true},
      {true, "t", false, false, false, false},  // only an upper-case T counts
      {true, "", false, false, false, false},
      {true, "F", true, false, false, true},
      {true, "F", false, true, false, true},
      {true, "F", false, false, true, true},
  };
  for (const Case& c : cases) {
    Options options;
    options.waitForCompletion = c.waitOption;
    options.cleanup = c.cleanup;
    options.saveInventory = c.saveInventory;
    EXPECT_EQ(DecideWait(c.bootstrap, c.waitSetting, options), c.waits)
        << c.bootstrap << " " << c.waitSetting << " " << c.waitOption << c.cleanup << c.saveInventory;
  }
}

}  // namespace
}  // namespace launcher

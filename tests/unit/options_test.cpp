#include "launcher/options.h"

#include "common/process_state.h"
#include "test_support.h"

namespace launcher {
namespace {

using testing_support::LauncherTest;

class OptionsTest : public LauncherTest {
 protected:
  Options Parse(const std::string& tail, const std::string& program = "/opt/dvd/setup") {
    elements_ = {program, tail};
    Options options;
    ParseEarlyOptions(elements_, options);
    ParseOptionLoop(elements_, options);
    return options;
  }
  std::vector<std::string> elements_;
};

TEST_F(OptionsTest, OptionsAreFoundInsideWordsInAnyCase) {
  for (const char* tail : {"-silent", "-Silent", "-SILENT", "-SILENTLY"}) {
    common::ResetProcess();
    Parse(tail);
    EXPECT_TRUE(common::Process().silent) << tail;
  }
  common::ResetProcess();
  Parse("", "/home/x/-DEBUG/setup");
  EXPECT_TRUE(common::Process().debug);
}

}  // namespace
}  // namespace launcher

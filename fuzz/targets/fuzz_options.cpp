// The command tail: early pass, option loop, assignments and mode choice on
// any text; the Windows quoting of a Linux argv gives back the same words.
#include <string>
#include <vector>

#include "launcher/options.h"
#include "platform/platform.h"
#include "platform/shared/cmdline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string tail(reinterpret_cast<const char*>(data), size);
  platform::TestOverrides().stdoutSink = [](const std::string&) {};
  platform::TestOverrides().stderrSink = [](const std::string&) {};
  std::vector<std::string> elements = {"/opt/setup", tail};
  const launcher::Options options = launcher::ReadOptions(elements);
  launcher::DecideLauncherMode(options);
  launcher::ConvertJvmArgs(tail);

  std::vector<std::string> words = platform::SplitWindowsCommandLine(tail);
  if (words.size() > 1) {
    std::vector<std::string> args(words.begin() + 1, words.end());
    std::vector<std::string> back = platform::SplitWindowsCommandLine("p " + platform::JoinCommandTail(args));
    back.erase(back.begin());
    if (back != args) __builtin_trap();
  }
  return 0;
}

// The Linux entry: the same two elements the Windows entry hands over, the
// executable's full path and the command tail rebuilt by the Windows rules.
#include <string>
#include <vector>

#include "launcher/run_sequence.h"
#include "platform/platform.h"
#include "platform/shared/cmdline.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::string program = platform::ModuleFileName();
  if (program.empty() && argc > 0) program = argv[0];
  std::vector<std::string> elements = {program, platform::JoinCommandTail(args)};
  return launcher::LauncherMain(elements);
}

// The Windows GUI entry: the module file name and the command tail, as two
// elements, and LauncherMain's result as the exit status. The handle types
// are only passed through, so they are declared here without the system
// header.
#include <string>
#include <vector>

#include "launcher/run_sequence.h"
#include "platform/platform.h"

struct HINSTANCE__;

extern "C" int __stdcall WinMain(HINSTANCE__*, HINSTANCE__*, char* commandTail, int) {
  std::vector<std::string> elements = {platform::ModuleFileName(),
                                       commandTail ? std::string(commandTail) : std::string()};
  return launcher::LauncherMain(elements);
}

// The Windows GUI entry: the module file name and the command tail, as two
// elements, and LauncherMain's result as the exit status. The tail is read
// in UTF-16 (platform::CommandTail), not taken from WinMain's ANSI one,
// which holds look-alikes for letters the code page lacks. The handle types
// are only passed through, so they are declared here without the system
// header.
#include <string>
#include <vector>

#include "launcher/run_sequence.h"
#include "platform/platform.h"

struct HINSTANCE__;

extern "C" int __stdcall WinMain(HINSTANCE__*, HINSTANCE__*, char*, int) {
  platform::RestrictDllSearch();
  std::vector<std::string> elements = {platform::ModuleFileName(), platform::CommandTail()};
  return launcher::LauncherMain(elements);
}

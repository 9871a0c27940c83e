// The checker's entry on both systems: a console program whose arguments
// arrive in the process code page (UTF-8 under the manifest on Windows).
#include <string>
#include <vector>

#include "params/paths.h"
#include "platform/platform.h"
#include "tools/qelcheck/check_medium.h"

int main(int argc, char** argv) {
  platform::RestrictDllSearch();
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return qelcheck::Main(args, params::LauncherDir().value_or("."));
}

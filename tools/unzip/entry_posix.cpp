// The Linux entry point; the rest of the expander is a library that test
// programs link too.
#include <string>
#include <vector>

#include "tools/unzip/command.h"

int main(int argc, char** argv) {
  return unzip::Main(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}

// Windows command-line quoting: any list of arguments (the input split at
// NUL bytes), quoted and joined as the Linux entry does, splits back into the
// same arguments; a program name without blanks or quotes stays itself.
#include <string>
#include <vector>

#include "platform/shared/cmdline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args;
  size_t start = 0;
  for (;;) {
    size_t nul = input.find('\0', start);
    args.push_back(input.substr(start, nul == std::string::npos ? std::string::npos : nul - start));
    if (nul == std::string::npos) break;
    start = nul + 1;
  }
  const std::string program = "C:\\Program Files\\p.exe";
  std::string line = platform::QuoteWindowsArg(program) + " " + platform::JoinCommandTail(args);
  std::vector<std::string> back = platform::SplitWindowsCommandLine(line);
  if (back.empty() || back.front() != program) __builtin_trap();
  back.erase(back.begin());
  if (back != args) __builtin_trap();

  // Each argument alone, quoted, is one word again.
  for (const std::string& arg : args) {
    std::vector<std::string> one = platform::SplitWindowsCommandLine("p " + platform::QuoteWindowsArg(arg));
    if (one.size() != 2 || one[1] != arg) __builtin_trap();
  }
  return 0;
}

// Fake Java executable for the end-to-end tests.
//
// Appends to fakejava.log beside itself one record per start:
//   run
//   cmdline=<the raw command line>     (Windows only)
// (every text in UTF-8)
//   cwd=<current directory>
//   arg=<argv[i]>                      one line per element, argv[0] first
//   signals=<dispositions>             (Linux only)
//   inherited=<path>                   one line per file or directory it
//                                      inherited besides its standard streams
//   end
// When fakejava.rename exists beside it, it renames the directory given
// after -scratchPath to that path with ".moved" appended and appends
//   rename=<0 or the system's error number>
// The record is also appended to the file QEL_FAKEJAVA_LOG names, when set:
// a test that loses the scratch directory with the runtime in it still
// learns what the installer got.
// Then, while fakejava.sleep exists beside it, waits up to the number of
// milliseconds it holds (removing the file ends the wait early), appends
//   done
// and exits with the decimal number in fakejava.exit (may be negative),
// else 0.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "os.h"

namespace {

std::string ReadWhole(const std::string& path) {
  std::string text;
  if (FILE* in = fakejava::OpenFile(path, "rb")) {
    char buffer[256];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, n);
    std::fclose(in);
  }
  return text;
}

void Append(const std::string& path, const std::string& text) {
  if (FILE* log = fakejava::OpenFile(path, "ab")) {
    std::fwrite(text.data(), 1, text.size(), log);
    std::fclose(log);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Listed first: the program's own files must not count.
  const std::vector<std::string> inherited = fakejava::InheritedFiles();
  const std::vector<std::string> args = fakejava::Arguments(argc, argv);
  std::string exe = fakejava::ExecutablePath();
  if (exe.empty() && !args.empty()) exe = args[0];
  size_t cut = exe.find_last_of("/\\");
  std::string dir = cut == std::string::npos ? "." : exe.substr(0, cut + 1);

  std::string record = "run\n";
  std::string raw;
  if (fakejava::RawCommandLine(raw)) record += "cmdline=" + raw + "\n";
  record += "cwd=" + fakejava::CurrentDirectory() + "\n";
  for (const std::string& arg : args) record += "arg=" + arg + "\n";
  const std::string signals = fakejava::SignalDispositions();
  if (!signals.empty()) record += "signals=" + signals + "\n";
  for (const std::string& file : inherited) record += "inherited=" + file + "\n";
  record += "end\n";
  const std::string logPath = dir + "fakejava.log";
  Append(logPath, record);
  if (const char* extra = std::getenv("QEL_FAKEJAVA_LOG")) {
    if (*extra) Append(extra, record);
  }

  if (fakejava::FileExists(dir + "fakejava.rename")) {
    for (size_t i = 0; i + 1 < args.size(); ++i) {
      if (args[i] != "-scratchPath") continue;
      const int error = fakejava::RenamePath(args[i + 1], args[i + 1] + ".moved");
      Append(logPath, "rename=" + std::to_string(error) + "\n");
    }
  }

  const std::string sleepFile = dir + "fakejava.sleep";
  if (fakejava::FileExists(sleepFile)) {
    int remaining = std::atoi(ReadWhole(sleepFile).c_str());
    while (remaining > 0 && fakejava::FileExists(sleepFile)) {
      int slice = remaining < 20 ? remaining : 20;
      fakejava::SleepMilliseconds(slice);
      remaining -= slice;
    }
  }

  Append(logPath, "done\n");
  const std::string exitFile = dir + "fakejava.exit";
  if (fakejava::FileExists(exitFile)) return std::atoi(ReadWhole(exitFile).c_str());
  return 0;
}

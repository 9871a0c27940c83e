// The few system services the fake Java executable needs.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Texts are UTF-8 on both systems: on Windows they are read in UTF-16, as a
// real Java runtime reads them, whatever the ANSI code page.
namespace fakejava {

// Full path of the running executable ("" when unknown).
std::string ExecutablePath();
// The command line exactly as the system handed it over; only Windows has one.
bool RawCommandLine(std::string& line);
// The arguments, argv[0] first, split by the C runtime's rules.
std::vector<std::string> Arguments(int argc, char** argv);
// fopen for a UTF-8 path.
FILE* OpenFile(const std::string& path, const char* mode);
std::string CurrentDirectory();
bool FileExists(const std::string& path);
void SleepMilliseconds(int ms);
// How the program found the signals a launcher may have set up for it, e.g.
// "SIGPIPE=default SIGINT=ignored SIGQUIT=ignored"; "" where there are none.
std::string SignalDispositions();
// What the program inherited beyond the standard handles, one
// "<number> <what it leads to>" each: Linux descriptors above 2, Windows
// handles of files and directories other than the standard ones and the
// current directory.
std::vector<std::string> InheritedHandles();

}  // namespace fakejava

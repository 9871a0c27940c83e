// The few system services the fake Java executable needs.
#pragma once

#include <string>

namespace fakejava {

// Full path of the running executable ("" when unknown).
std::string ExecutablePath();
// The command line exactly as the system handed it over; only Windows has one.
bool RawCommandLine(std::string& line);
std::string CurrentDirectory();
bool FileExists(const std::string& path);
void SleepMilliseconds(int ms);
// How the program found the signals a launcher may have set up for it, e.g.
// "SIGPIPE=default SIGINT=ignored SIGQUIT=ignored"; "" where there are none.
std::string SignalDispositions();

}  // namespace fakejava

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

}  // namespace fakejava

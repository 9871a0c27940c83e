#include <windows.h>

#include "os.h"

// The arguments as the C runtime splits them, never expanded as wildcards.
extern "C" {
int _dowildcard = 0;
}

namespace fakejava {

std::string ExecutablePath() {
  char buffer[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

bool RawCommandLine(std::string& line) {
  const char* raw = GetCommandLineA();
  line = raw ? raw : "";
  return true;
}

std::string CurrentDirectory() {
  char buffer[MAX_PATH * 4];
  DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void SleepMilliseconds(int ms) { Sleep(static_cast<DWORD>(ms)); }

std::string SignalDispositions() { return {}; }

}  // namespace fakejava

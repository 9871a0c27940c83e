// The Windows entry point: the C runtime's own split of the wide command line,
// handed on as UTF-8. Globbing stays off because the pattern is matched by the
// program itself.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/dll_search_win32.h"
#include "tools/unzip/command.h"

namespace {

std::string Utf8(const wchar_t* wide) {
  int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string text(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), n, nullptr, nullptr);
  text.pop_back();  // the terminating NUL
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  platform::win32::RestrictDllSearchToSystem32();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));
  return unzip::Main(args);
}

#include <windows.h>

#include <cstdint>

#include "os.h"

// The C runtime's wide argument split (msvcrt), never expanded as wildcards.
extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int expandWildcards,
                              int* startInfo);

namespace fakejava {

namespace {

std::string Utf8(const wchar_t* wide, int length = -1) {
  int n = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string text(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, length, text.data(), n, nullptr, nullptr);
  if (length < 0) text.pop_back();  // the terminating zero
  return text;
}

std::wstring Wide(const std::string& text) {
  int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(n > 0 ? n : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), n);
  wide.pop_back();
  return wide;
}

}  // namespace

std::string ExecutablePath() {
  wchar_t buffer[32768];
  DWORD n = GetModuleFileNameW(nullptr, buffer, 32768);
  return n > 0 && n < 32768 ? Utf8(buffer, static_cast<int>(n)) : std::string();
}

bool RawCommandLine(std::string& line) {
  const wchar_t* raw = GetCommandLineW();
  line = raw ? Utf8(raw) : "";
  return true;
}

std::vector<std::string> Arguments(int, char**) {
  int argc = 0;
  wchar_t** argv = nullptr;
  wchar_t** env = nullptr;
  int startInfo = 0;
  std::vector<std::string> args;
  if (__wgetmainargs(&argc, &argv, &env, 0, &startInfo) == 0) {
    for (int i = 0; i < argc; ++i) args.push_back(Utf8(argv[i]));
  }
  return args;
}

FILE* OpenFile(const std::string& path, const char* mode) {
  return _wfopen(Wide(path).c_str(), Wide(mode).c_str());
}

std::string CurrentDirectory() {
  wchar_t buffer[32768];
  DWORD n = GetCurrentDirectoryW(32768, buffer);
  return n > 0 && n < 32768 ? Utf8(buffer, static_cast<int>(n)) : std::string();
}

bool FileExists(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void SleepMilliseconds(int ms) { Sleep(static_cast<DWORD>(ms)); }

std::string SignalDispositions() { return {}; }

// Handles are small multiples of 4 and an inherited one keeps its parent's
// value; a launcher holds far fewer than this many.
std::vector<std::string> InheritedHandles() {
  std::vector<std::string> out;
  const HANDLE standard[] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                             GetStdHandle(STD_ERROR_HANDLE)};
  const std::string cwd = CurrentDirectory();
  for (uintptr_t value = 4; value < 0x4000; value += 4) {
    HANDLE h = reinterpret_cast<HANDLE>(value);
    DWORD flags = 0;
    if (!GetHandleInformation(h, &flags)) continue;
    if (h == standard[0] || h == standard[1] || h == standard[2]) continue;
    if (GetFileType(h) != FILE_TYPE_DISK) continue;
    wchar_t name[32768];
    DWORD n = GetFinalPathNameByHandleW(h, name, 32768, FILE_NAME_NORMALIZED);
    std::string path = n > 0 && n < 32768 ? Utf8(name, static_cast<int>(n)) : std::string("?");
    if (path.rfind("\\\\?\\", 0) == 0) path = path.substr(4);
    std::string bare = path;
    while (bare.size() > 3 && bare.back() == '\\') bare.pop_back();
    std::string here = cwd;
    while (here.size() > 3 && here.back() == '\\') here.pop_back();
    if (CompareStringOrdinal(Wide(bare).c_str(), -1, Wide(here).c_str(), -1, TRUE) == CSTR_EQUAL) continue;
    out.push_back(std::to_string(value) + " " + path);
  }
  return out;
}

}  // namespace fakejava

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

namespace {

// "\\?\C:\dir\" and "C:\Dir" name the same directory.
std::wstring Comparable(std::wstring path) {
  if (path.rfind(L"\\\\?\\", 0) == 0) path.erase(0, 4);
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
  return path;
}

}  // namespace

// Handle values are multiples of four and an inherited handle keeps its
// value: every value a young process may hold is tried.
std::vector<std::string> InheritedFiles() {
  std::vector<std::string> files;
  const HANDLE standard[] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                             GetStdHandle(STD_ERROR_HANDLE)};
  wchar_t cwd[32768];
  const DWORD cwdLength = GetCurrentDirectoryW(32768, cwd);
  const std::wstring here = Comparable(std::wstring(cwd, cwdLength < 32768 ? cwdLength : 0));
  for (uintptr_t value = 4; value < 0x10000; value += 4) {
    HANDLE h = reinterpret_cast<HANDLE>(value);
    if (h == standard[0] || h == standard[1] || h == standard[2]) continue;
    if (GetFileType(h) != FILE_TYPE_DISK) continue;
    wchar_t name[32768];
    DWORD n = GetFinalPathNameByHandleW(h, name, 32768, FILE_NAME_NORMALIZED);
    if (n == 0 || n >= 32768) continue;
    std::wstring path(name, n);
    if (Comparable(path) == here) continue;
    if (path.rfind(L"\\\\?\\", 0) == 0) path.erase(0, 4);
    files.push_back(Utf8(path.c_str()));
  }
  return files;
}

int RenamePath(const std::string& from, const std::string& to) {
  return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), 0) ? 0 : static_cast<int>(GetLastError());
}

}  // namespace fakejava

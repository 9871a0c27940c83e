// Process facts, environment, locale, console and standard streams on Windows.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/platform.h"
#include "platform/shared/locale_name.h"
#include "platform/shared/stdin_line.h"
#include "platform/shared/text_decode.h"
#include "platform/win32/dll_search_win32.h"
#include "platform/win32/text_win32.h"

namespace platform {

const char kPathSep = '\\';
const char kClassPathSep = ';';
const char* const kDefaultTempRoot = "C:\\TEMP";

// Read in UTF-16: GetModuleFileNameA would write a directory whose name the
// code page lacks with look-alike letters, and the launcher would take its
// parameter file from another directory. Such a name is a failure.
std::string ModuleFileName() {
  wchar_t buffer[1025] = {};
  DWORD n = GetModuleFileNameW(nullptr, buffer, 1024);
  if (n == 0) return {};
  if (n >= 1024) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return {};
  }
  std::optional<std::string> name = win32::ExactlyInProcessCodePage(std::wstring_view(buffer, n));
  if (!name || name->size() > 1023) {
    if (name) SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return {};
  }
  return *name;
}

std::string CommandTail() {
  const wchar_t* line = GetCommandLineW();
  if (!line) return {};
  const std::u16string_view tail = CommandTailOf(reinterpret_cast<const char16_t*>(line));
  return win32::ToProcessCodePage(std::wstring_view(reinterpret_cast<const wchar_t*>(tail.data()), tail.size()));
}

void RestrictDllSearch() { win32::RestrictDllSearchToSystem32(); }

int LastError() { return static_cast<int>(GetLastError()); }

std::string ErrorText(int error) {
  char* text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(error), 0,
                           reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = n && text ? std::string(text, n) : "Error " + std::to_string(error);
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
  return out;
}

// Read in UTF-16 and converted exactly: Wine's GetEnvironmentVariableA
// counts UTF-16 units instead of bytes and cuts a UTF-8 value short after as
// many bytes, and the A function writes letters the code page lacks as
// look-alikes. Such a letter becomes '?', which makes a TEMP invalid.
std::optional<std::string> GetEnv(const std::string& name) {
  const std::wstring wideName = win32::Widen(name, CP_ACP);
  SetLastError(ERROR_SUCCESS);
  DWORD n = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (n == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::string();
  }
  std::vector<wchar_t> buffer(n + 1);
  DWORD got = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), n + 1);
  if (got > n) return std::string();  // grown between the two calls
  return win32::ToProcessCodePage(std::wstring_view(buffer.data(), got));
}

uint32_t TickCountMs() { return static_cast<uint32_t>(GetTickCount()); }

void PrepareProcess() {}

std::string UserLocaleName() {
  char language[16] = {};
  char country[16] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, language, sizeof language);
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVCTRYNAME, country, sizeof country);
  return LocaleNameFromWindowsAbbrev(language, country);
}

namespace {

bool IsUsable(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

bool IsConsoleHandle(HANDLE h) {
  DWORD mode;
  return IsUsable(h) && GetConsoleMode(h, &mode);
}

// A handle the caller redirected to a file, a pipe or a device that is not a
// console: it stays the stream's target after the console opens.
bool IsRedirected(HANDLE h) { return IsUsable(h) && !IsConsoleHandle(h) && GetFileType(h) != FILE_TYPE_UNKNOWN; }

bool WriteHandle(HANDLE h, const std::string& bytes) {
  if (!IsUsable(h)) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
    if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

void Rebind(DWORD which, HANDLE original, const char* device, DWORD access, FILE* stream,
            const char* mode) {
  if (IsRedirected(original)) {
    SetStdHandle(which, original);
    return;
  }
  HANDLE console = CreateFileA(device, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  if (IsUsable(console)) SetStdHandle(which, console);
  if (std::freopen(device, mode, stream)) std::setvbuf(stream, nullptr, _IONBF, 0);
}

}  // namespace

void OpenConsole(const std::string& title, int columns, int bufferLines, int windowLines) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  AllocConsole();
  HANDLE screen = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  bool haveInfo = IsUsable(screen) && GetConsoleScreenBufferInfo(screen, &info);
  SMALL_RECT window = info.srWindow;
  // A buffer may not be narrower than its window, and Windows 10 opens
  // consoles 120 columns wide: the window gives up its extra columns first.
  if (haveInfo && window.Right - window.Left + 1 > columns) {
    window.Left = 0;
    window.Right = static_cast<SHORT>(columns - 1);
    SetConsoleWindowInfo(screen, TRUE, &window);
  }
  if (IsUsable(screen)) {
    COORD size = {static_cast<SHORT>(columns), static_cast<SHORT>(bufferLines)};
    SetConsoleScreenBufferSize(screen, size);
  }
  SetConsoleTitleA(title.c_str());
  if (haveInfo) {
    window.Bottom = static_cast<SHORT>(window.Top + windowLines - 1);
    SetConsoleWindowInfo(screen, TRUE, &window);
  }
  if (IsUsable(screen)) CloseHandle(screen);
  Rebind(STD_OUTPUT_HANDLE, out, "CONOUT$", GENERIC_READ | GENERIC_WRITE, stdout, "w");
  Rebind(STD_ERROR_HANDLE, err, "CONOUT$", GENERIC_READ | GENERIC_WRITE, stderr, "w");
  Rebind(STD_INPUT_HANDLE, in, "CONIN$", GENERIC_READ | GENERIC_WRITE, stdin, "r");
}

bool HasStdout() {
  return TestOverrides().stdoutSink || IsUsable(GetStdHandle(STD_OUTPUT_HANDLE));
}

bool WriteStdout(const std::string& bytes) {
  if (auto& sink = TestOverrides().stdoutSink) {
    sink(bytes);
    return true;
  }
  return WriteHandle(GetStdHandle(STD_OUTPUT_HANDLE), bytes);
}

bool WriteStderr(const std::string& bytes) {
  if (auto& sink = TestOverrides().stderrSink) {
    sink(bytes);
    return true;
  }
  return WriteHandle(GetStdHandle(STD_ERROR_HANDLE), bytes);
}

bool WriteConsoleUtf8(const std::string& text) {
  if (auto& sink = TestOverrides().consoleSink) {
    sink(text);
    return true;
  }
  if (TestOverrides().stdoutSink) return WriteStdout(text);
  HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!IsConsoleHandle(h)) return WriteHandle(h, text);
  std::u16string wide = DecodeConsoleText(text, win32::AnsiChar);
  DWORD written = 0;
  return WriteConsoleW(h, reinterpret_cast<const WCHAR*>(wide.data()), static_cast<DWORD>(wide.size()),
                       &written, nullptr) != 0;
}

void DiscardPendingConsoleInput() {
  if (TestOverrides().stdinData) return;
  HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
  if (IsConsoleHandle(h)) FlushConsoleInputBuffer(h);
}

std::optional<char> ReadSystemStdinByte() {
  HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
  if (!IsUsable(h)) return std::nullopt;
  char c;
  DWORD got = 0;
  if (!ReadFile(h, &c, 1, &got, nullptr) || got == 0) return std::nullopt;
  return c;
}

namespace {

// A line typed at the console, read in UTF-16 so that no letter is lost to a
// code page, in the process code page (a letter it lacks becomes '?'); a
// character that would not fit whole into maxChars bytes is dropped with the
// rest of the line.
std::optional<std::string> ReadConsoleLine(HANDLE console, size_t maxChars) {
  std::wstring typed;
  for (;;) {
    wchar_t chunk[256];
    DWORD got = 0;
    if (!ReadConsoleW(console, chunk, 256, &got, nullptr) || got == 0) break;
    typed.append(chunk, got);
    if (typed.back() == L'\n') break;
  }
  // Ctrl+Z at the start of a line ends the input, as it does for ReadFile.
  if (typed.empty() || typed[0] == 0x1A) return std::nullopt;
  size_t end = typed.find_first_of(L"\r\n");
  if (end != std::wstring::npos) typed.resize(end);
  std::string line;
  for (size_t i = 0; i < typed.size();) {
    size_t units = IS_HIGH_SURROGATE(typed[i]) && i + 1 < typed.size() ? 2 : 1;
    std::string letter = win32::ToProcessCodePage(std::wstring_view(typed).substr(i, units));
    if (line.size() + letter.size() > maxChars) break;
    line += letter;
    i += units;
  }
  return line;
}

}  // namespace

std::optional<std::string> ReadStdinLine(size_t maxChars) {
  if (!TestOverrides().stdinData) {
    HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
    if (IsConsoleHandle(h)) return ReadConsoleLine(h, maxChars);
  }
  return ReadByteLine(maxChars);
}

void ShowMessageBox(const std::string& title, const std::string& text) {
  if (auto& box = TestOverrides().messageBox) {
    box(title, text);
    return;
  }
  // MessageBoxA would read the UTF-8 catalogue texts in the ANSI code page.
  const std::u16string wideText = DecodeConsoleText(text, win32::AnsiChar);
  const std::u16string wideTitle = DecodeConsoleText(title, win32::AnsiChar);
  MessageBoxW(nullptr, reinterpret_cast<const WCHAR*>(wideText.c_str()),
              reinterpret_cast<const WCHAR*>(wideTitle.c_str()), MB_ICONERROR | MB_OK);
}

}  // namespace platform

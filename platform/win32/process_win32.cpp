// Process facts, environment, locale, console and standard streams on Windows.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/platform.h"
#include "platform/shared/locale_name.h"
#include "platform/shared/text_decode.h"

namespace platform {

const char kPathSep = '\\';
const char kClassPathSep = ';';
const char* const kDefaultTempRoot = "C:\\TEMP";

std::string ModuleFileName() {
  char buffer[1025] = {};
  DWORD n = GetModuleFileNameA(nullptr, buffer, 1024);
  if (n == 0) return {};
  return std::string(buffer, n);
}

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

std::optional<std::string> GetEnv(const std::string& name) {
  SetLastError(ERROR_SUCCESS);
  DWORD n = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (n == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::string();
  }
  std::vector<char> buffer(n + 1);
  DWORD got = GetEnvironmentVariableA(name.c_str(), buffer.data(), n + 1);
  return std::string(buffer.data(), got);
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

std::optional<char> NextStdinByte() {
  auto& pending = TestOverrides().stdinData;
  if (pending) {
    if (pending->empty()) return std::nullopt;
    char c = pending->front();
    pending->erase(0, 1);
    return c;
  }
  HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
  if (!IsUsable(h)) return std::nullopt;
  char c;
  DWORD got = 0;
  if (!ReadFile(h, &c, 1, &got, nullptr) || got == 0) return std::nullopt;
  return c;
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
  if (IsUsable(screen)) {
    COORD size = {static_cast<SHORT>(columns), static_cast<SHORT>(bufferLines)};
    SetConsoleScreenBufferSize(screen, size);
  }
  SetConsoleTitleA(title.c_str());
  if (haveInfo) {
    SMALL_RECT window = info.srWindow;
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
  std::u16string wide = DecodeConsoleText(text, [](unsigned char byte) -> char16_t {
    const char narrow = static_cast<char>(byte);
    WCHAR unit = 0xFFFD;
    MultiByteToWideChar(CP_ACP, 0, &narrow, 1, &unit, 1);
    return static_cast<char16_t>(unit);
  });
  DWORD written = 0;
  return WriteConsoleW(h, reinterpret_cast<const WCHAR*>(wide.data()), static_cast<DWORD>(wide.size()),
                       &written, nullptr) != 0;
}

void DiscardPendingConsoleInput() {
  if (TestOverrides().stdinData) return;
  HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
  if (IsConsoleHandle(h)) FlushConsoleInputBuffer(h);
}

std::optional<char> ReadStdinChar() { return NextStdinByte(); }

void ShowMessageBox(const std::string& title, const std::string& text) {
  if (auto& box = TestOverrides().messageBox) {
    box(title, text);
    return;
  }
  MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_ICONERROR | MB_OK);
}

}  // namespace platform

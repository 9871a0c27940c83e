// Process facts, environment, locale and standard streams on Linux.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include "platform/platform.h"
#include "platform/shared/locale_name.h"
#include "platform/shared/stdin_line.h"

namespace platform {

const char kPathSep = '/';
const char kClassPathSep = ':';
const char* const kDefaultTempRoot = "/tmp";

std::string ModuleFileName() {
  // Asked for by several subsystems; the kernel builds the link's text anew
  // at every read, so the first answer is kept.
  static const std::string path = [] {
    std::string buffer(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || size_t(n) >= buffer.size()) return std::string();
    buffer.resize(size_t(n));
    // The program path holds at most 1024 characters, as on Windows.
    if (buffer.size() > 1024) buffer.resize(1024);
    return buffer;
  }();
  return path;
}

int LastError() { return errno; }

std::string ErrorText(int error) { return strerror(error); }

std::optional<std::string> GetEnv(const std::string& name) {
  const char* value = getenv(name.c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

uint32_t TickCountMs() {
  struct timespec now {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

void PrepareProcess() { signal(SIGPIPE, SIG_IGN); }

void RestrictDllSearch() {}

std::string UserLocaleName() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = getenv(name);
    if (value && *value) return LocaleNameFromPosixValue(value);
  }
  return LocaleNameFromPosixValue("C");
}

namespace {

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

bool IsOpenFd(int fd) { return fcntl(fd, F_GETFD) != -1; }

}  // namespace

std::optional<char> ReadSystemStdinByte() {
  for (;;) {
    char c;
    ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n == 1) return c;
    if (n < 0 && errno == EINTR) continue;
    return std::nullopt;
  }
}

void OpenConsole(const std::string& title, int, int, int) {
  // The terminal is the console; only a terminal understands the title.
  if (!TestOverrides().stdoutSink && isatty(STDOUT_FILENO)) {
    WriteAll(STDOUT_FILENO, "\033]0;" + title + "\007");
  }
}

bool HasStdout() { return TestOverrides().stdoutSink || IsOpenFd(STDOUT_FILENO); }

bool WriteStdout(const std::string& bytes) {
  if (auto& sink = TestOverrides().stdoutSink) {
    sink(bytes);
    return true;
  }
  return WriteAll(STDOUT_FILENO, bytes);
}

bool WriteStderr(const std::string& bytes) {
  if (auto& sink = TestOverrides().stderrSink) {
    sink(bytes);
    return true;
  }
  return WriteAll(STDERR_FILENO, bytes);
}

bool WriteConsoleUtf8(const std::string& text) {
  if (auto& sink = TestOverrides().consoleSink) {
    sink(text);
    return true;
  }
  return WriteStdout(text);
}

void DiscardPendingConsoleInput() {
  if (TestOverrides().stdinData) return;
  if (isatty(STDIN_FILENO)) tcflush(STDIN_FILENO, TCIFLUSH);
}

std::optional<std::string> ReadStdinLine(size_t maxChars) { return ReadByteLine(maxChars); }

void ShowMessageBox(const std::string& title, const std::string& text) {
  if (auto& box = TestOverrides().messageBox) {
    box(title, text);
    return;
  }
  WriteStderr(title + "\n" + text + "\n");
}

}  // namespace platform

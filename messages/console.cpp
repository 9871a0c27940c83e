#include "messages/console.h"

#include "common/process_state.h"
#include "messages/catalogue.h"
#include "platform/platform.h"

namespace messages {

namespace {
bool g_haveConsoleHandle = false;
}  // namespace

void OpenConsoleWindow() { platform::OpenConsole("Quelta Trevanic Installer", 80, 2000, 41); }

void RefreshConsoleHandle() { g_haveConsoleHandle = true; }

void ForgetConsoleHandle() { g_haveConsoleHandle = false; }

size_t Utf16Length(const std::string& utf8) {
  size_t units = 0;
  const size_t n = utf8.size();
  size_t i = 0;
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    bool valid = len > 0 && i + len <= n;
    for (size_t k = 1; valid && k < len; ++k) {
      valid = (static_cast<unsigned char>(utf8[i + k]) & 0xC0) == 0x80;
    }
    if (!valid) {
      ++units;
      ++i;
      continue;
    }
    units += len == 4 ? 2 : 1;
    i += len;
  }
  return units;
}

void ConsoleWrite(const std::string& text) {
  if (!g_haveConsoleHandle) return;
  if (Utf16Length(text) + 1 > kConversionUnits) {
    platform::WriteStdout(text);
    return;
  }
  platform::WriteConsoleUtf8(text);
}

void ShowError(const std::string& text) {
  if (common::Process().silent) {
    ConsoleWrite(text);
  } else {
    platform::ShowMessageBox(UserText("S_QTI"), text);
  }
}

void WaitForEnter() {
  if (!common::Process().silent) return;
  ConsoleWrite(UserText("S_ENTER_ENTER"));
  ReadAnswerChar();
}

std::optional<char> ReadAnswerChar() { return platform::ReadStdinChar(); }

std::optional<std::string> ReadAnswerLine(size_t maxChars) {
  return platform::ReadStdinLine(maxChars);
}

}  // namespace messages

#include "messages/console.h"

#include "common/process_facts.h"
#include "messages/catalogue.h"
#include "platform/platform.h"
#include "platform/shared/text_decode.h"

namespace messages {

namespace {
bool g_haveConsoleHandle = false;
}  // namespace

void OpenConsoleWindow() { platform::OpenConsole("Quelta Trevanic Installer", 80, 2000, 41); }

void RefreshConsoleHandle() { g_haveConsoleHandle = true; }

void ForgetConsoleHandle() { g_haveConsoleHandle = false; }

size_t Utf16Length(const std::string& utf8) { return platform::ConsoleTextUnits(utf8); }

void ConsoleWrite(const std::string& text) {
  if (!g_haveConsoleHandle) return;
  if (Utf16Length(text) + 1 > kConversionUnits) {
    platform::WriteStdout(text);
    return;
  }
  platform::WriteConsoleUtf8(text);
}

void ShowError(const std::string& text) {
  if (common::Facts().silent) {
    ConsoleWrite(text);
  } else {
    platform::ShowMessageBox(UserText("S_QTI"), text);
  }
}

void WaitForEnter() {
  if (!common::Facts().silent) return;
  ConsoleWrite(UserText("S_ENTER_ENTER"));
  ReadAnswerChar();
}

std::optional<char> ReadAnswerChar() { return platform::ReadStdinChar(); }

std::optional<std::string> ReadAnswerLine(size_t maxChars) {
  return platform::ReadStdinLine(maxChars);
}

}  // namespace messages

// Console output and the console window: the one way catalogue texts reach
// the user, and the error-display rule (console in silent mode, otherwise a
// message box titled with S_QTI).
#pragma once

#include <optional>
#include <string>

#include "common/text.h"

namespace messages {

// A converted text, its terminating NUL included, must fit this many UTF-16
// code units; a longer one is written unconverted.
constexpr size_t kConversionUnits = 1023;

// Creates the launcher's console: 80 x 2000 buffer, 41-line window, title
// "Quelta Trevanic Installer"; redirected standard streams stay redirected.
void OpenConsoleWindow();
// Takes the current standard output as the console.
void RefreshConsoleHandle();
// Back to "no console handle" (after FreeMessages; unit tests).
void ForgetConsoleHandle();

// Number of UTF-16 code units the console text converts to (NUL not
// counted): a well-formed UTF-8 sequence gives its units, every other byte
// (overlong forms and encoded surrogates included) one ANSI character.
size_t Utf16Length(const std::string& utf8);

// Writes a UTF-8 text to the console, unchanged. Nothing without a console
// handle; a text too long for the conversion buffer goes to standard output
// as bytes.
void ConsoleWrite(const std::string& text);
// The error-display rule.
void ShowError(const std::string& text);
// In silent mode: S_ENTER_ENTER, then one character from standard input.
void WaitForEnter();

// Standard input for prompts: one character, or one line of at most
// `maxChars` characters. nullopt at the end of input.
std::optional<char> ReadAnswerChar();
std::optional<std::string> ReadAnswerLine(size_t maxChars = common::kMaxValueChars);

}  // namespace messages

// How the prerequisite checks report: the user text to the console, the log
// text with the same arguments to the actions log; and the state that one
// run of the checks carries from pass to pass.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>

#include "common/text.h"
#include "messages/format.h"
#include "platform/sysinfo.h"

namespace prereq {

extern const char* const kGenericSection;    // "Generic Prereqs"
extern const char* const kCertifiedSection;  // "Certified Versions"

// The failure text holds at most this many characters (a 4096-byte buffer).
constexpr size_t kMaxFailureTextChars = common::kMessageChars;
// An answer line holds at most this many characters.
constexpr size_t kMaxAnswerChars = common::kMaxValueChars;

// The state of one prerequisite run. The pass flags select the pass:
// generic (1, 1), required (0, 1), optional (0, 0).
struct PrereqState {
  std::string paramFile;
  bool silent = false;
  bool ignore = false;
  bool noConsole = false;
  int genericFlag = 1;
  int requiredFlag = 1;
  std::string genericSection;
  std::string requiredSection;  // set only when the version is certified
  std::string optionalSection;
  platform::OsVersion version;  // taken at the start of each pass
  std::string versionText;      // "major.minor"
  int passResult = 0;           // 1 once a check of the pass failed
  std::string failureText;      // emptied before each pass
  bool failureTextCut = false;
};

// The text to the console and, when the actions log is open, to the log.
void ShowAndLog(const std::string& text);
// Reports a message without arguments: its texts are written unformatted.
void ReportMessage(const std::string& key);
// Reports a message formatted with `args`.
void ReportMessage(const std::string& key, std::initializer_list<messages::FormatArg> args);

// Shows the prompt and reads answers until one begins with y or Y (true), n
// or N, or is empty (false). The end of input answers no: no answer can come
// any more.
bool AskYesNo(const std::function<void()>& showPrompt);

// Appends to the failure text, keeping its first kMaxFailureTextChars
// characters; the first cut of a pass is noted in the actions log.
void AppendFailureText(PrereqState& state, const std::string& text);

}  // namespace prereq

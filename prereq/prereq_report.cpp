#include "prereq/prereq_report.h"

#include "messages/catalogue.h"
#include "messages/console.h"
#include "common/actions_log.h"
#include "common/text.h"

namespace prereq {

const char* const kGenericSection = "Generic Prereqs";
const char* const kCertifiedSection = "Certified Versions";

void ShowAndLog(const std::string& text) {
  messages::ConsoleWrite(text);
  common::WriteActionsLog(text);
}

void ReportMessage(const std::string& key) {
  messages::ConsoleWrite(messages::UserText(key));
  common::WriteActionsLog(messages::LogText(key));
}

void ReportMessage(const std::string& key, std::initializer_list<messages::FormatArg> args) {
  messages::ConsoleWrite(messages::FormatText(messages::UserText(key), args, common::kMessageChars));
  common::WriteActionsLog(messages::FormatText(messages::LogText(key), args, common::kMessageChars));
}

bool AskYesNo(const std::function<void()>& showPrompt) {
  for (;;) {
    showPrompt();
    std::optional<std::string> answer = messages::ReadAnswerLine(kMaxAnswerChars);
    const char first = !answer ? 'n' : answer->empty() ? '\n' : answer->front();
    if (first == 'y' || first == 'Y') return true;
    if (first == 'n' || first == 'N' || first == '\n') return false;
  }
}

void AppendFailureText(PrereqState& state, const std::string& text) {
  state.failureText += text;
  if (state.failureText.size() <= kMaxFailureTextChars) return;
  state.failureText.resize(kMaxFailureTextChars);
  if (!state.failureTextCut) {
    state.failureTextCut = true;
    common::WriteActionsLog("\nThe failure text of this pass was cut after " +
                             std::to_string(kMaxFailureTextChars) + " characters.\n");
  }
}

}  // namespace prereq

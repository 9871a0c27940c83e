#include "prereq/prereq_report.h"

#include "messages/catalogue.h"
#include "messages/console.h"
#include "runtime/actions_log.h"

namespace prereq {

namespace {
// Formatted texts are built in a 4096-byte buffer.
constexpr size_t kMaxMessageChars = 4095;
}  // namespace

const char* const kGenericSection = "Generic Prereqs";
const char* const kCertifiedSection = "Certified Versions";

void ShowAndLog(const std::string& text) {
  messages::ConsoleWrite(text);
  runtime::WriteActionsLog(text);
}

void ReportMessage(const std::string& key) {
  messages::ConsoleWrite(messages::UserText(key));
  runtime::WriteActionsLog(messages::LogText(key));
}

void ReportMessage(const std::string& key, std::initializer_list<messages::FormatArg> args) {
  messages::ConsoleWrite(messages::FormatText(messages::UserText(key), args, kMaxMessageChars));
  runtime::WriteActionsLog(messages::FormatText(messages::LogText(key), args, kMaxMessageChars));
}

void AppendFailureText(PrereqState& state, const std::string& text) {
  state.failureText += text;
  if (state.failureText.size() <= kMaxFailureTextChars) return;
  state.failureText.resize(kMaxFailureTextChars);
  if (!state.failureTextCut) {
    state.failureTextCut = true;
    runtime::WriteActionsLog("\nThe failure text of this pass was cut after " +
                             std::to_string(kMaxFailureTextChars) + " characters.\n");
  }
}

}  // namespace prereq

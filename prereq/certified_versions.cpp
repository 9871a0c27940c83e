#include "prereq/certified_versions.h"

#include <vector>

#include "messages/catalogue.h"
#include "messages/console.h"
#include "platform/platform.h"
#include "prereq/prereq_reader.h"
#include "common/actions_log.h"
#include "common/text.h"

namespace prereq {

namespace {

constexpr size_t kMaxChoiceListChars = 1023;
constexpr size_t kMaxListChars = 1023;

// Fixed texts of the launcher: the same on the console and in the log, in
// every language.
const char* const kNoticeWithLocation =
    "\nThe version of this operating system is not certified.Check '%s' for a list of certified versions.\n";
const char* const kNotice = "\nThe version of this operating system is not certified.\n";
const char* const kPrompt = "\nDo you want to continue? (y/n) [n]: ";
const char* const kAnswerYes =
    "The user has verified that the product can be installed on this platform. Continuing with the install...\n";
const char* const kAnswerNo =
    "The user has verified that the product cannot be installed on this platform. Quitting the install...\n";

std::vector<std::string> ListItems(const std::string& list) { return common::SplitDroppingEmpty(list, ','); }

VersionCheck Stop(const PrereqState& state) {
  ReportMessage("S_EXIT_MSG", {common::ActionsLogPath()});
  if (!state.silent && !state.noConsole) {
    ReportMessage("S_EXIT_CONTINUE");
    messages::ReadAnswerChar();
  }
  return VersionCheck::Stop;
}

}  // namespace

std::string VersionSectionName(const std::string& family, const std::string& version, bool required) {
  return family + "-" + version + (required ? "-required" : "-optional");
}

std::string FormatChoiceList(const std::string& list) {
  std::vector<std::string> items = ListItems(list);
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? " or " : ", ";
    text += items[i];
  }
  if (text.size() > kMaxChoiceListChars) text.resize(kMaxChoiceListChars);
  return text;
}

int IsInList(const std::string& list, const std::string& text) {
  for (const std::string& item : ListItems(list)) {
    if (item == text) return 1;
  }
  return 0;
}

VersionCheck CheckCertifiedVersion(PrereqState& state) {
  const std::string& path = state.paramFile;
  std::string list = platform::ReadProfileString(kCertifiedSection, platform::kOsFamilyName, "", path,
                                                 kMaxListChars);
  if (list.empty()) {
    ReportMessage("S_NO_PREQ_RUN");
    return VersionCheck::NoList;
  }
  ReportMessage("S_CHECKING_REQ_PREREQ");
  std::string failureMessage = GetPrereqValue(kCertifiedSection, kCertifiedFailureMessageKey, "", path);
  ReportMessage("S_CHECKING_FOR_OS_VERSION");
  ShowAndLog(FormatChoiceList(list));
  ReportMessage("S_ACTUAL", {state.versionText});

  if (IsInList(list, state.versionText)) {
    ReportMessage("S_SPASSED_ON_NEWLINE");
    state.requiredSection = VersionSectionName(platform::kOsFamilyName, state.versionText, true);
    state.optionalSection = VersionSectionName(platform::kOsFamilyName, state.versionText, false);
    return VersionCheck::Certified;
  }

  ReportMessage("S_SFAILED_ON_NEWLINE");
  if (!failureMessage.empty()) {
    ShowAndLog("\n\n");
    ShowAndLog(failureMessage);
  }
  if (state.ignore) return VersionCheck::Ignored;
  if (GetPrereqValue(kCertifiedSection, kCertifiedWarnKey, "", path) != "TRUE") return Stop(state);

  std::string location = GetPrereqValue(kCertifiedSection, kCertifiedLocationKey, "", path);
  messages::ConsoleWrite("\n\n");
  ShowAndLog(location.empty() ? std::string(kNotice) : messages::FormatText(kNoticeWithLocation, {location}));
  if (state.silent || state.noConsole) return Stop(state);
  if (AskYesNo([] { ShowAndLog(kPrompt); })) {
    ShowAndLog(kAnswerYes);
    return VersionCheck::Accepted;
  }
  ShowAndLog(kAnswerNo);
  return Stop(state);
}

}  // namespace prereq

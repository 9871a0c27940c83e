#include "runtime/java_runtime.h"

#include "common/actions_log.h"
#include "common/paths.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "platform/platform.h"

namespace runtime {

namespace {

bool HasJavaLauncher(const std::string& home) {
  return platform::PathExists(common::AppendPath(common::AppendPath(home, "bin"), platform::kJavaConsoleExe));
}

void Reject(const char* key) {
  common::WriteActionsLog(messages::LogText(key));
  messages::ConsoleWrite("\n\n" + messages::UserText(key));
}

}  // namespace

bool IsExactlyTrue(const std::string& value) { return value == "TRUE"; }

std::optional<std::string> PromptJavaLocation(const params::JavaChoice& choice) {
  const bool jdkOnly = IsExactlyTrue(choice.useJdkOnly);
  const bool jreOnly = IsExactlyTrue(choice.useJreOnly);
  messages::ConsoleWrite("\n");
  const char* key = jdkOnly   ? "S_SPECIFY_JDK_ONLY_LOCATION"
                    : jreOnly ? "S_SPECIFY_JRE_ONLY_LOCATION"
                              : "S_SPECIFY_JRE_LOCATION";
  for (;;) {
    // Keys pressed before the question is shown answer nothing. Dropped
    // before it appears, not after, so an answer typed as soon as it shows
    // is never lost with them.
    platform::DiscardPendingConsoleInput();
    messages::ConsoleWrite(messages::UserText(key));
    // One character more than a location may hold tells an over-long line
    // from one that just fits; a cut path must not pass for the typed one.
    std::optional<std::string> answer = messages::ReadAnswerLine(kMaxJavaLocationChars + 1);
    if (!answer) return std::nullopt;
    if (!answer->empty() && answer->size() <= kMaxJavaLocationChars && HasJavaLauncher(*answer)) {
      return answer;
    }
    messages::ConsoleWrite("\n");
    // The repeated prompt tests the two settings in the other order.
    key = jreOnly   ? "S_SPECIFY_VALID_JRE_ONLY_LOCATION"
          : jdkOnly ? "S_SPECIFY_VALID_JDK_ONLY_LOCATION"
                    : "S_SPECIFY_VALID_JRE_LOCATION";
  }
}

void ReportNoJavaLocation(const std::string& scratchDir) {
  {
    common::ActionsLogScope log(scratchDir);
    common::WriteActionsLog(messages::LogText("S_JRELOC_ERROR_NOCONSOLE_WIN"));
  }
  messages::ConsoleWrite("\n\n" + messages::UserText("S_JRELOC_ERROR_NOCONSOLE_WIN"));
}

int HasRuntimeLibrary(const std::string& home) {
  for (const char* library : {"rt.jar", "core.jar"}) {
    if (platform::PathExists(common::AppendPath(common::AppendPath(home, "lib"), library))) return 1;
  }
  return 0;
}

int ValidateJavaHome(const std::string& location, bool jreLocGiven, bool external,
                     const params::JavaChoice& choice) {
  if (!jreLocGiven && !external) return 0;
  const bool jdkOnly = IsExactlyTrue(choice.useJdkOnly);
  const bool jreOnly = IsExactlyTrue(choice.useJreOnly);
  if (!jdkOnly && !jreOnly) return 0;
  const bool runtimeHome = HasRuntimeLibrary(location) == 1;
  if (jdkOnly && runtimeHome) {
    Reject("S_INVALID_JDK_HOME");
    return -1;
  }
  if (jreOnly && !runtimeHome) {
    Reject("S_INVALID_JRE_HOME");
    return -1;
  }
  return 0;
}

std::string FindImagesDir(const std::string& launcherDir) {
  for (const std::string& candidate : {common::JoinExactly(launcherDir, "images"),
                                       common::JoinExactly(common::JoinExactly(launcherDir, ".."), "images")}) {
    if (platform::PathExists(candidate)) return candidate;
  }
  return {};
}

void ProbeInstalledHome(const std::string& launcherDir, std::string& qtiLocation,
                        std::string& qtiCoreLocation) {
  if (!platform::PathExists(common::AppendPath(common::AppendPath(launcherDir, ".."), "jlib"))) return;
  qtiLocation = "..";
  qtiCoreLocation = "..";
}

}  // namespace runtime

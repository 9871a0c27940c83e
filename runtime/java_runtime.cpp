#include "runtime/java_runtime.h"

#include "bootstrap/tree_ops.h"
#include "common/process_state.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "platform/platform.h"
#include "runtime/actions_log.h"

namespace runtime {

namespace {

bool JdkOnly() { return IsExactlyTrue(common::Process().useJdkOnly); }
bool JreOnly() { return IsExactlyTrue(common::Process().useJreOnly); }

bool HasJavaLauncher(const std::string& home) {
  std::string program = home;
  bootstrap::AppendPathPart(program, "bin");
  bootstrap::AppendPathPart(program, platform::kJavaConsoleExe);
  return bootstrap::PathExists(program) == 1;
}

void Reject(const char* key) {
  WriteActionsLog(messages::LogText(key));
  messages::ConsoleWrite("\n\n" + messages::UserText(key));
}

}  // namespace

bool IsExactlyTrue(const std::string& value) { return value == "TRUE"; }

bool JrePromptDisabled() { return IsExactlyTrue(common::Process().disableJrePrompt); }

std::optional<std::string> PromptJavaLocation() {
  const bool jdkOnly = JdkOnly();
  const bool jreOnly = JreOnly();
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

void ReportNoJavaLocation(const std::string& scratchDir, const std::string& timestamp,
                          const std::string& logName) {
  OpenActionsLog(scratchDir, timestamp, logName);
  WriteActionsLog(messages::LogText("S_JRELOC_ERROR_NOCONSOLE_WIN"));
  CloseActionsLog();
  messages::ConsoleWrite("\n\n" + messages::UserText("S_JRELOC_ERROR_NOCONSOLE_WIN"));
}

int HasRuntimeLibrary(const std::string& home) {
  for (const char* library : {"rt.jar", "core.jar"}) {
    std::string path = home;
    bootstrap::AppendPathPart(path, "lib");
    bootstrap::AppendPathPart(path, library);
    if (bootstrap::PathExists(path)) return 1;
  }
  return 0;
}

int ValidateJavaHome(const std::string& location, bool external) {
  if (!common::Process().jreLocGiven && !external) return 0;
  const bool jdkOnly = JdkOnly();
  const bool jreOnly = JreOnly();
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
  const std::string sep(1, platform::kPathSep);
  for (const std::string& candidate :
       {launcherDir + sep + "images", launcherDir + sep + ".." + sep + "images"}) {
    if (bootstrap::PathExists(candidate)) return candidate;
  }
  return {};
}

void ProbeInstalledHome(const std::string& launcherDir, std::string& qtiLocation,
                        std::string& qtiCoreLocation) {
  std::string jlib = launcherDir;
  bootstrap::AppendPathPart(jlib, "..");
  bootstrap::AppendPathPart(jlib, "jlib");
  if (!bootstrap::PathExists(jlib)) return;
  qtiLocation = "..";
  qtiCoreLocation = "..";
}

}  // namespace runtime

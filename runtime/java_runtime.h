// The Java runtime the installer runs in: asking the user for one, telling a
// runtime home from a development-kit home, and refusing one of the wrong
// kind; also the images directory and the installed-home look-up that the
// run sequence makes at the same point.
//
// A usable Java home holds bin/<kJavaConsoleExe>; one whose own lib directory
// holds rt.jar or core.jar is a runtime home, any other a development kit.
#pragma once

#include <optional>
#include <string>

#include "params/param_file.h"

namespace runtime {

// A typed answer longer than this is no location (it would not fit the
// run's 1024-byte location).
constexpr size_t kMaxJavaLocationChars = 1023;

// True when the parameter-file choice text is exactly "TRUE" (USEJREONLY,
// USEJDKONLY, DISABLE_JRE_PROMPT; other cases and trailing blanks do not
// count).
bool IsExactlyTrue(const std::string& value);

// Asks on the console until the user types a directory whose bin directory
// holds the Java launcher program, and returns the line as typed; the
// prompts follow USEJREONLY and USEJDKONLY. nullopt when standard input ends
// first: nobody can answer, and the caller ends the run as for a forbidden
// prompt (see ReportNoJavaLocation).
std::optional<std::string> PromptJavaLocation(const params::JavaChoice& choice);

// The run knows no Java runtime and may not (or can no longer) ask for one:
// records the log text of S_JRELOC_ERROR_NOCONSOLE_WIN in the actions log
// (of `scratchDir` when the log has no fixed place) and writes "\n\n" and
// its user text to the console.
void ReportNoJavaLocation(const std::string& scratchDir);

// 1 when home/lib/rt.jar or home/lib/core.jar exists, else 0.
int HasRuntimeLibrary(const std::string& home);

// Tests a location that came from -jreLoc (`jreLocGiven`) or from the prompt
// (`external`) against USEJREONLY and USEJDKONLY. 0 when accepted or no test
// is due; -1 after S_INVALID_JDK_HOME / S_INVALID_JRE_HOME (actions log and
// console). The caller has the actions log open.
int ValidateJavaHome(const std::string& location, bool jreLocGiven, bool external,
                     const params::JavaChoice& choice);

// <launcher dir>/images, else <launcher dir>/../images (spelled so), else "".
std::string FindImagesDir(const std::string& launcherDir);

// When <launcher dir>/../jlib exists (the launcher runs inside an installed
// home), both locations become "..".
void ProbeInstalledHome(const std::string& launcherDir, std::string& qtiLocation,
                        std::string& qtiCoreLocation);

}  // namespace runtime

// The launcher's command line: option search inside the elements (not whole
// words), the early pass for the six value options, the option loop with its
// flags, mode requests and assignments, and the launcher-mode precedence.
// Nothing is removed or reported: the installer sees every option, only the
// -J text and -shipHomeLoc are cut out of the elements.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace launcher {

// Every element followed by one blank. With `listing` and debug mode the
// elements are first listed on the console.
std::string JoinArgs(const std::vector<std::string>& elements, bool listing);
// The value after `option` in `searched`, up to the first " -" found from the
// value's second character on; trimmed. `dest` untouched when absent.
void GetOptionText(const std::string& option, const std::string& searched, std::string& dest);
// The same, up to the first blank found from the value's second character on.
void GetOptionWord(const std::string& option, const std::string& searched, std::string& dest);
// White space removed from both ends; at most the first 1023 characters count.
void TrimBlanks(std::string& text);
// a-z upper-cased, every other byte unchanged.
std::string UpperCopy(const std::string& text);
// `text` with the first occurrence of `pattern` replaced.
std::string ReplaceFirst(const std::string& text, const std::string& pattern,
                         const std::string& replacement);
// A closing double quote removed, and then an opening one.
void StripQuotes(std::string& text);
// The value after the first "=" of `element`, up to the next `endMark`.
void GetAssignment(std::string& dest, const std::string& element, char endMark);
// GetAssignment with "=", made absolute (mode 0), or its directory part with
// "prereq" appended, made absolute (mode 1).
void GetLocationValue(std::string& dest, const std::string& element, int mode);
// "-J-" replaced by "-" throughout.
std::string ConvertJvmArgs(const std::string& jText);

// What the command line asks for. Process-wide flags (silent, debug, memory,
// print time, -jreLoc, prerequisite checker, actions-log name) go to
// common::Process() as well.
struct Options {
  // Early pass.
  std::optional<std::string> paramFile;
  std::optional<std::string> rscratchPath;
  std::optional<std::string> rtimestamp;
  std::optional<std::string> jreLoc;
  bool rstartupLocGiven = false;
  bool shipHomeLocGiven = false;
  std::string shipHomeLocRaw;   // -shipHomeLoc's value as found
  std::string startupLocation;  // -rstartupLoc and -shipHomeLoc share it

  // Option loop.
  std::optional<std::string> jText;
  bool jTextHasMx = false;
  std::string bootstrapLoc;
  std::string jvmOptions;
  std::string prereqConfigLocation;
  std::string scratchPathOption;    // -SCRATCHPATH <dir>
  std::string prereqLogLocOption;   // -PREREQLOGLOC <dir>
  std::string upperTail;            // upper-cased copy of the last element, before the cuts

  bool preCloneSetup = false, updateNodeList = false, attachHome = false, attachSuite = false,
       installAddOns = false, relink = false, cleanup = false, saveInventory = false,
       removeHome = false, detachHome = false, detachSuite = false, suiteDeinstall = false,
       updateHomeDeps = false, addNode = false, prereqChecker = false, oneClick = false;
  bool bootstrapOnly = false, noBootstrap = false, waitForCompletion = false, help = false,
       ignoreSysPrereqs = false, executeSysPrereqs = false, noConsole = false;
};

// Early pass over the joined elements (case-sensitive option names).
void ParseEarlyOptions(const std::vector<std::string>& elements, Options& options);
// Option loop over every element, the program path included; cuts the -J
// text and -shipHomeLoc out of the elements.
void ParseOptionLoop(std::vector<std::string>& elements, Options& options);

// The launcher mode that the first present row of the precedence table picks.
struct LauncherMode {
  enum class Class { Fixed, InstallClass, OneClickClass } kind = Class::InstallClass;
  std::string fixedClass;           // when kind is Fixed
  bool forcesNoBootstrap = false;   // the row sets the bootstrap flag to "F"
  bool notFromDistribution = false; // refused in distribution mode
};
LauncherMode DecideLauncherMode(const Options& options);

}  // namespace launcher

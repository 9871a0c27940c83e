// The launcher's command line: option search inside the elements (not whole
// words), the early pass for the six value options, the option loop with its
// flags, mode requests and assignments, and the launcher-mode precedence.
// Nothing is removed or reported: the installer sees every option, only the
// -J text and -shipHomeLoc are cut out of the elements.
#pragma once

#include <array>
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
// "prereq" appended, made absolute (mode 1). `debug`: a failure to make it
// absolute is told on standard error.
void GetLocationValue(std::string& dest, const std::string& element, int mode, bool debug);
// "-J-" replaced by "-" throughout.
std::string ConvertJvmArgs(const std::string& jText);

// The launcher modes, in the order in which they decide the installer class
// (the first present one wins).
enum class Mode {
  PreCloneSetup, PrereqChecker, UpdateNodeList, AttachHome, AttachSuite, InstallAddOns, Relink,
  RemoveHome, DetachHome, DetachSuite, SuiteDeinstall, UpdateHomeDeps, AddNode, Cleanup,
  SaveInventory, OneClick,
};
constexpr size_t kModeCount = static_cast<size_t>(Mode::OneClick) + 1;

// Where a mode's installer class comes from.
enum class ClassSource { Fixed, InstallClass, OneClickClass };

// One row per mode: everything that a mode option changes.
struct ModeRow {
  Mode mode;
  const char* text;              // searched in the upper-cased element
  int loopOrder;                 // position among the option loop's tests
  bool silent;                   // the option turns silent mode on
  const char* logName;           // the actions log's name, or nullptr
  ClassSource classSource;
  const char* installerClass;    // when classSource is Fixed
  bool forcesNoBootstrap;        // the bootstrap flag goes off
  bool notFromDistribution;      // refused when run from the medium
};
// The rows in precedence order.
extern const ModeRow kModeTable[kModeCount];
const ModeRow& RowOf(Mode mode);

// What the command line asks for.
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
  std::array<bool, kModeCount> modes{};  // by Mode
  bool Has(Mode mode) const { return modes[static_cast<size_t>(mode)]; }
  std::optional<std::string> jText;
  bool jTextHasMx = false;
  std::string bootstrapLoc;
  // BOOTSTRAP_LOC's value was cut (a "-J" inside it, the value limit) or
  // holds a quote: what is left names a place nobody chose.
  bool bootstrapLocCut = false;
  std::string jvmOptions;
  std::string prereqConfigLocation;
  // The location above came from FROM_LOCATION (not PREREQ_CONFIG_LOCATION),
  // so the parameter file may still replace it.
  bool prereqLocFromFromLocation = false;
  std::string scratchRoot;       // -SCRATCHPATH <dir>
  std::string prereqLogLocation; // -PREREQLOGLOC <dir>
  std::string upperTail;         // upper-cased copy of the last element, before the cuts
  // "<sep>installActions" unless a mode option names another log.
  std::string actionsLogName;

  bool silent = false, debug = false, memory = false, printTime = false;
  bool bootstrapOnly = false, noBootstrap = false, waitForCompletion = false, help = false,
       ignoreSysPrereqs = false, executeSysPrereqs = false, noConsole = false;
};

// Both passes over the elements: the early pass for the six value options
// (case-sensitive names), then the option loop over every element, the
// program path included, which cuts the -J text and -shipHomeLoc out of the
// elements.
Options ReadOptions(std::vector<std::string>& elements);
void ParseEarlyOptions(const std::vector<std::string>& elements, Options& options);
void ParseOptionLoop(std::vector<std::string>& elements, Options& options);

// The row of the first present mode in precedence order, or nullptr when no
// mode option is present. -ONECLICK decides only when no other mode does.
const ModeRow* DecideLauncherMode(const Options& options);

}  // namespace launcher

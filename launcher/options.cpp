#include "launcher/options.h"

#include <algorithm>

#include "common/paths.h"
#include "common/process_facts.h"
#include "common/text.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/format.h"
#include "params/paths.h"
#include "platform/platform.h"

namespace launcher {

namespace {

constexpr size_t kMaxValue = common::kMaxValueChars;

// Shared by GetOptionText and GetOptionWord: the value runs from right after
// the option to `endMark`, searched from the value's second character on.
void TakeOptionValue(const std::string& option, const std::string& searched,
                     const std::string& endMark, std::string& dest) {
  if (searched.empty()) return;
  size_t at = searched.find(option);
  if (at == std::string::npos) return;
  size_t start = at + option.size();
  size_t end = start < searched.size() ? searched.find(endMark, start + 1) : std::string::npos;
  if (end == std::string::npos) end = searched.size();
  std::string value = searched.substr(start, end - start);
  if (value.size() > kMaxValue) value.resize(kMaxValue);
  TrimBlanks(value);
  dest = value;
}

std::string LogName(const char* name) { return std::string(1, platform::kPathSep) + name; }

// The directory value that starts at `i`: the next word, or a double-quoted
// text that may hold blanks. Empty when nothing follows, and when the word
// goes on past its closing quote: the name holds a quote, and what lies
// between the quotes is a directory nobody named.
std::string DirectoryValue(const std::string& text, size_t i) {
  while (i < text.size() && common::IsSpace(text[i])) ++i;
  if (i >= text.size()) return {};
  if (text[i] == '"') {
    size_t close = text.find('"', i + 1);
    if (close != std::string::npos && close + 1 < text.size() && !common::IsSpace(text[close + 1])) return {};
    return text.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1);
  }
  size_t end = i;
  while (end < text.size() && !common::IsSpace(text[end])) ++end;
  return text.substr(i, end - i);
}

// -SCRATCHPATH <dir> and -PREREQLOGLOC <dir>: found in the upper-cased copy
// of the element, any letter case, as a word of its own (white space or the
// element's edge on both sides); the value is read from the element as it
// was before the -J text and -shipHomeLoc were cut out, so that the offsets
// of the copy hold. Every occurrence counts; the last usable one wins.
void TakeDirectoryOption(const std::string& upper, const std::string& original,
                         const std::string& option, std::string& dest) {
  for (size_t at = upper.find(option); at != std::string::npos; at = upper.find(option, at + 1)) {
    const size_t end = at + option.size();
    if (at > 0 && !common::IsSpace(upper[at - 1])) continue;
    if (end < upper.size() && !common::IsSpace(upper[end])) continue;
    std::string value = DirectoryValue(original, end);
    // A cut directory would be one the caller never named: passed over.
    if (!value.empty() && value.size() <= kMaxValue) dest = value;
  }
}

}  // namespace

std::string JoinArgs(const std::vector<std::string>& elements, bool listing) {
  if (listing && common::Facts().debug) {
    const std::string dashes = "-------------------------------------------------------\n";
    messages::ConsoleWrite(dashes);
    messages::ConsoleWrite(messages::FormatText(messages::UserText("S_TOTAL_ARGS"),
                                                {static_cast<int>(elements.size())}));
    messages::ConsoleWrite(messages::UserText("S_CMDLINE_ARG_ELTS"));
    for (size_t i = 0; i < elements.size(); ++i) {
      messages::ConsoleWrite(messages::FormatText("Arg:%d:%s:\n", {static_cast<int>(i), elements[i]}));
    }
    messages::ConsoleWrite(dashes);
  }
  std::string joined;
  for (const std::string& element : elements) {
    joined += element;
    joined += ' ';
  }
  return joined;
}

void GetOptionText(const std::string& option, const std::string& searched, std::string& dest) {
  TakeOptionValue(option, searched, " -", dest);
}

void GetOptionWord(const std::string& option, const std::string& searched, std::string& dest) {
  // A quoted word runs to its closing quote, quotes kept (StripQuotes takes
  // them off): the joined tail quotes every element that holds a blank, and
  // a location cut at its first blank would name nothing.
  size_t at = searched.find(option);
  if (at != std::string::npos) {
    size_t start = at + option.size();
    while (start < searched.size() && common::IsSpace(searched[start])) ++start;
    if (start < searched.size() && searched[start] == '"') {
      size_t close = searched.find('"', start + 1);
      if (close != std::string::npos) {
        std::string value = searched.substr(start, close + 1 - start);
        if (value.size() > kMaxValue) value.resize(kMaxValue);
        dest = value;
        return;
      }
    }
  }
  TakeOptionValue(option, searched, " ", dest);
}

void TrimBlanks(std::string& text) {
  if (text.size() > kMaxValue) text.resize(kMaxValue);
  size_t end = text.size();
  while (end > 0 && common::IsSpace(text[end - 1])) --end;
  size_t start = 0;
  while (start < end && common::IsSpace(text[start])) ++start;
  text = text.substr(start, end - start);
}

std::string UpperCopy(const std::string& text) {
  std::string upper = text;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

std::string ReplaceFirst(const std::string& text, const std::string& pattern,
                         const std::string& replacement) {
  size_t at = text.find(pattern);
  if (at == std::string::npos) return text;
  return text.substr(0, at) + replacement + text.substr(at + pattern.size());
}

void StripQuotes(std::string& text) {
  if (text.empty() || text.back() != '"') return;
  text.pop_back();
  if (!text.empty() && text.front() == '"') text.erase(0, 1);
}

void GetAssignment(std::string& dest, const std::string& element, char endMark) {
  std::string copy = element.substr(0, kMaxValue);
  size_t eq = copy.find('=');
  if (eq == std::string::npos) return;
  size_t start = eq + 1;
  while (start < copy.size() && copy[start] == endMark) ++start;
  if (start >= copy.size()) return;
  size_t end = copy.find(endMark, start);
  std::string value = copy.substr(start, end == std::string::npos ? std::string::npos : end - start);
  if (!value.empty() && value.front() == '"') value.erase(0, 1);
  size_t last = value.find_last_not_of(' ');
  if (last != std::string::npos && value[last] == '"') value.resize(last);
  dest = value;
}

void GetLocationValue(std::string& dest, const std::string& element, int mode, bool debug) {
  std::string value;
  GetAssignment(value, element, '=');
  if (value.empty()) return;
  if (mode == 0) {
    dest = params::MakeAbsolutePath(value, debug);
    return;
  }
  std::string dir;
  params::GetDirPart(dir, value);
  dest = params::MakeAbsolutePath(common::JoinExactly(dir, "prereq"), debug);
}

std::string ConvertJvmArgs(const std::string& jText) {
  std::string out;
  size_t i = 0;
  while (i < jText.size()) {
    if (jText.compare(i, 3, "-J-") == 0) {
      out += '-';
      i += 3;
    } else {
      out += jText[i++];
    }
  }
  return out;
}

void ParseEarlyOptions(const std::vector<std::string>& elements, Options& options) {
  const std::string joined = JoinArgs(elements, false);
  auto take = [&](const char* option, bool word, std::optional<std::string>& dest) {
    if (joined.find(option) == std::string::npos) return;
    std::string value;
    if (word) {
      GetOptionWord(option, joined, value);
    } else {
      GetOptionText(option, joined, value);
    }
    dest = value;
  };
  // A path in double quotes (how a path with a blank is written) is taken
  // whole, up to its closing quote, without the quotes: a quoted name would
  // name no file, and the run would go on with settings nobody chose.
  auto takePath = [&](const char* option, std::optional<std::string>& dest) {
    take(option, false, dest);
    if (!dest) return;
    std::string quoted;
    GetOptionWord(option, joined, quoted);
    if (quoted.size() >= 2 && quoted.front() == '"' && quoted.back() == '"') {
      dest = quoted.substr(1, quoted.size() - 2);
    }
  };
  takePath("-paramFile", options.paramFile);
  takePath("-rscratchPath", options.rscratchPath);
  std::optional<std::string> startup;
  take("-rstartupLoc", false, startup);
  if (startup) {
    options.rstartupLocGiven = true;
    options.startupLocation = *startup;
  }
  take("-rtimestamp", false, options.rtimestamp);
  take("-jreLoc", true, options.jreLoc);
  if (options.jreLoc) StripQuotes(*options.jreLoc);
  std::optional<std::string> shipHome;
  take("-shipHomeLoc", true, shipHome);
  if (shipHome) {
    options.shipHomeLocGiven = true;
    options.shipHomeLocRaw = *shipHome;
    options.startupLocation = *shipHome;
  }
}

const ModeRow kModeTable[kModeCount] = {
    // mode, text, loop order, silent, log name, class source, class, no bootstrap, not from medium
    {Mode::PreCloneSetup, "-PRECLONESETUP", 1, false, nullptr, ClassSource::Fixed,
     "quelta.admkit.qsi.qsic.QsicPreCloneSetup", false, true},
    // The prerequisite checker's bootstrap rule depends on distribution mode;
    // the run sequence applies it.
    {Mode::PrereqChecker, "-PREREQCHECKER", 20, false, nullptr, ClassSource::Fixed,
     "quelta.admkit.qsp.qspc.qspcc.QspccPrereqApp", false, false},
    {Mode::UpdateNodeList, "-UPDATENODELIST", 2, true, "UpdateNodeList", ClassSource::Fixed,
     "quelta.admkit.qsi.qsic.QsicUpdateNodeList", true, true},
    {Mode::AttachHome, "-ATTACHHOME", 3, true, "AttachHome", ClassSource::Fixed,
     "quelta.admkit.qsi.qsic.QsicAttachHome", false, false},
    {Mode::AttachSuite, "-ATTACHSUITE", 4, true, "AttachSuite", ClassSource::Fixed,
     "quelta.admkit.qsi.qsic.QsicAttachSuite", true, true},
    {Mode::InstallAddOns, "-INSTALLADDONS", 5, true, "InstallAddOn", ClassSource::Fixed,
     "quelta.admkit.qsi.qsic.QsicInstallAddOn", false, false},
    {Mode::Relink, "-RELINK", 6, true, nullptr, ClassSource::Fixed, "quelta.admkit.qsi.qsis.QsisMakeDeps",
     false, false},
    {Mode::RemoveHome, "-REMOVEHOME", 9, false, "RemoveHome", ClassSource::Fixed,
     "quelta.admkit.qsi.qsic.QsicRemoveHome", true, true},
    {Mode::DetachHome, "-DETACHHOME", 15, true, "DetachHome", ClassSource::Fixed,
     "quelta.admkit.qsi.qsic.QsicDetachHome", true, true},
    {Mode::DetachSuite, "-DETACHSUITE", 16, true, "DetachSuite", ClassSource::Fixed,
     "quelta.admkit.qsi.qsic.QsicDetachSuite", true, true},
    {Mode::SuiteDeinstall, "-SUITEDEINSTALL", 17, true, "SuiteDeinstall", ClassSource::Fixed,
     "quelta.admkit.qsi.qsic.QsicSuiteDeinstall", true, true},
    {Mode::UpdateHomeDeps, "-UPDATEHOMEDEPS", 18, true, "UpdateHomeDeps", ClassSource::Fixed,
     "quelta.admkit.qsi.qsic.QsicUpdateHomeDeps", false, false},
    {Mode::AddNode, "-ADDNODE", 19, false, nullptr, ClassSource::InstallClass, nullptr, true, true},
    {Mode::Cleanup, "-CLEANUP", 7, false, "Cleanup", ClassSource::Fixed, "quelta.admkit.qsi.qsic.QsicCleanup",
     false, false},
    {Mode::SaveInventory, "-SAVEINVENTORY", 8, false, "SaveInventory", ClassSource::Fixed,
     "quelta.admkit.qsi.qsic.QsicSaveInventory", false, false},
    {Mode::OneClick, "-ONECLICK", 30, false, nullptr, ClassSource::OneClickClass, nullptr, false, false},
};

const ModeRow& RowOf(Mode mode) {
  for (const ModeRow& row : kModeTable) {
    if (row.mode == mode) return row;
  }
  return kModeTable[0];  // every mode has its row
}

namespace {

void CutJText(std::string& element, Options& options) {
  size_t j = element.find("-J");
  if (j == std::string::npos) return;
  options.jText = element.substr(j + 2);
  // Once a -J text has asked for its own heap size, a later one does not
  // bring JRE_MEMORY_OPTIONS back.
  if (options.jText->find("-mx") != std::string::npos) options.jTextHasMx = true;
  element.resize(j);
}

// The mode options of one element. Mode tests change nothing but the mode
// requests, silent mode and the log name, so they need not run between the
// other tests: of the log names an element names, the one latest in the
// option loop's order wins, as one test after another would leave it.
void TakeModes(const std::string& upper, Options& options) {
  int logOrder = 0;
  for (const ModeRow& row : kModeTable) {
    if (upper.find(row.text) == std::string::npos) continue;
    options.modes[static_cast<size_t>(row.mode)] = true;
    if (row.silent) options.silent = true;
    if (row.logName && row.loopOrder > logOrder) {
      options.actionsLogName = LogName(row.logName);
      logOrder = row.loopOrder;
    }
  }
}

void TakeFlags(const std::string& upper, Options& options) {
  auto has = [&](const char* text) { return upper.find(text) != std::string::npos; };
  if (has("-BOOTSTRAPONLY")) options.bootstrapOnly = options.silent = true;
  if (has("-NOBOOTSTRAP")) options.noBootstrap = true;
  if (has("-PRINTTIME")) options.printTime = true;
  if (has("-SILENT")) options.silent = true;
  if (has("-WAITFORCOMPLETION")) options.waitForCompletion = true;
  if (has("-HELP")) options.help = options.silent = true;
  if (has("-DEBUG")) options.debug = true;
  if (has("-MEMORY")) options.memory = true;
  if (has("-IGNORESYSPREREQS")) options.ignoreSysPrereqs = true;
  if (has("-EXECUTESYSPREREQS")) options.executeSysPrereqs = true;
  if (has("-NOCONSOLE")) options.noConsole = true;
}

// Whether the assignment GetAssignment took from `element` with "=" ran to
// where the element was cut: by the value limit, or by a "-J" in the middle
// of a word (one after a blank starts the runtime options and cuts nothing
// of the value); or whether it holds a quote, which no Windows path does.
bool AssignmentCut(const std::string& element, const std::string& original, const std::string& value) {
  if (value.find('"') != std::string::npos) return true;
  size_t start = element.find('=');
  if (start == std::string::npos) return false;
  while (start < element.size() && element[start] == '=') ++start;
  const size_t limit = std::min(element.size(), kMaxValue);
  if (start >= limit || element.find('=', start) < limit) return false;  // ends at another "="
  if (element.size() > kMaxValue) return true;
  return element.size() < original.size() && !common::IsSpace(element.back());
}

// The values, from the element as the cuts left it, in the loop's order:
// PREREQ_CONFIG_LOCATION first, so that it beats FROM_LOCATION.
void TakeValues(const std::string& upper, const std::string& element, const std::string& original,
                Options& options) {
  auto has = [&](const char* text) { return upper.find(text) != std::string::npos; };
  if (has("BOOTSTRAP_LOC")) {
    GetAssignment(options.bootstrapLoc, element, '=');
    options.bootstrapLocCut = AssignmentCut(element, original, options.bootstrapLoc);
  }
  if (has("JVM_OPTIONS")) GetAssignment(options.jvmOptions, element, '"');
  if (has("PREREQ_CONFIG_LOCATION")) {
    options.prereqLocFromFromLocation = false;
    GetLocationValue(options.prereqConfigLocation, element, 0, options.debug);
  }
  if (has("FROM_LOCATION") && options.prereqConfigLocation.empty()) {
    options.prereqLocFromFromLocation = true;
    GetLocationValue(options.prereqConfigLocation, element, 1, options.debug);
  }
  TakeDirectoryOption(upper, original, "-SCRATCHPATH", options.scratchRoot);
  TakeDirectoryOption(upper, original, "-PREREQLOGLOC", options.prereqLogLocation);
}

}  // namespace

void ParseOptionLoop(std::vector<std::string>& elements, Options& options) {
  for (std::string& element : elements) {
    const std::string original = element;
    const std::string upper = UpperCopy(element);
    options.upperTail = upper;
    // A "-J" in the launcher's own path ("Anne-Julie") names no runtime
    // option: taken as one, it would become the Java main class.
    if (&element != &elements.front()) CutJText(element, options);
    if (options.shipHomeLocGiven) {
      element = ReplaceFirst(element, "-shipHomeLoc " + options.shipHomeLocRaw, "");
    }
    TakeModes(upper, options);
    TakeFlags(upper, options);
    TakeValues(upper, element, original, options);
  }
}

Options ReadOptions(std::vector<std::string>& elements) {
  Options options;
  options.actionsLogName = LogName("installActions");
  ParseEarlyOptions(elements, options);
  ParseOptionLoop(elements, options);
  return options;
}

const ModeRow* DecideLauncherMode(const Options& options) {
  for (const ModeRow& row : kModeTable) {
    if (options.Has(row.mode)) return &row;
  }
  return nullptr;
}

}  // namespace launcher

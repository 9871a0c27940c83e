#include "launcher/options.h"

#include "common/process_state.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/format.h"
#include "params/paths.h"
#include "platform/platform.h"

namespace launcher {

namespace {

constexpr size_t kMaxValue = 1023;

bool IsWhite(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

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
// text that may hold blanks. Empty when nothing follows.
std::string DirectoryValue(const std::string& text, size_t i) {
  while (i < text.size() && IsWhite(text[i])) ++i;
  if (i >= text.size()) return {};
  if (text[i] == '"') {
    size_t close = text.find('"', i + 1);
    return text.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1);
  }
  size_t end = i;
  while (end < text.size() && !IsWhite(text[end])) ++end;
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
    if (at > 0 && !IsWhite(upper[at - 1])) continue;
    if (end < upper.size() && !IsWhite(upper[end])) continue;
    std::string value = DirectoryValue(original, end);
    // A cut directory would be one the caller never named: passed over.
    if (!value.empty() && value.size() <= kMaxValue) dest = value;
  }
}

}  // namespace

std::string JoinArgs(const std::vector<std::string>& elements, bool listing) {
  if (listing && common::Process().debug) {
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
    while (start < searched.size() && IsWhite(searched[start])) ++start;
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
  while (end > 0 && IsWhite(text[end - 1])) --end;
  size_t start = 0;
  while (start < end && IsWhite(text[start])) ++start;
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

void GetLocationValue(std::string& dest, const std::string& element, int mode) {
  std::string value;
  GetAssignment(value, element, '=');
  if (value.empty()) return;
  if (mode == 0) {
    dest = params::MakeAbsolutePath(value);
    return;
  }
  std::string dir;
  params::GetDirPart(dir, value);
  dest = params::MakeAbsolutePath(dir + platform::kPathSep + "prereq");
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
  take("-paramFile", false, options.paramFile);
  take("-rscratchPath", false, options.rscratchPath);
  std::optional<std::string> startup;
  take("-rstartupLoc", false, startup);
  if (startup) {
    options.rstartupLocGiven = true;
    options.startupLocation = *startup;
  }
  take("-rtimestamp", false, options.rtimestamp);
  take("-jreLoc", true, options.jreLoc);
  if (options.jreLoc) {
    StripQuotes(*options.jreLoc);
    common::Process().jreLocGiven = true;
  }
  std::optional<std::string> shipHome;
  take("-shipHomeLoc", true, shipHome);
  if (shipHome) {
    options.shipHomeLocGiven = true;
    options.shipHomeLocRaw = *shipHome;
    options.startupLocation = *shipHome;
  }
}

void ParseOptionLoop(std::vector<std::string>& elements, Options& options) {
  common::ProcessState& process = common::Process();
  for (std::string& element : elements) {
    const std::string original = element;
    const std::string upper = UpperCopy(element);
    options.upperTail = upper;

    size_t j = element.find("-J");
    if (j != std::string::npos) {
      options.jText = element.substr(j + 2);
      // Once a -J text has asked for its own heap size, a later one does not
      // bring JRE_MEMORY_OPTIONS back.
      if (options.jText->find("-mx") != std::string::npos) options.jTextHasMx = true;
      element.resize(j);
    }
    if (options.shipHomeLocGiven) {
      element = ReplaceFirst(element, "-shipHomeLoc " + options.shipHomeLocRaw, "");
    }

    auto has = [&](const char* text) { return upper.find(text) != std::string::npos; };
    auto mode = [&](const char* text, bool& request, bool silent, const char* logName) {
      if (!has(text)) return;
      request = true;
      if (silent) process.silent = true;
      if (logName) process.actionsLogName = LogName(logName);
    };
    mode("-PRECLONESETUP", options.preCloneSetup, false, nullptr);
    mode("-UPDATENODELIST", options.updateNodeList, true, "UpdateNodeList");
    mode("-ATTACHHOME", options.attachHome, true, "AttachHome");
    mode("-ATTACHSUITE", options.attachSuite, true, "AttachSuite");
    mode("-INSTALLADDONS", options.installAddOns, true, "InstallAddOn");
    mode("-RELINK", options.relink, true, nullptr);
    mode("-CLEANUP", options.cleanup, false, "Cleanup");
    mode("-SAVEINVENTORY", options.saveInventory, false, "SaveInventory");
    mode("-REMOVEHOME", options.removeHome, false, "RemoveHome");
    mode("-BOOTSTRAPONLY", options.bootstrapOnly, true, nullptr);
    mode("-NOBOOTSTRAP", options.noBootstrap, false, nullptr);
    if (has("BOOTSTRAP_LOC")) GetAssignment(options.bootstrapLoc, element, '=');
    if (has("JVM_OPTIONS")) GetAssignment(options.jvmOptions, element, '"');
    if (has("-PRINTTIME")) process.printTime = true;
    mode("-DETACHHOME", options.detachHome, true, "DetachHome");
    mode("-DETACHSUITE", options.detachSuite, true, "DetachSuite");
    mode("-SUITEDEINSTALL", options.suiteDeinstall, true, "SuiteDeinstall");
    mode("-UPDATEHOMEDEPS", options.updateHomeDeps, true, "UpdateHomeDeps");
    mode("-ADDNODE", options.addNode, false, nullptr);
    mode("-PREREQCHECKER", options.prereqChecker, false, nullptr);
    if (options.prereqChecker) process.prereqChecker = true;
    if (has("-SILENT")) process.silent = true;
    if (has("-WAITFORCOMPLETION")) options.waitForCompletion = true;
    mode("-HELP", options.help, true, nullptr);
    if (has("-DEBUG")) process.debug = true;
    if (has("-MEMORY")) process.memory = true;
    if (has("-IGNORESYSPREREQS")) options.ignoreSysPrereqs = true;
    if (has("-EXECUTESYSPREREQS")) options.executeSysPrereqs = true;
    if (has("-NOCONSOLE")) options.noConsole = true;
    if (has("PREREQ_CONFIG_LOCATION")) {
      process.prereqLocFromFromLocation = 0;
      GetLocationValue(options.prereqConfigLocation, element, 0);
    }
    mode("-ONECLICK", options.oneClick, false, nullptr);
    if (has("FROM_LOCATION") && options.prereqConfigLocation.empty()) {
      process.prereqLocFromFromLocation = 1;
      GetLocationValue(options.prereqConfigLocation, element, 1);
    }
    TakeDirectoryOption(upper, original, "-SCRATCHPATH", options.scratchPathOption);
    TakeDirectoryOption(upper, original, "-PREREQLOGLOC", options.prereqLogLocOption);
  }
  if (!options.scratchPathOption.empty()) process.scratchRoot = options.scratchPathOption;
  if (!options.prereqLogLocOption.empty()) process.prereqLogLocation = options.prereqLogLocOption;
}

LauncherMode DecideLauncherMode(const Options& o) {
  using Class = LauncherMode::Class;
  struct Row {
    bool present;
    const char* installerClass;  // nullptr: INSTALL_CLASS unchanged
    bool forcesNoBootstrap;
    bool notFromDistribution;
  };
  const Row rows[] = {
      {o.preCloneSetup, "quelta.admkit.qsi.qsic.QsicPreCloneSetup", false, true},
      // The prerequisite checker's bootstrap rule depends on distribution
      // mode and is applied by the run sequence.
      {o.prereqChecker, "quelta.admkit.qsp.qspc.qspcc.QspccPrereqApp", false, false},
      {o.updateNodeList, "quelta.admkit.qsi.qsic.QsicUpdateNodeList", true, true},
      {o.attachHome, "quelta.admkit.qsi.qsic.QsicAttachHome", false, false},
      {o.attachSuite, "quelta.admkit.qsi.qsic.QsicAttachSuite", true, true},
      {o.installAddOns, "quelta.admkit.qsi.qsic.QsicInstallAddOn", false, false},
      {o.relink, "quelta.admkit.qsi.qsis.QsisMakeDeps", false, false},
      {o.removeHome, "quelta.admkit.qsi.qsic.QsicRemoveHome", true, true},
      {o.detachHome, "quelta.admkit.qsi.qsic.QsicDetachHome", true, true},
      {o.detachSuite, "quelta.admkit.qsi.qsic.QsicDetachSuite", true, true},
      {o.suiteDeinstall, "quelta.admkit.qsi.qsic.QsicSuiteDeinstall", true, true},
      {o.updateHomeDeps, "quelta.admkit.qsi.qsic.QsicUpdateHomeDeps", false, false},
      {o.addNode, nullptr, true, true},
      {o.cleanup, "quelta.admkit.qsi.qsic.QsicCleanup", false, false},
      {o.saveInventory, "quelta.admkit.qsi.qsic.QsicSaveInventory", false, false},
  };
  LauncherMode mode;
  for (const Row& row : rows) {
    if (!row.present) continue;
    mode.kind = row.installerClass ? Class::Fixed : Class::InstallClass;
    if (row.installerClass) mode.fixedClass = row.installerClass;
    mode.forcesNoBootstrap = row.forcesNoBootstrap;
    mode.notFromDistribution = row.notFromDistribution;
    return mode;
  }
  if (o.oneClick) mode.kind = Class::OneClickClass;
  return mode;
}

}  // namespace launcher

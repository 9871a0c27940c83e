#include "tools/qelcheck/catalogue_checks.h"

#include <algorithm>
#include <map>

#include "messages/catalogue.h"
#include "messages/format.h"
#include "platform/platform.h"

namespace qelcheck {

namespace {

const char* const kResourceDir = "resource";
const char* const kBaseCatalogue = "cons.nls";
const char* const kTranslationPrefix = "cons_";
const char* const kCatalogueSuffix = ".nls";

// "%s %d" for "sd".
std::string Placeholders(const std::string& conversions) {
  if (conversions.empty()) return "none";
  std::string text;
  for (char c : conversions) text += std::string(text.empty() ? "" : " ") + "%" + c;
  return text;
}

struct Catalogue {
  std::vector<std::string> keys;  // in the order of their first definition
  std::map<std::string, std::string> texts;
};

}  // namespace

const std::map<std::string, std::string>& LauncherArguments() {
  static const std::map<std::string, std::string> table = {
      {"S_STARTINSTALLERMSG", "s"}, {"S_ERGOSLST", "sd"}, {"S_ERABS_PATH", "s"}, {"S_ERPERDIR", "s"},
      {"S_ERQELPARAMNFD_LOC", "s"}, {"S_ERUSR_PARAMFILE_NOT_FOUND", "s"}, {"S_DEF_PARAMFILE", "s"},
      {"S_USING_PARAMFILE", "s"}, {"S_ERRORINVOKINGFROMCD", "s"}, {"S_ERR_INVALID_PREREQ_CONFIG_LOC", "s"},
      {"S_ERBOOTSTRAP", "sd"}, {"S_ERBOOTSTRAP_RANGE", "d"}, {"S_ERJRENFD", "ss"}, {"S_JVMLOADMSG", "s"},
      {"S_TOTAL_ARGS", "d"}, {"S_UNZIP_FAILED", "s"}, {"S_NUMBER_OF_FILES_BOOTSTRAPPED", "sd"},
      {"S_CHECKING_FOR_DISP_COL", "s"}, {"S_CHECKING_FOR_CPU", "s"}, {"S_CHECKING_FOR_SWAP", "s"},
      {"S_ACTUAL", "s"}, {"S_ACTUAL_CPU", "d"}, {"S_ACTUAL_SWAP", "d"}, {"S_FAIL_CHECKING_FOR_SWAP", "ds"},
      {"S_EXIT_MSG", "s"},
  };
  return table;
}

namespace {

// A text whose placeholders outnumber the values the launcher hands it, or
// that holds one the formatter never fills, shows a raw placeholder.
void CheckAgainstLauncher(const std::string& shown, const std::string& key, const std::string& text,
                          Findings& findings) {
  auto found = LauncherArguments().find(key);
  const std::string passed = found == LauncherArguments().end() ? "" : found->second;
  const std::string taken = messages::TemplateConversions(text);
  const size_t unfilled = messages::UnfilledPlaceholders(text);
  if (unfilled > 0) {
    findings.Error(shown, key + ": a placeholder the launcher never fills (%n, an unknown conversion, a \"*\" "
                                "width): the message shows it as written");
  } else if (taken.size() > passed.size()) {
    findings.Error(shown, key + ": placeholders " + Placeholders(taken) + " where the launcher passes " +
                              Placeholders(passed) + ": the message shows a raw placeholder");
  }
}

// The catalogue as the launcher loads it: the first definition of a key
// counts; a record without "=" is skipped.
std::optional<Catalogue> Load(const Medium& medium, const std::string& name, Findings& findings) {
  const std::string shown = medium.Join(kResourceDir, name);
  Catalogue catalogue;
  size_t malformed = 0;
  std::vector<std::string> repeated;
  const bool opened = messages::ReadCatalogueRecords(*medium.Host(shown), [&](const std::string& record) {
    std::string key, text;
    if (record.size() == messages::kMaxRecordBytes) {
      const std::string name = record.substr(0, record.find('='));
      findings.Error(shown, (name.size() < record.size() ? name + ": the record" : std::string("a record")) +
                                " is longer than " + std::to_string(messages::kMaxRecordBytes) +
                                " bytes: the launcher cuts it there and reads the rest as a record of its own");
    }
    if (!messages::SplitCatalogueRecord(record, key, text)) {
      ++malformed;
    } else if (catalogue.texts.emplace(key, text).second) {
      catalogue.keys.push_back(key);
    } else {
      repeated.push_back(key);
    }
  });
  if (!opened) return std::nullopt;
  if (malformed > 0) {
    findings.Warning(shown, malformed == 1 ? std::string("a record has no \"=\": the launcher skips it")
                                           : std::to_string(malformed) + " records have no \"=\": the launcher skips them");
  }
  for (const std::string& key : repeated) {
    findings.Warning(shown, key + " is defined again: the first definition counts");
  }
  return catalogue;
}

}  // namespace

void CheckCatalogues(const Medium& medium, Findings& findings) {
  const std::string dir = *medium.Host(kResourceDir);
  std::vector<std::string> translations;
  if (std::optional<std::vector<platform::DirEntry>> listing = platform::ListDirectory(dir)) {
    for (const platform::DirEntry& entry : *listing) {
      const std::string& name = entry.name;
      if (!entry.isDirectory && name.rfind(kTranslationPrefix, 0) == 0 && name.size() > std::string(kTranslationPrefix).size() + 4 &&
          name.compare(name.size() - 4, 4, kCatalogueSuffix) == 0) {
        translations.push_back(name);
      }
    }
  }
  std::sort(translations.begin(), translations.end());

  const std::optional<Catalogue> base = Load(medium, kBaseCatalogue, findings);
  if (!base) {
    const std::string shown = medium.Join(kResourceDir, kBaseCatalogue);
    if (translations.empty()) {
      findings.Error(shown, "missing, and no translation beside it: the launcher ends with 1 at once");
    } else {
      findings.Error(shown, "missing: the logs show message keys instead of texts, and so does every message "
                            "a translation leaves out");
    }
  }
  if (base) {
    for (const std::string& key : base->keys) {
      CheckAgainstLauncher(medium.Join(kResourceDir, kBaseCatalogue), key, base->texts.at(key), findings);
    }
  }
  for (const std::string& name : translations) {
    const std::optional<Catalogue> translation = Load(medium, name, findings);
    if (!translation || !base) continue;
    const std::string shown = medium.Join(kResourceDir, name);
    for (const std::string& key : translation->keys) {
      if (base->texts.count(key)) CheckAgainstLauncher(shown, key, translation->texts.at(key), findings);
    }
    for (const std::string& key : base->keys) {
      auto text = translation->texts.find(key);
      if (text == translation->texts.end()) {
        findings.Warning(shown, key + " is missing: the launcher shows the text of " + kBaseCatalogue);
        continue;
      }
      const std::string expected = messages::TemplateConversions(base->texts.at(key));
      const std::string got = messages::TemplateConversions(text->second);
      if (got != expected) {
        findings.Error(shown, key + ": placeholders " + Placeholders(got) + " where " + kBaseCatalogue + " has " +
                                  Placeholders(expected) + ": the message comes out wrong");
      }
    }
    for (const std::string& key : translation->keys) {
      if (!base->texts.count(key)) {
        findings.Warning(shown, key + " is not a key of " + std::string(kBaseCatalogue) + ": the launcher never shows it");
      }
    }
  }
}

}  // namespace qelcheck

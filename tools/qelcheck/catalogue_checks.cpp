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

// The catalogue as the launcher loads it: the first definition of a key
// counts; a record without "=" is skipped.
std::optional<Catalogue> Load(const Medium& medium, const std::string& name, Findings& findings) {
  const std::string shown = medium.Join(kResourceDir, name);
  Catalogue catalogue;
  size_t malformed = 0;
  std::vector<std::string> repeated;
  const bool opened = messages::ReadCatalogueRecords(*medium.Host(shown), [&](const std::string& record) {
    std::string key, text;
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
  for (const std::string& name : translations) {
    const std::optional<Catalogue> translation = Load(medium, name, findings);
    if (!translation || !base) continue;
    const std::string shown = medium.Join(kResourceDir, name);
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

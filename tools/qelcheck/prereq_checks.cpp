#include "tools/qelcheck/prereq_checks.h"

#include <algorithm>

#include "common/text.h"
#include "platform/shared/ini_reader.h"
#include "prereq/certified_versions.h"
#include "prereq/prereq_reader.h"
#include "prereq/prereq_report.h"
#include "prereq/prereq_run.h"
#include "tools/qelcheck/near_names.h"

namespace qelcheck {

namespace {

const char* const kRequired = "-required";
const char* const kOptional = "-optional";

struct StrictLine {
  size_t number;
  std::string text;
};

// The file's lines as the prerequisite reader reads them (blank lines
// skipped, long lines cut), with their numbers.
std::vector<StrictLine> StrictLines(const std::string& content) {
  prereq::PrereqText in(content);
  std::vector<StrictLine> lines;
  std::string line;
  size_t counted = 0;  // line ends before `counted`
  size_t number = 1;
  for (;;) {
    const bool more = prereq::ReadPrereqLine(in, line) == 0;
    const size_t end = more ? in.pos - 1 : content.size();
    number += static_cast<size_t>(std::count(content.begin() + counted, content.begin() + end, '\n'));
    counted = end;
    if (more || !line.empty()) lines.push_back({number, line});
    if (!more) return lines;
  }
}

class PrereqChecker {
 public:
  PrereqChecker(const Medium& medium, const ParamFile& file, const ParamView& view, Findings& findings)
      : medium_(medium), file_(file), view_(view), findings_(findings), lines_(StrictLines(file.content)) {}

  void Run() {
    // The list is read with the profile reader, like the parameter keys.
    certifiedList_ = platform::IniReadString(file_.content, prereq::kCertifiedSection, medium_.FamilyName(), "",
                                             common::kMaxValueChars);
    for (const std::string& item : common::SplitDroppingEmpty(certifiedList_, ',')) versions_.push_back(item);
    CheckHeaders();
    ReadSection(prereq::kGenericSection, Kind::Generic);
    ReadSection(prereq::kCertifiedSection, Kind::Certified);
    for (const std::string& version : versions_) {
      ReadSection(prereq::VersionSectionName(medium_.FamilyName(), version, true), Kind::Version);
      ReadSection(prereq::VersionSectionName(medium_.FamilyName(), version, false), Kind::Version);
    }
    CheckCertifiedList();
  }

 private:
  enum class Kind { Generic, Certified, Version };

  void Error(size_t line, const std::string& text) { findings_.Error(file_.name, line, text); }
  void Warning(size_t line, const std::string& text) { findings_.Warning(file_.name, line, text); }

  // A prerequisite section of the medium's system by its name, with the
  // letter case the reader wants; "" for any other name.
  std::string PrereqSectionName(const std::string& name) const {
    for (const char* known : {prereq::kGenericSection, prereq::kCertifiedSection}) {
      if (platform::IniNamesEqual(name, known)) return known;
    }
    const std::string family = medium_.FamilyName() + "-";
    if (name.size() > family.size() && platform::IniNamesEqual(name.substr(0, family.size()), family)) {
      for (const char* end : {kRequired, kOptional}) {
        const std::string tail = name.substr(name.size() - std::min(name.size(), std::string(end).size()));
        if (platform::IniNamesEqual(tail, end)) {
          return family + name.substr(family.size(), name.size() - family.size() - tail.size()) + end;
        }
      }
    }
    return {};
  }

  // Sections the profile reader sees that the prerequisite reader, which
  // wants "[name]" exactly and alone on its line, does not find; and version
  // sections no certified version names.
  void CheckHeaders() {
    for (const platform::IniLine& line : platform::IniReadLines(file_.content)) {
      if (!line.isSection) continue;
      const std::string name = PrereqSectionName(line.name);
      if (name.empty()) continue;
      auto strict = std::find_if(lines_.begin(), lines_.end(), [&](const StrictLine& l) { return l.number == line.number; });
      std::string text = strict == lines_.end() ? std::string() : strict->text;
      std::optional<std::string> header = prereq::GetSectionHeader(text);
      if (!header || *header != "[" + name + "]") {
        const std::string text = "the prerequisite checks do not read this section: they find [" + name +
                                 "] only when written so exactly, letter case included, with nothing after \"]\"";
        // The checks of a version section run only on a machine of that
        // version; the others run everywhere.
        if (name == prereq::kGenericSection || name == prereq::kCertifiedSection) {
          Error(line.number, text);
        } else {
          Warning(line.number, text + " (its checks would run only on a machine of that version)");
        }
        continue;
      }
      if (name == prereq::kGenericSection || name == prereq::kCertifiedSection) continue;
      const bool listed = std::any_of(versions_.begin(), versions_.end(), [&](const std::string& version) {
        return name == prereq::VersionSectionName(medium_.FamilyName(), version, true) ||
               name == prereq::VersionSectionName(medium_.FamilyName(), version, false);
      });
      if (!listed) {
        Warning(line.number, "[" + name + "] is never read: no certified version (" + medium_.FamilyName() +
                                 " in [" + prereq::kCertifiedSection + "]) names it");
      }
    }
  }

  std::vector<std::string> KnownKeys(Kind kind) const {
    std::vector<std::string> keys;
    if (kind == Kind::Certified) {
      return {medium_.FamilyName(), prereq::kCertifiedFailureMessageKey, prereq::kCertifiedWarnKey,
              prereq::kCertifiedLocationKey};
    }
    for (const prereq::PrereqCheck& check : prereq::PrereqChecks()) {
      if (kind == Kind::Generic || !check.genericOnly) keys.push_back(check.key);
    }
    if (kind == Kind::Version) {
      for (const prereq::PrereqCheck& check : prereq::PrereqChecks()) keys.push_back(check.failureMessageKey);
    }
    return keys;
  }

  // The entries of the first section of that exact name, as a pass reads
  // them: up to the next header, or to a line without a key, where the
  // reader stops.
  void ReadSection(const std::string& name, Kind kind) {
    const std::string wanted = "[" + name + "]";
    auto at = std::find_if(lines_.begin(), lines_.end(), [&](StrictLine line) {
      std::optional<std::string> header = prereq::GetSectionHeader(line.text);
      return header && *header == wanted;
    });
    if (at == lines_.end()) return;
    found_.push_back(name);
    const std::vector<std::string> known = KnownKeys(kind);
    sectionKeys_.clear();
    for (auto line = at + 1; line != lines_.end(); ++line) {
      std::string text = line->text;
      if (prereq::GetSectionHeader(text)) break;
      prereq::PrereqTokenizer scan;
      std::string key;
      if (prereq::NextPrereqToken(scan, &line->text, key, prereq::TokenMode::Key) != 0) break;
      sectionKeys_.push_back(key);
    }
    for (auto line = at + 1; line != lines_.end(); ++line) {
      std::string text = line->text;
      if (prereq::GetSectionHeader(text)) return;
      prereq::PrereqTokenizer scan;
      std::string key, value;
      if (prereq::NextPrereqToken(scan, &line->text, key, prereq::TokenMode::Key) != 0) {
        StopsAt(line, wanted);
        return;
      }
      const size_t afterKey = scan.pos;
      if (prereq::NextPrereqToken(scan, nullptr, value, prereq::TokenMode::Value) != 0) value.clear();
      if (key.empty() || key[0] == ';' || key[0] == '#') continue;  // meant as a comment: no check reads it
      CheckKey(line->number, key, kind, known, wanted);
      if (value.empty()) NoValue(line->number, key, scan.text.substr(std::min(afterKey, scan.text.size())));
    }
  }

  // The reader ends the section at a line without a key: what follows up to
  // the next header is never read.
  void StopsAt(std::vector<StrictLine>::const_iterator line, const std::string& section) {
    size_t skipped = 0;
    for (auto next = line + 1; next != lines_.end(); ++next) {
      std::string text = next->text;
      if (prereq::GetSectionHeader(text)) break;
      ++skipped;
    }
    if (skipped == 0) {
      Warning(line->number, "the prerequisite reader finds no key on this line");
    } else {
      Error(line->number, "the prerequisite reader finds no key on this line and stops: " +
                              (skipped == 1 ? std::string("the line after it in ") + section + " is never read"
                                            : "the " + std::to_string(skipped) + " lines after it in " + section +
                                                  " are never read"));
    }
  }

  void CheckKey(size_t line, const std::string& key, Kind kind, const std::vector<std::string>& known,
                const std::string& section) {
    if (std::find(known.begin(), known.end(), key) != known.end()) return;
    // The list is read with the profile reader, in any letter case; a
    // medium may hold the other system's list too.
    if (kind == Kind::Certified && (platform::IniNamesEqual(key, "Windows") || platform::IniNamesEqual(key, "Linux"))) {
      return;
    }
    if (kind == Kind::Generic) {
      for (const prereq::PrereqCheck& check : prereq::PrereqChecks()) {
        if (key == check.failureMessageKey) {
          Warning(line, key + " is read only from the sections of a certified version, not from " + section);
          return;
        }
      }
    }
    if (kind == Kind::Version) {
      for (const prereq::PrereqCheck& check : prereq::PrereqChecks()) {
        if (check.genericOnly && key == check.key) {
          Warning(line, key + " is checked only in [" + std::string(prereq::kGenericSection) + "]: not in " + section);
          return;
        }
      }
    }
    std::optional<std::string> near = NearestName(key, known);
    const std::string text = key + ": not a key the prerequisite checks read in " + section +
                             (near ? "; did you mean " + *near + "?" : "");
    // A slip of the keyboard in the generic section: the check meant runs
    // nowhere, unless the section sets its key as well.
    if (near && kind == Kind::Generic &&
        std::find(sectionKeys_.begin(), sectionKeys_.end(), *near) == sectionKeys_.end()) {
      Error(line, text + ": the check it means never runs");
    } else {
      Warning(line, text);
    }
  }

  // A value the reader could not take: an entry with a key and no value
  // runs no check.
  void NoValue(size_t line, const std::string& key, const std::string& rest) {
    std::string after = rest;
    prereq::TrimPrereqToken(after);
    if (!after.empty() && after[0] == '=') {
      Error(line, key + ": the prerequisite reader reads no value: nothing may stand between a key and its \"=\"");
    } else if (std::count(rest.begin(), rest.end(), '"') % 2 == 1) {
      Error(line, key + ": the prerequisite reader reads no value: a double quote is not closed");
    }
  }

  void CheckCertifiedList() {
    if (certifiedList_.empty()) return;
    size_t line = 0;
    bool inSection = false;
    for (const platform::IniLine& l : platform::IniReadLines(file_.content)) {
      if (l.isSection) inSection = platform::IniNamesEqual(l.name, prereq::kCertifiedSection);
      if (inSection && !l.isSection && platform::IniNamesEqual(l.name, medium_.FamilyName())) {
        line = l.number;
        break;
      }
    }
    if (!view_.platformPrereqs) {
      Warning(line, "PLATFORM_PREREQS is off: the certified versions and their sections are never checked");
      return;
    }
    for (const std::string& version : versions_) {
      std::string trimmed = version;
      prereq::TrimPrereqToken(trimmed);
      if (trimmed != version) {
        Warning(line, "the certified version \"" + version + "\" holds a blank: it never matches the system's version");
        continue;
      }
      const std::string required = prereq::VersionSectionName(medium_.FamilyName(), version, true);
      const std::string optional = prereq::VersionSectionName(medium_.FamilyName(), version, false);
      if (std::find(found_.begin(), found_.end(), required) == found_.end() &&
          std::find(found_.begin(), found_.end(), optional) == found_.end()) {
        Warning(line, "certified version " + version + " has no section [" + required + "] or [" + optional +
                          "]: only the generic checks run there");
      }
    }
  }

  const Medium& medium_;
  const ParamFile& file_;
  const ParamView& view_;
  Findings& findings_;
  const std::vector<StrictLine> lines_;
  std::string certifiedList_;
  std::vector<std::string> versions_;
  std::vector<std::string> found_;
  std::vector<std::string> sectionKeys_;  // of the section being read
};

}  // namespace

void CheckPrereqSections(const Medium& medium, const ParamFile& file, const ParamView& view, Findings& findings) {
  PrereqChecker(medium, file, view, findings).Run();
}

}  // namespace qelcheck

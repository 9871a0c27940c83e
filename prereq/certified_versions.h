// The certified operating-system versions: the running version against the
// list in section "Certified Versions", which also names the version's
// required and optional sections.
#pragma once

#include <string>

#include "prereq/prereq_report.h"

namespace prereq {

// Keys of section "Certified Versions" besides the list, read with the
// prerequisite reader.
inline constexpr const char* kCertifiedFailureMessageKey = "CERTIFIED_VERSION_FAILURE_MESSAGE";
inline constexpr const char* kCertifiedWarnKey = "CERTIFIED_VERSION_WARN";
inline constexpr const char* kCertifiedLocationKey = "CERTIFIED_VERSION_LOCATION";

// "<family>-<version>-required" or "...-optional": the sections of a
// certified version.
std::string VersionSectionName(const std::string& family, const std::string& version, bool required);

enum class VersionCheck {
  Certified,  // the section names are set; the required pass reads its section
  Accepted,   // not certified, the user went on: pass result 0
  Ignored,    // not certified under -IGNORESYSPREREQS: pass result 1
  NoList,     // no certified list: pass result 3
  Stop,       // reported: the launch ends with -1
};

// The check at the start of the required pass. The certified list is the
// value of key platform::kOsFamilyName, read with the profile reader; on a
// certified version the section names become "<family>-<version>-required"
// and "...-optional".
VersionCheck CheckCertifiedVersion(PrereqState& state);

// "a", "a or b", "a, b or c" from the non-empty comma-separated items of
// `list`, taken as written; at most 1023 characters.
std::string FormatChoiceList(const std::string& list);

// 1 when a non-empty comma-separated item of `list` equals `text` exactly.
int IsInList(const std::string& list, const std::string& text);

}  // namespace prereq

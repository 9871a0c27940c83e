// Every key the launcher reads from section "Quelta" of qelparam.ini: its
// default, how much of the value counts and how the launcher reads it. The
// parameter file's reader takes defaults and limits from here, and so does
// the medium checker, so that the two can never disagree.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace params {

extern const char* const kParamSection;  // "Quelta"

constexpr size_t kMaxVersionChars = 31;  // QTI_VERSION, JRE_VERSION
constexpr size_t kMaxShortChars = 11;    // COPY_THREADS, WAIT_FOR_COMPLETION, PLATFORM_PREREQS
constexpr size_t kMaxBootstrapComps = 16;

// How the launcher takes a value.
enum class KeyKind {
  Text,       // as written
  Flag,       // only the first character: an upper-case "T" is true, anything else false
  ExactTrue,  // true only when exactly "TRUE" (no other letter case, no blanks)
  Location,   // a path; a relative one is taken from the launcher's directory
  Number,     // a decimal number
  List,       // comma-separated names
};

struct ParamKey {
  const char* name;
  // The default as the launcher applies it; a key whose default depends on
  // the run (the component locations, PREREQ_CONFIG_LOCATION, HLP_LOCATION,
  // GLAZE_LOCATION) has the text that describes it.
  const char* defaultValue;
  KeyKind kind;
  size_t maxChars;  // characters of the value the launcher keeps
  const char* meaning;
};

// In the order the launcher reads them.
const std::vector<ParamKey>& ParamKeys();
// nullptr for a key the launcher does not read (names compare without regard
// to case, as the profile reader compares them).
const ParamKey* FindParamKey(std::string_view name);

}  // namespace params

// Locale names for the catalogue ("ll_CC"), from what each system reports.
#pragma once

#include <string>

namespace platform {

// From the Windows abbreviated language and country names (LOCALE_SABBREVLANGNAME
// "ENU", LOCALE_SABBREVCTRYNAME "USA"): the first two letters of each, the
// language lower-cased and the country upper-cased, with the remappings
// jp -> ja, ch -> zh and CH -> CN.
std::string LocaleNameFromWindowsAbbrev(const std::string& language, const std::string& country);

// From a POSIX locale value such as "de_CH.UTF-8" or "fr_FR@euro": language and
// country as written (lower- and upper-cased), no remapping. "C", "POSIX" and
// values without a country give the language alone followed by "_".
std::string LocaleNameFromPosixValue(const std::string& value);

}  // namespace platform

#include "platform/shared/locale_name.h"

namespace platform {

namespace {
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

std::string FirstTwo(const std::string& text, char (*convert)(char)) {
  std::string out;
  for (size_t i = 0; i < text.size() && i < 2; ++i) out += convert(text[i]);
  return out;
}
}  // namespace

std::string LocaleNameFromWindowsAbbrev(const std::string& language, const std::string& country) {
  std::string lang = FirstTwo(language, Lower);
  if (lang == "jp") {
    lang = "ja";
  } else if (lang == "ch") {
    lang = "zh";
  }
  std::string ctry = FirstTwo(country, Upper);
  if (ctry == "CH") ctry = "CN";
  return lang + "_" + ctry;
}

std::string LocaleNameFromPosixValue(const std::string& value) {
  size_t end = value.find_first_of(".@");
  std::string base = value.substr(0, end);
  if (base == "C" || base == "POSIX") return "_";
  size_t sep = base.find('_');
  std::string lang = base.substr(0, sep);
  std::string ctry = sep == std::string::npos ? "" : base.substr(sep + 1);
  std::string out;
  for (char c : lang) out += Lower(c);
  out += '_';
  for (char c : ctry) out += Upper(c);
  return out;
}

}  // namespace platform

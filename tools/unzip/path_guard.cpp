#include "tools/unzip/path_guard.h"

#include <array>
#include <cctype>
#include <string>

namespace unzip {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool StartsWithDrive(std::string_view name) {
  return name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':';
}

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

// Windows opens the device, not a file, for these base names whatever the
// extension.
bool IsDeviceName(std::string_view part) {
  static const std::array<const char*, 6> kPlain = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  std::string base = Upper(part.substr(0, part.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (const char* device : kPlain) {
    if (base == device) return true;
  }
  if (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0) return false;
  std::string_view number = std::string_view(base).substr(3);
  // The digits 1 to 9, and the superscripts 1, 2 and 3 (UTF-8 U+00B9,
  // U+00B2, U+00B3) that Windows takes for the same ports.
  return (number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\xC2\xB9" ||
         number == "\xC2\xB2" || number == "\xC2\xB3";
}

// Why Windows would not create `part` as named, or "" when it would.
std::string WindowsProblem(std::string_view part) {
  for (char c : part) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == ':') return "a colon names an alternate data stream";
    if (u < 0x20 || std::string_view("<>\"|?*").find(c) != std::string_view::npos) {
      return "a character Windows does not allow in file names";
    }
  }
  if (part.back() == '.' || part.back() == ' ') {
    return "a trailing dot or blank that Windows would drop";
  }
  if (IsDeviceName(part)) return "a Windows device name";
  return "";
}

}  // namespace

bool SplitEntryName(std::string_view name, bool windowsRules, EntryPath* path, std::string* why) {
  path->parts.clear();
  path->isDir = !name.empty() && IsSeparator(name.back());
  if (name.size() > kMaxNameBytes) {
    *why = "a name longer than " + std::to_string(kMaxNameBytes) + " bytes";
    return false;
  }
  if (name.find('\0') != std::string_view::npos) {
    *why = "a NUL byte in the name";
    return false;
  }
  if (!name.empty() && IsSeparator(name[0])) {
    *why = "an absolute path";
    return false;
  }
  // A drive letter only means something to Windows; "a:b" is a name on Linux.
  if (windowsRules && StartsWithDrive(name)) {
    *why = "a drive letter";
    return false;
  }
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    std::string_view part = name.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      *why = "a \"..\" component";
      return false;
    }
    if (windowsRules) {
      std::string problem = WindowsProblem(part);
      if (!problem.empty()) {
        *why = problem;
        return false;
      }
    }
    if (path->parts.size() == kMaxNameDepth) {
      *why = "a name of more than " + std::to_string(kMaxNameDepth) + " components";
      return false;
    }
    path->parts.emplace_back(part);
  }
  return true;
}

bool LinkStaysInside(const std::vector<std::string>& linkParts, std::string_view target,
                     std::string* why) {
  if (target.empty() || IsSeparator(target[0]) || StartsWithDrive(target)) {
    *why = "a link to an absolute or empty target";
    return false;
  }
  // Depth below the destination, starting at the link's directory. The
  // climb must come first: a name may be another link of the archive, and a
  // ".." after it climbs from wherever that link leads ("up" -> "here/.."
  // with "here" -> "." names the destination's parent).
  size_t depth = linkParts.empty() ? 0 : linkParts.size() - 1;
  bool descended = false;
  size_t start = 0;
  while (start <= target.size()) {
    size_t end = start;
    while (end < target.size() && !IsSeparator(target[end])) ++end;
    std::string_view part = target.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part != "..") {
      ++depth;
      descended = true;
    } else if (descended) {
      *why = "a link target with \"..\" after a name";
      return false;
    } else if (depth-- == 0) {
      *why = "a link to a place outside the destination";
      return false;
    }
  }
  if (target.find('\0') != std::string_view::npos) {
    *why = "a NUL byte in the link target";
    return false;
  }
  return true;
}

}  // namespace unzip

#include "bootstrap/tree_ops.h"

#include <new>
#include <vector>

#include "common/actions_log.h"
#include "common/paths.h"
#include "common/text.h"
#include "messages/catalogue.h"
#include "messages/format.h"
#include "platform/platform.h"

namespace bootstrap {

namespace {

constexpr size_t kLogLineChars = common::kMaxValueChars;  // a 1024-byte buffer

using common::IsBlank;
using common::IsDigit;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

int CopyTree(const std::string& source, const std::string& destination) {
  if (destination.empty()) return -1;
  try {
    platform::TreeCopy copy(source, destination);
    std::vector<std::string> passedOver;
    const bool made = copy.MakeDirectories(passedOver);
    for (const std::string& link : passedOver) {
      common::WriteActionsLog("WARNING: link to a directory not copied: " + link + "\n");
    }
    if (!made) return -1;
    // The directories stand, so the file copies are independent of each
    // other: spread over the processors, this is what the bootstrap waits on.
    return copy.CopyFilesOnThreads(platform::CopyThreads()) ? 0 : -1;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

void DeleteTree(const std::string& root) { platform::DeleteTree(root); }

int64_t CountTreeFiles(const std::string& root) { return platform::CountTreeFiles(root); }

void LogBootstrapCounts(const std::string& scratchDir) {
  for (const char* name : {"jre", "qti"}) {
    const int64_t count = CountTreeFiles(common::AppendPath(scratchDir, name));
    common::WriteActionsLog(messages::FormatText(
        messages::LogText("S_NUMBER_OF_FILES_BOOTSTRAPPED"), {name, count}, kLogLineChars));
  }
}

int ParseVersionNumber(std::string_view text, int32_t& value) {
  constexpr int64_t kMax = 2147483647;
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  int64_t number = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    number = number * 10 + (text[i] - '0');
    if (number > kMax) return 0;
  }
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i != text.size()) return 0;
  value = static_cast<int32_t>(number);
  return 1;
}

int VersionLess(std::string_view a, std::string_view b, int maxFields) {
  size_t i = 0;
  size_t j = 0;
  int fieldsLeft = maxFields;
  auto at = [](std::string_view s, size_t k) { return k < s.size() ? s[k] : '\0'; };
  auto digitRun = [](std::string_view s, size_t k) {
    size_t end = k;
    while (end < s.size() && IsDigit(s[end])) ++end;
    return end - k;
  };
  while (i < a.size()) {
    if (j >= b.size()) return 0;
    while (i < a.size() && IsBlank(a[i])) ++i;
    while (j < b.size() && IsBlank(b[j])) ++j;
    const size_t runA = digitRun(a, i);
    const size_t runB = digitRun(b, j);
    if (runA == 0) {
      if (runB != 0) return 1;
      return static_cast<signed char>(Lower(at(a, i))) < static_cast<signed char>(Lower(at(b, j)))
                 ? 1
                 : 0;
    }
    if (runB == 0) return 0;
    if (fieldsLeft <= 0) return 0;
    --fieldsLeft;
    int32_t numA = 0;
    int32_t numB = 0;
    if (!ParseVersionNumber(a.substr(i, runA), numA) || !ParseVersionNumber(b.substr(j, runB), numB)) {
      return 0;
    }
    if (numA < numB) return 1;
    if (numA > numB) return 0;
    i += runA;
    j += runB;
    if (at(a, i) == '.' || at(a, i) == ',') ++i;
    if (at(b, j) == '.' || at(b, j) == ',') ++j;
  }
  return j < b.size() ? 1 : 0;
}

std::string FindHighestVersionDir(const std::string& dir) {
  std::string best = kLowestVersion;
  if (std::optional<std::vector<platform::DirEntry>> listing = platform::ListDirectory(dir)) {
    for (const platform::DirEntry& entry : *listing) {
      if (entry.isDirectory && VersionLess(best, entry.name, kVersionFields)) best = entry.name;
    }
  }
  return best;
}

}  // namespace bootstrap

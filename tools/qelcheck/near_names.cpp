#include "tools/qelcheck/near_names.h"

#include <algorithm>

namespace qelcheck {

namespace {

constexpr size_t kMaxEdits = 2;
constexpr size_t kLettersPerEdit = 3;

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

size_t EditDistance(const std::string& a, const std::string& b) {
  // Rows i-2, i-1 and i of the table: a swap looks two rows back.
  std::vector<size_t> before(b.size() + 1), previous(b.size() + 1), current(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t change = Upper(a[i - 1]) == Upper(b[j - 1]) ? 0 : 1;
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + change});
      if (i > 1 && j > 1 && Upper(a[i - 1]) == Upper(b[j - 2]) && Upper(a[i - 2]) == Upper(b[j - 1])) {
        current[j] = std::min(current[j], before[j - 2] + 1);
      }
    }
    before.swap(previous);
    previous.swap(current);
  }
  return previous[b.size()];
}

std::optional<std::string> NearestName(const std::string& name, const std::vector<std::string>& candidates) {
  std::optional<std::string> best;
  size_t bestDistance = std::min(kMaxEdits, name.size() / kLettersPerEdit) + 1;
  for (const std::string& candidate : candidates) {
    const size_t distance = EditDistance(name, candidate);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = candidate;
    }
  }
  return best;
}

}  // namespace qelcheck

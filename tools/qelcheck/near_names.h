// Suggestions for names that are almost right.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qelcheck {

// Edits (a letter inserted, dropped, changed, or two neighbours swapped) that
// turn `a` into `b`, letter case ignored.
size_t EditDistance(const std::string& a, const std::string& b);

// The first of `candidates` nearest to `name` when it is near enough to be
// a slip of the keyboard: at most two edits, and at most one per three
// letters of the name. nullopt when none is.
std::optional<std::string> NearestName(const std::string& name, const std::vector<std::string>& candidates);

}  // namespace qelcheck

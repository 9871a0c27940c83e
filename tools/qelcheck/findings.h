// What the checker found: one line per finding, an error (the launcher will
// fail or do other than the medium asks) or a warning (it will run, but
// something is most likely not what the product team meant).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qelcheck {

// Exit statuses of the checker.
inline constexpr int kExitClean = 0;
inline constexpr int kExitWarnings = 1;  // warnings only
inline constexpr int kExitErrors = 2;
inline constexpr int kExitUsage = 3;     // nothing was checked

enum class Severity { Warning, Error };

struct Finding {
  Severity severity;
  std::string file;  // as the medium names it, relative to the launcher's directory
  size_t line;       // from 1; 0 where the file has no lines
  std::string text;
};

class Findings {
 public:
  void Error(const std::string& file, size_t line, const std::string& text);
  void Warning(const std::string& file, size_t line, const std::string& text);
  void Error(const std::string& file, const std::string& text) { Error(file, 0, text); }
  void Warning(const std::string& file, const std::string& text) { Warning(file, 0, text); }

  // "<file>[:<line>]: error: <text>" lines, grouped by file in the order the
  // files were first named and by line within a file; errors only when
  // `errorsOnly`.
  std::string Lines(bool errorsOnly) const;
  int ExitStatus() const;
  size_t size() const { return findings_.size(); }
  // Finding `index` becomes a warning, its text followed by `why`.
  void Demote(size_t index, const std::string& why);
  const std::vector<Finding>& all() const { return findings_; }

 private:
  std::vector<Finding> findings_;
};

}  // namespace qelcheck

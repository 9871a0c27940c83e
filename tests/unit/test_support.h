// Helpers shared by the unit tests: a scratch directory per test, the
// shipped catalogue loaded, console and message boxes captured.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace testing_support {

// A fresh directory below the system temp directory, removed at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  // path() joined with a relative name (separators of the running platform).
  std::string operator/(const std::string& name) const;

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// The run's process-wide facts, as the options would set them.
void SetFacts(bool silent, bool debug);
// Where the actions log goes: `fixedDir`, or the scratch directory given to
// each opening when it is empty; `fileName` without a leading separator.
void LogInto(const std::string& fixedDir, const std::string& fileName);

// Loads the shipped English catalogue, resets the process-wide facts, lets
// the actions log go to installActionsTS.log in the scratch directory of
// each opening, and captures standard output, standard error and message
// boxes.
class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string out_;      // standard output (the console), whichever way it was written
  std::string console_;  // what went through the console's text conversion
  std::string err_;    // standard error
  std::string boxes_;  // "title|text" per message box, one per line
};

}  // namespace testing_support

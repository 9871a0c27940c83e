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

// Loads the shipped English catalogue, resets the process-wide state and
// captures standard output, standard error and message boxes.
class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string out_;    // standard output (the console)
  std::string err_;    // standard error
  std::string boxes_;  // "title|text" per message box, one per line
};

}  // namespace testing_support

#include "test_support.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/actions_log.h"
#include "common/process_facts.h"
#include "messages/catalogue.h"
#include "platform/platform.h"

namespace testing_support {

namespace fs = std::filesystem;

// Taken once at start: tests change TEMP and TMP.
const fs::path kTestTempBase = fs::temp_directory_path();

TempDir::TempDir() {
  static int counter = 0;
  fs::path base = kTestTempBase /
                  ("qel_unit_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
  fs::remove_all(base);
  fs::create_directories(base);
  path_ = base.string();
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string TempDir::operator/(const std::string& name) const {
  return (fs::path(path_) / name).string();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void SetFacts(bool silent, bool debug) { common::SetProcessFacts({silent, debug}); }

void LogInto(const std::string& fixedDir, const std::string& fileName) {
  common::SetActionsLogTarget({fixedDir, std::string(1, platform::kPathSep) + fileName});
}

void LauncherTest::SetUp() {
  SetFacts(false, false);
  LogInto("", "installActionsTS.log");
  auto& o = platform::TestOverrides();
  o = {};
  o.stdoutSink = [this](const std::string& s) { out_ += s; };
  o.consoleSink = [this](const std::string& s) {
    out_ += s;
    console_ += s;
  };
  o.stderrSink = [this](const std::string& s) { err_ += s; };
  o.messageBox = [this](const std::string& t, const std::string& s) { boxes_ += t + "|" + s + "\n"; };
  o.stdinData = std::string();
  ASSERT_EQ(messages::InitMessagesFrom(std::string(QEL_BINARY_DIR) + "/resource", "en_US"), 0);
}

void LauncherTest::TearDown() {
  messages::FreeMessages();
  platform::TestOverrides() = {};
  SetFacts(false, false);
}

}  // namespace testing_support

// The fixture of the prerequisite tests: captured console, faked system
// facts, a parameter file in a fresh directory and an open actions log.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

#include "common/actions_log.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "platform/platform.h"
#include "prereq/prereq_report.h"
#include "test_support.h"

namespace prereq_test {

using namespace std::string_literals;

class PrereqTest : public testing_support::LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    setenv("QEL_REGISTRY_ROOT", (dir_ / "registry").c_str(), 1);
    messages::RefreshConsoleHandle();
    auto& facts = platform::TestOverrides().sysInfo;
    facts = {};
    facts.osVersion = platform::OsVersion{6, 1, "Service Pack 1"};
    facts.machineKeys = std::vector<std::string>{};
    facts.displayColorBits = 32;
    facts.processorMhz = std::optional<uint32_t>(2000);
    facts.pagingFiles = platform::PagingFilesFact{platform::kRegOk, "C:\\pagefile.sys 1024 2048\0\0"s};
    facts.availablePageFileBytes = 0;
  }
  void TearDown() override {
    log_.reset();
    platform::TestOverrides().sysInfo = {};
    messages::ForgetConsoleHandle();
    unsetenv("QEL_REGISTRY_ROOT");
    LauncherTest::TearDown();
  }

  // Writes the parameter file; the state's paramFile names it.
  void Param(const std::string& text) {
    state_.paramFile = dir_ / "qelparam.ini";
    testing_support::WriteFile(state_.paramFile, text);
  }
  void Stdin(const std::string& text) { platform::TestOverrides().stdinData = text; }
  void OpenLog() { log_.emplace(dir_.path()); }
  std::string Log() { return testing_support::ReadFile(common::ActionsLogPath()); }
  // The family's section name for version 6.1.
  static std::string Section(const std::string& kind) {
    return std::string(platform::kOsFamilyName) + "-6.1-" + kind;
  }
  static std::string User(const char* key) { return messages::UserText(key); }
  // True when the texts occur in `text` in this order.
  static bool InOrder(const std::string& text, std::initializer_list<std::string> parts) {
    size_t at = 0;
    for (const std::string& part : parts) {
      at = text.find(part, at);
      if (at == std::string::npos) return false;
      at += part.size();
    }
    return true;
  }

  testing_support::TempDir dir_;
  std::optional<common::ActionsLogScope> log_;
  prereq::PrereqState state_;
};

}  // namespace prereq_test

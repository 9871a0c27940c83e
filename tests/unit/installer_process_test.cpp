#include "launcher/installer_process.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "common/actions_log.h"
#include "messages/console.h"
#include "platform/platform.h"
#include "test_support.h"

namespace launcher {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;
using Slots = std::vector<std::string>;

const char kBoxTitle[] = "Quelta Trevanic Installer";

// Runs the fake Java executable, copied into a directory of its own where it
// keeps its log and reads its exit code.
class InstallerProcessTest : public testing_support::LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    messages::RefreshConsoleHandle();
    fs::create_directories(temp_ / "bin");
    java_ = temp_ / "bin/java";
    fs::copy_file(std::string(QEL_BINARY_DIR) + "/fakejava", java_);
  }
  void TearDown() override {
    platform::TestOverrides().startChild = nullptr;
    LauncherTest::TearDown();
  }

  Slots Java(Slots rest = {}) {
    rest.insert(rest.begin(), "\"" + java_ + "\" ");
    return rest;
  }
  void SetExitCode(const std::string& code) { WriteFile(temp_ / "bin/fakejava.exit", code); }
  // The argv elements of every recorded start, in order.
  Slots LoggedArgs() {
    std::istringstream log(ReadFile(temp_ / "bin/fakejava.log"));
    Slots args;
    for (std::string line; std::getline(log, line);) {
      if (line.rfind("arg=", 0) == 0) args.push_back(line.substr(4));
    }
    return args;
  }

  testing_support::TempDir temp_;
  std::string java_;
};

TEST_F(InstallerProcessTest, WaitedInstallerReceivesTheSplitCommandAndGivesItsExitCode) {
  Slots slots = Java({"-Dquelta.installer.qti_loc=\"/tmp/a b\"", "-cp", "\"/x:/y z\"", "Cls", ""});
  EXPECT_EQ(LaunchInstaller(slots, true), 0);
  EXPECT_EQ(LoggedArgs(), (Slots{java_, "-Dquelta.installer.qti_loc=/tmp/a b", "-cp", "/x:/y z", "Cls"}));
  EXPECT_NE(ReadFile(temp_ / "bin/fakejava.log").find("cwd=" + platform::CurrentDir().value() + "\n"),
            std::string::npos);

  SetExitCode("7");
  EXPECT_EQ(LaunchInstaller(Java(), true), 7);
  SetExitCode("-1");  // the system keeps 8 bits of it
  EXPECT_EQ(LaunchInstaller(Java(), true), 255);
  SetExitCode("-2");
  EXPECT_EQ(LaunchInstaller(Java(), true), 254);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(boxes_, "");
}

TEST_F(InstallerProcessTest, AChildKilledByASignalCountsAs128PlusTheSignal) {
  EXPECT_EQ(LaunchInstaller({"\"/bin/sh\" ", "-c", "\"kill -KILL $$\""}, true), 128 + 9);
  // A program named without a directory is found along PATH.
  EXPECT_EQ(LaunchInstaller({"sh", "-c", "\"exit 3\""}, true), 3);
}

TEST_F(InstallerProcessTest, WithoutWaitingARunningInstallerGives259) {
  WriteFile(temp_ / "bin/fakejava.sleep", "600000");
  SetExitCode("5");
  EXPECT_EQ(LaunchInstaller(Java(), false), platform::kStillActive);
  fs::remove(temp_ / "bin/fakejava.sleep");  // lets the fake end now
}

TEST_F(InstallerProcessTest, CreationFailureShowsTheErrorNumberAndReturnsIt) {
  const std::string missing = "\"" + (temp_ / "none/java") + "\" ";
  EXPECT_EQ(LaunchInstaller({missing, "-cp"}, true), ENOENT);
  EXPECT_EQ(boxes_, std::string(kBoxTitle) + "|\nThe call CreateQTIProcess() failed with system error 2.\n\n");
  EXPECT_EQ(out_, "");

  // Silent mode: the console instead of a box, then one key.
  boxes_.clear();
  testing_support::SetFacts(true, false);
  platform::TestOverrides().stdinData = "ab";
  EXPECT_EQ(LaunchInstaller({missing}, true), ENOENT);
  EXPECT_EQ(out_, "\nThe call CreateQTIProcess() failed with system error 2.\n\nPress Enter to exit...\n");
  EXPECT_EQ(*platform::TestOverrides().stdinData, "b");
  EXPECT_EQ(boxes_, "");

  // A file that may not be executed, and a bare name that PATH does not hold.
  chmod(java_.c_str(), 0644);
  EXPECT_EQ(LaunchInstaller(Java(), true), EACCES);
  EXPECT_EQ(LaunchInstaller({"qel-no-such-program-anywhere"}, true), ENOENT);
  EXPECT_FALSE(fs::exists(temp_ / "bin/fakejava.log"));
}

TEST_F(InstallerProcessTest, DebugModeListsTheSlotsOnTheConsoleAndAfterAStartInTheActionsLog) {
  testing_support::SetFacts(false, true);
  // The run's earlier phases opened the log in temp_ and closed it.
  { common::ActionsLogScope earlier(temp_.path()); }
  ASSERT_EQ(common::ActionsLogPath(), temp_ / "installActionsTS.log");
  Slots slots = Java({"-cp", "\"a b\""});

  EXPECT_EQ(LaunchInstaller(slots, true), 0);
  const std::string dashes = "-------------------------------------------------------\n";
  EXPECT_EQ(out_, dashes + "Total number of arguments: 3\nCommand-line arguments:\n" +
                      "Arg:0:" + slots[0] + ":\nArg:1:-cp:\nArg:2:\"a b\":\n" + dashes +
                      "Starting the Java virtual machine " + slots[0] + "\n");
  const std::string listing = "\nTotal number of arguments: 3\nCommand-line arguments:\n" + slots[0] +
                              "\n-cp\n\"a b\"\n\n";
  EXPECT_EQ(ReadFile(common::ActionsLogPath()), listing);

  // A process that was not created leaves the log alone.
  out_.clear();
  EXPECT_EQ(LaunchInstaller({"\"" + (temp_ / "none") + "\" "}, true), ENOENT);
  EXPECT_NE(out_.find("Arg:0:"), std::string::npos);
  EXPECT_EQ(ReadFile(common::ActionsLogPath()), listing);
}

TEST_F(InstallerProcessTest, TheCommandLineIsEverySlotFollowedByOneBlank) {
  std::string seen;
  bool detached = false;
  platform::TestOverrides().startChild = [&](const std::string& line, const platform::ChildOptions& how,
                                     int& exitCode) {
    seen = line;
    detached = how.detach;
    exitCode = 42;
    return 0;
  };
  EXPECT_EQ(LaunchInstaller({"\"j\" ", "a b", ""}, false), 42);
  EXPECT_EQ(seen, "\"j\"  a b  ");
  EXPECT_TRUE(detached);
  EXPECT_EQ(LaunchInstaller({"x"}, true), 42);
  EXPECT_FALSE(detached);
}

// A child that is not waited for leaves the launcher's session; a waited one
// stays in it.
TEST_F(InstallerProcessTest, OnlyADetachedChildGetsASessionOfItsOwn) {
  const std::string sidFile = temp_ / "sid";
  const std::string command =
      "\"/bin/sh\" -c \"cut -d' ' -f6 /proc/$$/stat > " + sidFile + "\"";
  for (bool detach : {false, true}) {
    platform::ChildOptions how;
    how.detach = detach;
    platform::ChildProcess child;
    ASSERT_EQ(platform::StartChild(command, how, child), 0);
    platform::WaitForChild(child);
    int code = -1, error = 0;
    ASSERT_TRUE(platform::ChildExitCode(child, code, error));
    EXPECT_EQ(code, 0);
    int sid = std::stoi(ReadFile(sidFile));
    if (detach) {
      EXPECT_EQ(sid, static_cast<int>(child.handle_));
    } else {
      EXPECT_EQ(sid, static_cast<int>(getsid(0)));
    }
  }
}

}  // namespace
}  // namespace launcher

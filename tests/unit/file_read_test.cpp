#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "test_support.h"

namespace {

using platform::FileReadError;
using platform::ReadRegularFile;
using testing_support::TempDir;

// Whatever stands at a path: a regular file within the bound is read whole;
// anything else is refused at once, with its reason, and nothing blocks.
TEST(FileReadTest, OnlyRegularFilesWithinTheBoundAreRead) {
  TempDir dir;
  const std::string file = dir / "f";
  testing_support::WriteFile(file, "12345");
  FileReadError why = FileReadError::kUnreadable;
  EXPECT_EQ(ReadRegularFile(file, 5, &why).value_or("-"), "12345");
  EXPECT_FALSE(ReadRegularFile(file, 4, &why));
  EXPECT_EQ(why, FileReadError::kTooLarge);
  EXPECT_FALSE(ReadRegularFile(dir / "none", 9, &why));
  EXPECT_EQ(why, FileReadError::kMissing);
  EXPECT_FALSE(ReadRegularFile(dir / "none/f", 9, &why));
  EXPECT_EQ(why, FileReadError::kMissing);
  EXPECT_FALSE(ReadRegularFile(dir.path(), 9, &why));
  EXPECT_EQ(why, FileReadError::kNotRegular);
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(ReadRegularFile(fifo, 9, &why));  // no writer: an open that waited would hang here
  EXPECT_EQ(why, FileReadError::kNotRegular);
  EXPECT_FALSE(ReadRegularFile("/dev/zero", 9, &why));
  EXPECT_EQ(why, FileReadError::kNotRegular);
  std::filesystem::create_symlink("/dev/zero", dir / "zero.nls");
  EXPECT_FALSE(ReadRegularFile(dir / "zero.nls", size_t(1) << 30, &why));
  EXPECT_EQ(why, FileReadError::kNotRegular);
  EXPECT_FALSE(ReadRegularFile("", 9, &why));
  EXPECT_EQ(why, FileReadError::kMissing);
}

// The kernel's own files give no size: they are read whole, and the bound still holds.
TEST(FileReadTest, TheKernelsOwnFilesWithoutASizeAreReadWhole) {
  const std::optional<std::string> self = ReadRegularFile("/proc/self/status", 1 << 20);
  ASSERT_TRUE(self);
  EXPECT_NE(self->find("Name:"), std::string::npos);
  FileReadError why = FileReadError::kMissing;
  EXPECT_FALSE(ReadRegularFile("/proc/self/status", 10, &why));
  EXPECT_EQ(why, FileReadError::kTooLarge);
}

// The logs: never opened on a FIFO, never inherited.
TEST(FileReadTest, LogsOpenForAppendOnRegularFilesOnly) {
  TempDir dir;
  const std::string fifo = dir / "log.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(platform::OpenAppendFile(fifo), nullptr);
  EXPECT_EQ(platform::OpenAppendFile(dir.path()), nullptr);
  std::FILE* log = platform::OpenAppendFile(dir / "a.log");
  ASSERT_NE(log, nullptr);
  EXPECT_NE(fcntl(fileno(log), F_GETFD) & FD_CLOEXEC, 0);
  std::fclose(log);
}

}  // namespace

#include "send/send_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/file_size_limit.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::TempDir;

// The log holds every address a run went to: only its owner reads it.
TEST(SendLogTest, IsMadeReadableByItsOwnerOnly) {
  TempDir dir;
  const std::string path = dir.File("state/postrider.log");
  SendLog log;
  ASSERT_TRUE(log.Start(path, 0));
  log.RecordMessage("ann@example.com", 0, 0);
  log.Finish(0);
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_FALSE(log.TakeFailure());
}

// A file size limit makes the writes fail part way, as a full disk would.
TEST(SendLogTest, AWriteThatFailsPartWayIsToldOfOnce) {
  TempDir dir;
  const std::string path = dir.File("postrider.log");
  SendLog log;
  ASSERT_TRUE(log.Start(path, 0));
  {
    const testing::FileSizeLimit limit(200);
    ASSERT_TRUE(limit.applied());
    for (int i = 0; i < 500; ++i) log.RecordMessage("person@example.com", i, 0);
    log.Finish(0);
  }

  const std::optional<std::string> failure = log.TakeFailure();
  ASSERT_TRUE(failure);
  EXPECT_EQ(*failure, "The send log \"" + path +
                          "\" cannot be written: File too large. This run goes on without it.");
  EXPECT_FALSE(log.TakeFailure());
}

// Full from the start, the log says so before the run's first message, when
// "This run goes on without it" is still ahead.
TEST(SendLogTest, ALogThatCannotBeWrittenAtAllIsToldOfByStart) {
  TempDir dir;
  const std::string path = dir.File("postrider.log");
  SendLog log;
  bool started = false;
  {
    const testing::FileSizeLimit limit(0);
    ASSERT_TRUE(limit.applied());
    started = log.Start(path, 0);
  }

  EXPECT_FALSE(started);
  EXPECT_FALSE(log.IsOpen());
  const std::optional<std::string> failure = log.TakeFailure();
  ASSERT_TRUE(failure);
  EXPECT_EQ(*failure, "The send log \"" + path +
                          "\" cannot be written: File too large. This run goes on without it.");
}

}  // namespace
}  // namespace postrider

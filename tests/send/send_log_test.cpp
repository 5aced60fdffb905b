#include "send/send_log.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <string>

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
  rlimit previous {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = previous;
  small.rlim_cur = 200;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  for (int i = 0; i < 500; ++i) log.RecordMessage("person@example.com", i, 0);
  log.Finish(0);
  setrlimit(RLIMIT_FSIZE, &previous);
  signal(SIGXFSZ, previousHandler);

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
  rlimit previous {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit none = previous;
  none.rlim_cur = 0;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &none), 0);
  const bool started = log.Start(path, 0);
  setrlimit(RLIMIT_FSIZE, &previous);
  signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(started);
  EXPECT_FALSE(log.IsOpen());
  const std::optional<std::string> failure = log.TakeFailure();
  ASSERT_TRUE(failure);
  EXPECT_EQ(*failure, "The send log \"" + path +
                          "\" cannot be written: File too large. This run goes on without it.");
}

}  // namespace
}  // namespace postrider

#include "send/send_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/file_size_limit.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end = text.find('\n'); end != std::string::npos;
       start = end + 1, end = text.find('\n', start)) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

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

// Addresses come from the list or the letter as they are: each record stays
// one line of three fields, safe on a terminal, and names the address's bytes
// exactly, so no record can pass for another recipient's.
TEST(SendLogTest, ARecordIsOneLineNamingItsAddressExactly) {
  const std::string longAddress = std::string(10000, 'a') + "@example.com";
  const struct {
    std::string address;
    std::string logged;
  } rows[] = {
      {"ann@example.com", "ann@example.com"},
      {"j\xC3\xB6rg@b\xC3\xBC" "cher.example", "j\xC3\xB6rg@b\xC3\xBC" "cher.example"},
      {"ann@example.com\r\nbob@example.com", "ann@example.com\\r\\nbob@example.com"},
      {std::string("ann@example.com\0bob", 19), "ann@example.com\\x00bob"},
      {"ann@example.com\tIndex=0\tStatus=0", "ann@example.com\\tIndex=0\\tStatus=0"},
      {"\x1B[2J\x1B]0;x\x07" "ann@example.com", "\\x1B[2J\\x1B]0;x\\x07ann@example.com"},
      {"ann\x7F\x0B\x0C@example.com", "ann\\x7F\\x0B\\x0C@example.com"},
      // C1 controls as UTF-8 and as lone bytes, and bytes that are no UTF-8.
      {"ann\xC2\x85\xC2\x9B\x9B\xFF\xC3@example.com",
       "ann\\xC2\\x85\\xC2\\x9B\\x9B\\xFF\\xC3@example.com"},
      // Line and paragraph separators, and a right-to-left override.
      {"ann\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\xAEmoc.elpmaxe@bob",
       "ann\\xE2\\x80\\xA8\\xE2\\x80\\xA9\\xE2\\x80\\xAEmoc.elpmaxe@bob"},
      // An overlong form that a lax reader would take for ESC.
      {"ann\xC0\x9B@example.com", "ann\\xC0\\x9B@example.com"},
      {"ann\\x41@example.com", "ann\\\\x41@example.com"},
      {longAddress, longAddress},
  };
  TempDir dir;
  const std::string path = dir.File("postrider.log");
  SendLog log;
  ASSERT_TRUE(log.Start(path, 0));
  int index = 0;
  for (const auto& row : rows) log.RecordMessage(row.address, index++, 550);
  log.Finish(0);
  EXPECT_FALSE(log.TakeFailure());

  const std::vector<std::string> lines = Lines(ReadFileBytes(path));
  // An empty line, the hyphens, the start and its empty line, the records,
  // then the end and its two empty lines.
  ASSERT_EQ(lines.size(), 4 + std::size(rows) + 3);
  index = 0;
  for (const auto& row : rows) {
    EXPECT_EQ(lines[4 + index],
              row.logged + "\tIndex=" + std::to_string(index) + "\tStatus=550")
        << "row " << index;
    ++index;
  }
  EXPECT_EQ(lines[4 + index].rfind("Send Complete at ", 0), 0u);
}

// Two runs (two projects, say) append to one log at once: each line lands
// whole, however long, and each run's records stay in its own order.
TEST(SendLogTest, TwoRunsAppendingAtOnceKeepEveryLineWhole) {
  TempDir dir;
  const std::string path = dir.File("postrider.log");
  const std::string longAddress = std::string(10000, 'a') + "@example.com";
  SendLog first;
  SendLog second;
  ASSERT_TRUE(first.Start(path, 0));
  ASSERT_TRUE(second.Start(path, 0));
  first.RecordMessage(longAddress, 0, 0);
  second.RecordMessage("bob@example.com", 0, 0);
  second.Finish(0);
  first.RecordMessage("ann@example.com", 1, 0);
  first.Finish(0);

  const std::string text = ReadFileBytes(path);
  const std::size_t firstRecord = text.find("\n" + longAddress + "\tIndex=0\tStatus=0\n");
  ASSERT_NE(firstRecord, std::string::npos);
  EXPECT_LT(firstRecord, text.find("\nann@example.com\tIndex=1\tStatus=0\n"));
  EXPECT_NE(text.find("\nbob@example.com\tIndex=0\tStatus=0\n"), std::string::npos);
  for (const std::string& line : Lines(text)) {
    const bool known = line.empty() || line == std::string(51, '-') ||
                       line.rfind("Start Send at ", 0) == 0 ||
                       line.rfind("Send Complete at ", 0) == 0 ||
                       line == longAddress + "\tIndex=0\tStatus=0" ||
                       line == "bob@example.com\tIndex=0\tStatus=0" ||
                       line == "ann@example.com\tIndex=1\tStatus=0";
    EXPECT_TRUE(known) << line.substr(0, 80) << "... (" << line.size() << " bytes)";
  }
}

}  // namespace
}  // namespace postrider

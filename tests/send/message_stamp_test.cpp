#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <regex>
#include <set>
#include <string>

#include "send/message_date.h"
#include "send/message_id.h"

#include "support/scoped_time_zone.h"

namespace postrider {
namespace {

using testing::ScopedTimeZone;

std::string Date(std::time_t when) {
  std::string out;
  AppendMessageDate(when, out);
  return out;
}

TEST(MessageDate, WritesLocalTimeWithItsOffset) {
  {
    ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(Date(1796706478), "Tue, 08 Dec 2026 06:07:58 +0100");
    EXPECT_EQ(Date(1782900000), "Wed, 01 Jul 2026 12:00:00 +0200");
  }
  {
    ScopedTimeZone zone("NST3:30");
    EXPECT_EQ(Date(1796706478), "Tue, 08 Dec 2026 01:37:58 -0330");
  }
  {
    ScopedTimeZone zone("UTC0");
    EXPECT_EQ(Date(0), "Thu, 01 Jan 1970 00:00:00 +0000");
  }
}

TEST(MessageDate, FormatsAGivenTimeAndOffset) {
  std::tm time{};
  time.tm_year = 2026 - 1900;
  time.tm_mon = 11;
  time.tm_mday = 8;
  time.tm_wday = 2;
  time.tm_hour = 6;
  time.tm_min = 7;
  time.tm_sec = 58;
  std::string out = "Date: ";
  AppendMessageDate(time, 5 * 3600 + 45 * 60, out);
  EXPECT_EQ(out, "Date: Tue, 08 Dec 2026 06:07:58 +0545");
}

TEST(MessageDate, TextKeptForASecondIsThatSecondsText) {
  ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
  MessageDateText date;
  for (const std::time_t when : {1796706478, 1796706478, 1796706479, 1782900000, 1796706478}) {
    std::string out = "Date: ";
    date.Append(when, out);
    EXPECT_EQ(out, "Date: " + Date(when));
  }
}

TEST(MessageId, TakesTheDomainOfTheReturnAddressWhenItCanStandThere) {
  EXPECT_EQ(MessageIdDomain("sam@example.net"), "example.net");
  EXPECT_EQ(MessageIdDomain(" odd\"name\"@Mail.Example.ORG "), "Mail.Example.ORG");
  EXPECT_EQ(MessageIdDomain("sam@[192.0.2.1]"), "[192.0.2.1]");

  const std::string host = MessageIdDomain("no address");
  EXPECT_FALSE(host.empty());
  for (const std::string address : {"", "sam@", "sam@exa mple.net", "sam@example..net",
                                    "sam@example.net>", "sam@.example.net"}) {
    EXPECT_EQ(MessageIdDomain(address), host) << address;
  }
}

TEST(MessageId, IsWellFormedAndNewEveryTime) {
  const std::regex form(R"(<[0-9a-f]+\.[0-9a-f]+\.[0-9a-f]+\.[0-9a-f]{16}@example\.net>)");
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const std::string id = NewMessageId("sam@example.net");
    ASSERT_TRUE(std::regex_match(id, form)) << id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 1000u);

  // Kept for a run: the domain follows the return address, the ids stay new.
  MessageIds ids;
  for (int i = 0; i < 1000; ++i) {
    std::string id;
    ids.AppendNew(i % 2 == 0 ? "sam@example.net" : "ann@example.org", id);
    EXPECT_NE(id.find(i % 2 == 0 ? "@example.net>" : "@example.org>"), std::string::npos) << id;
    EXPECT_TRUE(seen.insert(id).second) << id;
  }
}

// The id names the process that made it: a child of a program that has made
// ids already names itself, not its parent.
TEST(MessageId, AChildProcessNamesItselfInItsIds) {
  const auto processOf = [](const std::string& id) {
    const std::size_t first = id.find('.') + 1;
    return std::stol(id.substr(first, id.find('.', first) - first), nullptr, 16);
  };
  ASSERT_EQ(processOf(NewMessageId("sam@example.net")), static_cast<long>(getpid()));
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const std::string id = NewMessageId("sam@example.net");
    const bool written = write(pipeEnds[1], id.data(), id.size()) == static_cast<ssize_t>(id.size());
    _exit(written ? 0 : 1);
  }
  close(pipeEnds[1]);
  std::string id;
  char buffer[256];
  for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
    id.append(buffer, static_cast<std::size_t>(got));
  }
  close(pipeEnds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(processOf(id), static_cast<long>(child)) << id;
}

}  // namespace
}  // namespace postrider

#include <gtest/gtest.h>

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
}

}  // namespace
}  // namespace postrider

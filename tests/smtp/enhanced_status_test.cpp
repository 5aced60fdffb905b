#include "smtp/enhanced_status.h"

#include <gtest/gtest.h>

namespace postrider {
namespace {

TEST(EnhancedStatus, IsReadFromTheStartOfAReplysTextOnlyWhenWellFormed) {
  struct Case {
    const char* text;
    int statusClass;  // 0: no code
    int subject;
    int detail;
  };
  const Case cases[] = {
      {"4.7.1 Error: too much mail from 127.0.0.1", 4, 7, 1},
      {"5.1.1 <x@example.com>: Recipient address rejected", 5, 1, 1},
      {"2.0.0 Ok: queued as 4F2A1", 2, 0, 0},
      {"4.7.0\nsecond line", 4, 7, 0},
      {"5.999.999", 5, 999, 999},
      {"4.7.1", 4, 7, 1},
      {"Error: too much mail", 0, 0, 0},
      {"", 0, 0, 0},
      {"3.1.1 no such class", 0, 0, 0},
      {"4.7 too short", 0, 0, 0},
      {"4.7.1000 too long", 0, 0, 0},
      {"4.7.1a glued", 0, 0, 0},
      {"4..1 empty", 0, 0, 0},
      {" 4.7.1 leading blank", 0, 0, 0},
  };
  for (const Case& c : cases) {
    const std::optional<EnhancedStatus> status = EnhancedStatusOf(c.text);
    if (c.statusClass == 0) {
      EXPECT_FALSE(status.has_value()) << c.text;
      continue;
    }
    ASSERT_TRUE(status.has_value()) << c.text;
    EXPECT_EQ(status->statusClass, c.statusClass) << c.text;
    EXPECT_EQ(status->subject, c.subject) << c.text;
    EXPECT_EQ(status->detail, c.detail) << c.text;
  }
}

}  // namespace
}  // namespace postrider

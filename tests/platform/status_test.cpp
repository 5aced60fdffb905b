#include "platform/status.h"

#include <gtest/gtest.h>

#include <string>

namespace postrider {
namespace {

Result<std::string> Passed(const Status& status) { return status; }

TEST(ResultTest, AnOkStatusWithoutAValueIsNoSuccess) {
  // A caller that passes a Status along unchecked must not get a success
  // whose value() is nothing at all.
  const Result<std::string> result = Passed(Status::Ok());
  EXPECT_FALSE(result.ok());
  EXPECT_FALSE(result.status().message().empty());

  const Result<std::string> failed = Passed(Status::Error("disk full"));
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(failed.status().message(), "disk full");

  const Result<std::string> value(std::string("text"));
  ASSERT_TRUE(value.ok());
  EXPECT_EQ(*value, "text");
}

}  // namespace
}  // namespace postrider

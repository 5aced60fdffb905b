#include <gtest/gtest.h>

#include <chrono>

#include "send/send_pace.h"

namespace postrider {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using std::chrono::seconds;

// A clock the test moves by hand.
struct FakeClock {
  std::chrono::steady_clock::time_point now{};
  SendPace::Clock clock() {
    return [this] { return now; };
  }
};

TEST(SendPaceTest, WithoutLimitsNothingWaitsTheConnectionNeverFillsAndNothingIsRetried) {
  FakeClock time;
  SendPace pace({}, {}, time.clock());
  for (int i = 0; i < 1000; ++i) {
    EXPECT_EQ(pace.WaitForTurn(), nanoseconds(0));
    pace.MessageStarted();
  }
  EXPECT_FALSE(pace.ConnectionFull());
  EXPECT_EQ(pace.BackOffAfter(421, "421 4.7.0 Too many messages"), std::nullopt);
  EXPECT_EQ(pace.BackOffAfter(451, "451 4.7.1 Rate limit exceeded, try later"), std::nullopt);
}

TEST(SendPaceTest, MessagesAreScheduledFromTheFirstSoLateStartsDoNotAddUp) {
  FakeClock time;
  SendPace pace({.messagesPerMinute = 7}, {}, time.clock());  // 60/7 s does not divide evenly
  EXPECT_EQ(pace.WaitForTurn(), nanoseconds(0));
  const auto first = time.now;
  pace.MessageStarted();
  for (long long k = 1; k <= 700; ++k) {
    const auto slot = first + nanoseconds(60'000'000'000LL * k / 7);
    // Every message is a little late; the next slot is still counted from the first.
    time.now += milliseconds(3);
    EXPECT_EQ(time.now + pace.WaitForTurn(), slot) << "message " << k;
    time.now = slot + milliseconds(5);
    pace.MessageStarted();
  }
  // 700 messages after the first: exactly 100 minutes, the lateness absorbed.
  EXPECT_EQ(time.now, first + std::chrono::minutes(100) + milliseconds(5));
}

TEST(SendPaceTest, ARunThatFellBehindStartsCountingAfreshInsteadOfBursting) {
  FakeClock time;
  SendPace pace({.messagesPerMinute = 60}, {}, time.clock());
  pace.MessageStarted();
  time.now += seconds(30);  // a slow server: 29 slots missed
  EXPECT_EQ(pace.WaitForTurn(), nanoseconds(0));
  pace.MessageStarted();
  EXPECT_EQ(pace.WaitForTurn(), seconds(1));
  time.now += milliseconds(400);
  EXPECT_EQ(pace.WaitForTurn(), milliseconds(600));
}

TEST(SendPaceTest, AConnectionIsFullAfterItsShareAndANewOneStartsEmpty) {
  SendPace pace({.messagesPerConnection = 3});
  pace.Connected();
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(pace.ConnectionFull());
    pace.MessageStarted();
  }
  EXPECT_TRUE(pace.ConnectionFull());
  pace.Connected();
  EXPECT_FALSE(pace.ConnectionFull());
}

TEST(SendPaceTest, ABusyServerIsWaitedForLongerEachTimeUpToABoundedNumberOfTimes) {
  SendPace pace({.messagesPerConnection = 10},
                {.first = seconds(15), .longest = seconds(60), .attempts = 4});
  EXPECT_EQ(pace.BackOffAfter(421, "421 4.7.0 Service shutting down"), seconds(15));
  EXPECT_EQ(pace.BackOffAfter(450, "450 4.7.1 Too many messages"), seconds(30));
  EXPECT_EQ(pace.BackOffAfter(451, "451 Please try later"), seconds(60));
  EXPECT_EQ(pace.BackOffAfter(421, "421 Bye"), seconds(60));
  EXPECT_EQ(pace.BackOffAfter(421, "421 Bye"), std::nullopt);  // it gave up
  // A message that got through starts the count over.
  pace.Settled();
  EXPECT_EQ(pace.BackOffAfter(421, "421 Bye"), seconds(15));
}

TEST(SendPaceTest, OnlyRepliesThatAskToSlowDownAreWaitedFor) {
  EXPECT_TRUE(AsksToSlowDown(421, "421 4.3.2 System shutting down"));
  EXPECT_TRUE(AsksToSlowDown(450, "450 4.7.1 Error: too much mail, TOO MANY messages"));
  EXPECT_TRUE(AsksToSlowDown(451, "451 4.7.1 Sending rate exceeded"));
  EXPECT_TRUE(AsksToSlowDown(452, "452 4.5.3 Hourly limit reached"));
  EXPECT_TRUE(AsksToSlowDown(451, "451 Ratelimited; try again later"));
  EXPECT_TRUE(AsksToSlowDown(454, "454 Throttled: try later"));
  // Other temporary failures, and permanent refusals, stop the run as before.
  EXPECT_FALSE(AsksToSlowDown(451, "451 4.3.0 Error: queue file write error"));
  EXPECT_FALSE(AsksToSlowDown(452, "452 4.3.1 Insufficient system storage"));
  EXPECT_FALSE(AsksToSlowDown(450, "450 4.1.2 Message was generated separately"));
  EXPECT_FALSE(AsksToSlowDown(550, "550 5.7.1 Too many messages, rate limit"));
  EXPECT_FALSE(AsksToSlowDown(10054, "connection reset"));

  SendPace pace({.messagesPerMinute = 100});
  EXPECT_EQ(pace.BackOffAfter(451, "451 4.3.0 Error: queue file write error"), std::nullopt);
  EXPECT_EQ(pace.BackOffAfter(10054, ""), std::nullopt);
}

TEST(SendPaceTest, AfterABackOffTheScheduleStartsAgainWithoutCatchingUp) {
  FakeClock time;
  SendPace pace({.messagesPerMinute = 600}, {.first = seconds(5)}, time.clock());
  pace.MessageStarted();
  ASSERT_EQ(pace.BackOffAfter(421, "421 Too many"), seconds(5));
  time.now += seconds(5);
  EXPECT_EQ(pace.WaitForTurn(), nanoseconds(0));
  pace.MessageStarted();
  EXPECT_EQ(pace.WaitForTurn(), milliseconds(100));
}

}  // namespace
}  // namespace postrider

#include <gtest/gtest.h>

#include <chrono>

#include "send/send_pace.h"
#include "smtp/smtp_outcome.h"

namespace postrider {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using std::chrono::seconds;

// What the server's reply, or a connection's error, makes of a message.
SmtpOutcome After(int code, const char* text) {
  if (IsRefusalCode(code)) return SmtpOutcome::Refused(SmtpStep::Mail, SmtpReply{code, text});
  if (code < 400) return SmtpOutcome::Accepted();
  return SmtpOutcome::TransportFailed(SmtpStep::Mail, code, text);
}

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
  EXPECT_EQ(pace.BackOffAfter(After(421, "4.7.0 Too many messages")), std::nullopt);
  EXPECT_EQ(pace.BackOffAfter(After(450, "4.7.1 Error: too much mail from 127.0.0.1")), std::nullopt);
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
  EXPECT_EQ(pace.BackOffAfter(After(421, "421 4.7.0 Service shutting down")), seconds(15));
  EXPECT_EQ(pace.BackOffAfter(After(450, "450 4.7.1 Too many messages")), seconds(30));
  EXPECT_EQ(pace.BackOffAfter(After(451, "451 Please try later")), seconds(60));
  EXPECT_EQ(pace.BackOffAfter(After(421, "421 Bye")), seconds(60));
  EXPECT_EQ(pace.BackOffAfter(After(421, "421 Bye")), std::nullopt);  // it gave up
  // A message that got through starts the count over.
  pace.Settled();
  EXPECT_EQ(pace.BackOffAfter(After(421, "421 Bye")), seconds(15));
}

TEST(SendPaceTest, EveryRefusalForNowIsWaitedForWhateverItsWords) {
  struct Case {
    int code;
    const char* text;  // the reply's text after its code, as the client keeps it
    bool waitedFor;
  };
  const Case cases[] = {
      {421, "4.3.2 System shutting down", true},
      {450, "4.7.1 Error: too much mail from 127.0.0.1", true},  // Postfix's anvil
      {421, "4.7.0 mail.example Error: too many connections from 127.0.0.1", true},
      {451, "4.3.0 Error: queue file write error", true},
      {452, "4.3.1 Insufficient system storage", true},
      {450, "4.2.0 Recipient address rejected: Greylisted", true},
      // No enhanced code (RFC 3463: class.subject.detail, up to three digits
      // each, then a blank): the reply code decides.
      {454, "Throttled", true},
      {450, "5.7.1a glued to a word", true},
      {450, "5.7 too short", true},
      {450, "5.7.1000 too long", true},
      {450, " 5.7.1 after a blank", true},
      {451, "4.7.1", true},
      // Refusals for good, and codes at odds with themselves, stop the run.
      {550, "5.7.1 Too many messages, rate limit", false},
      {450, "5.7.1 Refused, try later", false},
      {450, "5.7.1\nsecond line", false},
      {554, "4.7.1 Odd", false},
      {250, "2.0.0 Ok", false},
      {10054, "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(After(c.code, c.text).kind() == SmtpOutcomeKind::RefusedTemporarily, c.waitedFor) << c.code << " " << c.text;
    SendPace limited({.messagesPerMinute = 100});
    EXPECT_EQ(limited.BackOffAfter(After(c.code, c.text)).has_value(), c.waitedFor) << c.code;
  }
}

TEST(SendPaceTest, AfterABackOffTheScheduleStartsAgainWithoutCatchingUp) {
  FakeClock time;
  SendPace pace({.messagesPerMinute = 600}, {.first = seconds(5)}, time.clock());
  pace.MessageStarted();
  ASSERT_EQ(pace.BackOffAfter(After(421, "421 Too many")), seconds(5));
  time.now += seconds(5);
  EXPECT_EQ(pace.WaitForTurn(), nanoseconds(0));
  pace.MessageStarted();
  EXPECT_EQ(pace.WaitForTurn(), milliseconds(100));
}

}  // namespace
}  // namespace postrider

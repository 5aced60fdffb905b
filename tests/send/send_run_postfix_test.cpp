#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "project/postridr_doc.h"
#include "send/send_run.h"
#include "support/entry_lists.h"
#include "support/postfix_instance.h"
#include "support/recording_views.h"
#include "support/smtp_test_timeouts.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using std::chrono::milliseconds;
using testing::PostfixInstance;

// What Postfix has logged, once it holds every part (it logs through a
// daemon of its own, a moment behind), or as it stands after a while.
std::string LogHolding(const PostfixInstance& postfix, const std::vector<std::string>& parts) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    const std::string log = postfix.Log();
    bool all = true;
    for (const std::string& part : parts) all = all && log.find(part) != std::string::npos;
    if (all || std::chrono::steady_clock::now() > limit) return log;
    std::this_thread::sleep_for(milliseconds(50));
  }
}

// A real Postfix with its limits on a sender (anvil): a few messages a time
// unit, a few connections. Its refusals are worded its own way and come at
// MAIL (450) and at the greeting (421); with a limit set the run waits for
// each and every recipient is sent exactly one message.
TEST(SendRunPostfixTest, PostfixRateLimitsAreWaitedForAndEveryRecipientGetsOneMessage) {
  if (const auto why = PostfixInstance::WhyUnavailable()) GTEST_SKIP() << *why;
  PostfixInstance postfix({"smtpd_client_event_limit_exceptions =",
                           "anvil_rate_time_unit = 2s",
                           "smtpd_client_message_rate_limit = 3",
                           "smtpd_client_connection_rate_limit = 2"});
  testing::TempDir folder;
  testing::RecordedDocument recorded;
  constexpr int kEntries = 8;
  ASSERT_TRUE(recorded.Open(folder.path(), testing::TestProject(testing::NumberedList(kEntries),
                                                                std::string(32000, '\x80'))));
  UserSettings settings{.realName = "Club", .returnAddress = "club@example.com",
                        .smtpServer = postfix.address()};
  settings.messagesPerConnection = 2;
  SendController controller{SendRunHost{recorded.prompts, recorded.frame},
                            testing::UniformTimeouts()};
  // Waits that add up to more than the time unit within the five allowed.
  controller.SetPaceBackOff({.first = milliseconds(500), .longest = milliseconds(2000)});

  const SendRunResult result = controller.OnSend(recorded.document, settings);

  EXPECT_TRUE(result.reachedEnd);
  EXPECT_EQ(result.failure.number(), 0);
  EXPECT_EQ(result.accepted, kEntries);
  EXPECT_EQ(testing::Statuses(recorded.document), std::vector<int>(kEntries, StatusSent));
  std::vector<std::string> everyone;
  for (int i = 0; i < kEntries; ++i) {
    everyone.push_back("person" + std::to_string(i) + "@example.com");
  }
  EXPECT_EQ(postfix.HeldRecipients(), everyone);
  EXPECT_EQ(recorded.prompts.messageTexts(),
            std::vector<std::string>{"Send Complete! Total Messages Sent: 8"});
  // Postfix did refuse both ways: the test proves something only if so.
  const std::vector<std::string> refusals = {"Message delivery request rate limit exceeded",
                                             "Connection rate limit exceeded"};
  const std::string log = LogHolding(postfix, refusals);
  for (const std::string& refusal : refusals) {
    EXPECT_NE(log.find(refusal), std::string::npos) << log;
  }
}

}  // namespace
}  // namespace postrider

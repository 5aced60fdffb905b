#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/blocking_call.h"
#include "project/postridr_doc.h"
#include "send/send_run.h"
#include "send/send_texts.h"
#include "support/entry_lists.h"
#include "support/recording_views.h"
#include "support/scripted_smtp_server.h"
#include "support/smtp_test_timeouts.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using std::chrono::milliseconds;
using testing::RecordedDocument;
using testing::ScriptedSmtpServer;
using testing::ServerScript;
using testing::TempDir;
using testing::TestProject;

constexpr const char* kPassword = "c0rrect-h0rse";


using testing::Statuses;
using testing::NumberedList;

long Count(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::count_if(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

// The recipients of the messages the server took, in order.
std::vector<std::string> Delivered(const ScriptedSmtpServer& server) {
  std::vector<std::string> delivered;
  std::string recipient;
  for (const std::string& line : server.Commands()) {
    if (line.rfind("RCPT TO:<", 0) == 0) recipient = line.substr(9, line.size() - 10);
    if (line == ".") delivered.push_back(recipient);
  }
  return delivered;
}

class FixedPassword : public ISmtpPasswordSource {
 public:
  Result<Secret> Password(const UserSettings&) override {
    ++asked;
    return Secret(kPassword);
  }
  int asked = 0;
};

// Calls back when an entry's status changes, as the project view is told.
class WatchingView : public IProjectView {
 public:
  void FillList() override {}
  void RedrawList() override {}
  void ShowEntry(int index) override {
    if (onEntry) onEntry(index);
  }
  std::function<void(int)> onEntry;
};

class SendRunPaceTest : public ::testing::Test {
 protected:
  void Open(int entries) {
    ASSERT_TRUE(recorded.Open(folder.path(), TestProject(NumberedList(entries), std::string(32000, '\x80'))));
    recorded.document.AddView(&view);
  }
  void TearDown() override { recorded.document.RemoveView(&view); }
  SendRunResult Send(const std::string& server) {
    settings.smtpServer = server;
    return controller.OnSend(recorded.document, settings);
  }

  TempDir folder;
  RecordedDocument recorded;
  WatchingView view;
  UserSettings settings{.realName = "Club", .returnAddress = "club@example.com"};
  FixedPassword passwords;
  SendController controller{SendRunHost{recorded.prompts, recorded.frame, nullptr, &passwords},
                            testing::UniformTimeouts()};
};

TEST_F(SendRunPaceTest, EachConnectionCarriesItsShareAndLogsInAgainWithTheSamePassword) {
  Open(7);
  ServerScript script{.authUser = "club", .authPassword = kPassword, .authRequired = true,
                      .authWithoutTls = true};
  ScriptedSmtpServer server(script);
  settings.userName = "club";
  settings.allowPlainAuth = 1;
  settings.messagesPerConnection = 3;

  const SendRunResult result = Send(server.address());

  EXPECT_TRUE(result.reachedEnd);
  EXPECT_EQ(result.accepted, 7);
  EXPECT_EQ(Statuses(recorded.document), std::vector<int>(7, StatusSent));
  const std::vector<std::string> commands = server.Commands();
  EXPECT_EQ(Count(commands, "EHLO"), 3);
  EXPECT_EQ(Count(commands, "AUTHENTICATED club"), 3);
  EXPECT_EQ(Count(commands, "QUIT"), 3);
  EXPECT_EQ(server.MessageCount(), 7);
  EXPECT_EQ(passwords.asked, 1);
  EXPECT_EQ(recorded.prompts.messageTexts(),
            std::vector<std::string>{"Send Complete! Total Messages Sent: 7"});
}

TEST_F(SendRunPaceTest, ABusyServerWithALimitSetIsWaitedForAndEveryEntryIsSentOnce) {
  Open(5);
  // A 421 closes the connection; a 451 at the end of the data refuses a whole message.
  ScriptedSmtpServer server({.firstReplies = {{"RCPT:person2@", "421 4.7.0 Too many messages"},
                                              {".", "451 4.7.1 Rate limit exceeded, try later"}}});
  settings.messagesPerMinute = 6000;
  controller.SetPaceBackOff({.first = milliseconds(20), .longest = milliseconds(40)});

  const SendRunResult result = Send(server.address());

  EXPECT_TRUE(result.reachedEnd);
  EXPECT_EQ(result.failure.number(), 0);
  EXPECT_EQ(result.accepted, 5);
  EXPECT_EQ(result.processed, 5);
  EXPECT_EQ(Statuses(recorded.document), std::vector<int>(5, StatusSent));
  // The first message's refused copy, then each recipient's one accepted message.
  EXPECT_EQ(Delivered(server),
            (std::vector<std::string>{"person0@example.com", "person0@example.com",
                                      "person1@example.com", "person2@example.com",
                                      "person3@example.com", "person4@example.com"}));
  EXPECT_EQ(Count(server.Commands(), "EHLO"), 3);
  EXPECT_EQ(recorded.document.GetLastIndexSent(), 0);
  EXPECT_EQ(recorded.prompts.messageTexts(),
            std::vector<std::string>{"Send Complete! Total Messages Sent: 5"});
}

TEST_F(SendRunPaceTest, WithALimitEveryTemporaryRefusalIsWaitedForWhateverItsWords) {
  Open(5);
  // Postfix's anvil at MAIL, greylisting at RCPT, a server fault at the end
  // of the data: none says "rate" or "try later", each is a 4xx.
  ScriptedSmtpServer server(
      {.firstReplies = {{"MAIL#2", "450 4.7.1 Error: too much mail from 127.0.0.1"},
                        {"RCPT#4", "450 4.2.0 Recipient address rejected: Greylisted"},
                        {".#4", "451 4.3.0 Error: queue file write error"}}});
  settings.messagesPerConnection = 100;
  controller.SetPaceBackOff({.first = milliseconds(10), .longest = milliseconds(20)});

  const SendRunResult result = Send(server.address());

  EXPECT_TRUE(result.reachedEnd);
  EXPECT_EQ(result.failure.number(), 0);
  EXPECT_EQ(result.accepted, 5);
  EXPECT_EQ(Statuses(recorded.document), std::vector<int>(5, StatusSent));
  // person3's first copy was refused at its end: not delivered, sent once more.
  EXPECT_EQ(Delivered(server),
            (std::vector<std::string>{"person0@example.com", "person1@example.com",
                                      "person2@example.com", "person3@example.com",
                                      "person3@example.com", "person4@example.com"}));
  EXPECT_EQ(Count(server.Commands(), "EHLO"), 4);
  EXPECT_EQ(recorded.prompts.messageTexts(),
            std::vector<std::string>{"Send Complete! Total Messages Sent: 5"});
}

TEST_F(SendRunPaceTest, AConnectionRefusedWith421IsWaitedForAndTheNextStartsClean) {
  Open(10);
  // The first connection, and the second reconnect, find the server full.
  const std::string full = "421 4.7.0 scripted.test Error: too many connections from 127.0.0.1";
  ScriptedSmtpServer server({.firstReplies = {{"GREETING#1", full}, {"GREETING#3", full}}});
  settings.messagesPerConnection = 4;
  controller.SetPaceBackOff({.first = milliseconds(10), .longest = milliseconds(20)});

  const SendRunResult result = Send(server.address());

  EXPECT_TRUE(result.reachedEnd);
  EXPECT_EQ(result.failure.number(), 0);
  EXPECT_EQ(result.accepted, 10);
  EXPECT_EQ(Statuses(recorded.document), std::vector<int>(10, StatusSent));
  std::vector<std::string> everyone;
  for (int i = 0; i < 10; ++i) everyone.push_back("person" + std::to_string(i) + "@example.com");
  EXPECT_EQ(Delivered(server), everyone);
  EXPECT_EQ(Count(server.Commands(), "EHLO"), 3);  // 4, 4 and 2 messages
  EXPECT_EQ(recorded.prompts.messageTexts(),
            std::vector<std::string>{"Send Complete! Total Messages Sent: 10"});
}

TEST_F(SendRunPaceTest, PauseWhileARefusedConnectionIsWaitedForEndsTheRunBeforeItStarts) {
  Open(2);
  ScriptedSmtpServer server({.replies = {{"GREETING", "421 4.7.0 Too many connections"}}});
  settings.messagesPerMinute = 60;
  controller.SetPaceBackOff({.first = std::chrono::minutes(1)});
  SetBlockingHook([&] {
    if (recorded.frame.statusText == texts::kWaitingForServer) controller.OnPause();
  });

  const SendRunResult result = Send(server.address());
  SetBlockingHook({});

  EXPECT_TRUE(result.paused);
  EXPECT_FALSE(result.connected);
  EXPECT_EQ(result.notReached, 2);
  EXPECT_EQ(Statuses(recorded.document), (std::vector<int>{StatusNone, StatusNone}));
  EXPECT_EQ(recorded.prompts.messageTexts(),
            std::vector<std::string>{"Send paused before the first message. Accepted by the "
                                     "server: 0, refused by the server: 0, bad address: 0, "
                                     "not reached: 2."});
}

TEST_F(SendRunPaceTest, APipeliningServerGetsEachMessageInItsTurnOverItsShareOfConnections) {
  Open(5);
  ServerScript script;
  script.pipelining = true;
  script.firstReplies = {{"RCPT:person3@", "421 4.7.0 Too many messages"}};
  ScriptedSmtpServer server(script);
  settings.messagesPerConnection = 2;
  controller.SetPaceBackOff({.first = milliseconds(10)});

  const SendRunResult result = Send(server.address());

  EXPECT_TRUE(result.reachedEnd);
  EXPECT_EQ(Statuses(recorded.document), std::vector<int>(5, StatusSent));
  EXPECT_EQ(Delivered(server),
            (std::vector<std::string>{"person0@example.com", "person1@example.com",
                                      "person2@example.com", "person3@example.com",
                                      "person4@example.com"}));
  // Two, then person2 alone before the 421, then person3 and person4.
  EXPECT_EQ(Count(server.Commands(), "EHLO"), 3);
}

TEST_F(SendRunPaceTest, WithoutALimitABusyServerStopsTheRunAsBefore) {
  Open(4);
  ScriptedSmtpServer server({.firstReplies = {{"RCPT:person1@", "421 4.7.0 Too many messages"}}});

  const SendRunResult result = Send(server.address());

  EXPECT_FALSE(result.reachedEnd);
  EXPECT_EQ(result.failure.number(), 421);
  EXPECT_EQ(Statuses(recorded.document),
            (std::vector<int>{StatusSent, StatusNone, StatusNone, StatusNone}));
  EXPECT_EQ(recorded.document.GetLastIndexSent(), 1);
  EXPECT_EQ(Count(server.Commands(), "EHLO"), 1);
  EXPECT_TRUE(recorded.prompts.ShowedMessageContaining("Sending 2 of 4 - Error 421"));
  // And it says which limit would have kept it going.
  EXPECT_TRUE(recorded.prompts.ShowedMessageContaining(texts::kSetALimitAdvice));
}

TEST_F(SendRunPaceTest, WithoutALimitARefusedConnectionSendsNothingAndSaysWhichLimitToSet) {
  Open(2);
  ScriptedSmtpServer server(
      {.replies = {{"GREETING", "421 4.7.0 Error: too many connections from 127.0.0.1"}}});

  const SendRunResult result = Send(server.address());

  EXPECT_FALSE(result.connected);
  EXPECT_EQ(result.failure.number(), 421);
  EXPECT_EQ(server.MessageCount(), 0);
  ASSERT_EQ(recorded.prompts.messages().size(), 2u);
  const std::string& shown = recorded.prompts.messages()[0].text;
  EXPECT_NE(shown.find("421 4.7.0 Error: too many connections"), std::string::npos) << shown;
  EXPECT_NE(shown.find(texts::kSetALimitAdvice), std::string::npos) << shown;
}

TEST_F(SendRunPaceTest, AServerThatStaysBusyIsTriedABoundedNumberOfTimesThenTheRunStops) {
  Open(3);
  ScriptedSmtpServer server({.replies = {{"RCPT:person1@", "450 4.7.1 Too many messages"}}});
  settings.messagesPerConnection = 10;
  controller.SetPaceBackOff({.first = milliseconds(10), .longest = milliseconds(20), .attempts = 2});

  const SendRunResult result = Send(server.address());

  EXPECT_EQ(result.failure.number(), 450);
  EXPECT_EQ(Statuses(recorded.document), (std::vector<int>{StatusSent, StatusNone, StatusNone}));
  EXPECT_EQ(recorded.document.GetLastIndexSent(), 1);
  EXPECT_EQ(Count(server.Commands(), "RCPT TO:<person1@"), 3);  // once, then twice more
  EXPECT_EQ(Count(server.Commands(), "EHLO"), 3);
  EXPECT_TRUE(recorded.prompts.ShowedMessageContaining("450 4.7.1 Too many messages"));
  EXPECT_TRUE(recorded.prompts.ShowedMessageContaining("still refused after 2 waits in a row"));
}

TEST_F(SendRunPaceTest, AReconnectThatFailsEndsTheRunWhereItWas) {
  Open(4);
  ScriptedSmtpServer server;
  settings.messagesPerConnection = 2;
  view.onEntry = [&server](int entry) {
    if (entry == 1) server.Stop();
  };

  const SendRunResult result = Send(server.address());

  EXPECT_FALSE(result.reachedEnd);
  EXPECT_FALSE(result.paused);
  EXPECT_NE(result.failure.number(), 0);
  EXPECT_EQ(Statuses(recorded.document),
            (std::vector<int>{StatusSent, StatusSent, StatusNone, StatusNone}));
  EXPECT_EQ(result.notReached, 2);
  EXPECT_EQ(recorded.document.GetLastIndexSent(), 2);
  EXPECT_TRUE(recorded.prompts.ShowedMessageContaining("Sending 3 of 4 - Error "));
}

TEST_F(SendRunPaceTest, PauseDuringTheWaitForATurnCutsItShortAndHaltsAtTheNextEntry) {
  Open(3);
  ScriptedSmtpServer server;
  settings.messagesPerMinute = 1;  // the second message's turn is a minute away
  int hookCallsAfterPause = -1;
  SetBlockingHook([&] {
    if (hookCallsAfterPause >= 0) {
      ++hookCallsAfterPause;
    } else if (recorded.document.GetEntryStatus(0) == StatusSent) {
      hookCallsAfterPause = 0;  // past the first message's answer: this is the wait
      controller.OnPause();
    }
  });

  const SendRunResult result = Send(server.address());
  SetBlockingHook({});

  EXPECT_TRUE(result.paused);
  EXPECT_EQ(result.failure.number(), 0);
  EXPECT_EQ(Statuses(recorded.document), (std::vector<int>{StatusSent, StatusHalted, StatusNone}));
  EXPECT_EQ(recorded.document.GetLastIndexSent(), 1);
  EXPECT_EQ(server.MessageCount(), 1);
  // The wait ended at the Pause instead of running on: only QUIT waited after it.
  EXPECT_LE(hookCallsAfterPause, 5);
  EXPECT_EQ(recorded.prompts.messageTexts(),
            std::vector<std::string>{
                "Send paused before the end of the list. Accepted by the server: 1, refused by "
                "the server: 0, bad address: 0, not reached: 2."});
}

}  // namespace
}  // namespace postrider

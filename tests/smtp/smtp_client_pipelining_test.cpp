// With a server that offers PIPELINING, each message's MAIL, RCPT and DATA
// go behind the end of the one before, and every reply is still judged for
// the message it belongs to.

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/blocking_call.h"
#include "platform/socket_errors.h"
#include "smtp/smtp_error_numbers.h"
#include "smtp/smtp_client.h"
#include "support/scripted_smtp_server.h"
#include "support/smtp_test_timeouts.h"

namespace postrider {
namespace {

using testing::ScriptedSmtpServer;
using testing::ServerScript;
using testing::UniformTimeouts;

const std::string kFrom = "from@example.com";

std::string To(int n) { return "to" + std::to_string(n) + "@example.com"; }
std::string Text(int n) { return "Subject: " + std::to_string(n) + "\r\n\r\nMessage " + std::to_string(n) + ".\r\n"; }

// Keeps each message's addresses and text alive while the client holds views of them.
struct Batch {
  explicit Batch(int count) {
    for (int n = 1; n <= count; ++n) {
      recipients.push_back(To(n));
      texts.push_back(Text(n));
    }
  }
  SmtpNextMessage Next(int n) const {
    return {recipients[n - 1], kFrom, texts[n - 1]};
  }
  std::vector<std::string> recipients;
  std::vector<std::string> texts;
};

int Count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

// The commands after the first `line`, up to `length` of them.
std::vector<std::string> After(const std::vector<std::string>& lines, const std::string& line,
                               std::size_t length) {
  const auto found = std::find(lines.begin(), lines.end(), line);
  if (found == lines.end()) return {};
  const auto from = found + 1;
  const auto to = from + static_cast<std::ptrdiff_t>(std::min<std::size_t>(
                             length, static_cast<std::size_t>(lines.end() - from)));
  return {from, to};
}

ServerScript Pipelining(ServerScript script = {}) {
  script.pipelining = true;
  return script;
}

class SmtpClientPipeliningTest : public ::testing::Test {
 protected:
  // Sends messages 1..count, each with the next one behind it; the results in order.
  std::vector<int> SendAll(int count) {
    std::vector<int> results;
    for (int n = 1; n <= count; ++n) {
      const SmtpNextMessage next = batch.Next(std::min(n + 1, count));
      const SmtpOutcome outcome = client.SendMail(batch.recipients[n - 1], kFrom,
                                                  batch.texts[n - 1], n < count ? &next : nullptr);
      results.push_back(outcome.number());
      steps.push_back(outcome.step());
      texts.push_back(outcome.text());
    }
    return results;
  }

  Batch batch{4};
  SmtpClient client{UniformTimeouts()};
  std::vector<SmtpStep> steps;
  std::vector<std::string> texts;
};

TEST_F(SmtpClientPipeliningTest, TheNextMessagesCommandsAreAnsweredBeforeItsOwnSendAndAllArriveIntact) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server(Pipelining());
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);
  ASSERT_TRUE(client.offersPipelining());

  const SmtpNextMessage second = batch.Next(2);
  outcome = client.SendMail(To(1), kFrom, Text(1), &second);
  ASSERT_EQ(outcome.number(), 0);
  EXPECT_TRUE(client.messageAhead());
  // The server logs each command before it answers: the second message's
  // envelope is in, with no SendMail of its own yet.
  const std::vector<std::string> early = server.Commands();
  EXPECT_EQ(Count(early, "RCPT TO:<" + To(2) + ">"), 1);
  EXPECT_EQ(Count(early, "DATA"), 2);

  outcome = client.SendMail(To(2), kFrom, Text(2));
  EXPECT_EQ(outcome.number(), 0);
  EXPECT_FALSE(client.messageAhead());
  client.Disconnect();

  ASSERT_EQ(server.MessageCount(), 2);
  EXPECT_EQ(server.Message(1), Text(1));
  EXPECT_EQ(server.Message(2), Text(2));
  const std::vector<std::string> commands = server.Commands();
  EXPECT_EQ(Count(commands, "RSET"), 0);
  EXPECT_EQ(Count(commands, "HELO"), 0);
  EXPECT_EQ(commands.back(), "QUIT");
}

TEST_F(SmtpClientPipeliningTest, ARefusedRecipientInTheGroupIsItsOwnAndTheRunOfMessagesGoesOn) {
  SmtpOutcome outcome;
  ServerScript script = Pipelining();
  script.replies = {{"RCPT:" + To(2), "550 5.1.1 No such user"}};
  ScriptedSmtpServer server(script);
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);

  EXPECT_EQ(SendAll(4), (std::vector<int>{0, 550, 0, 0}));
  EXPECT_EQ(steps[1], SmtpStep::Rcpt);
  EXPECT_EQ(texts[1], "550 5.1.1 No such user");
  client.Disconnect();

  // The server's 503 to that DATA was expected; the text never went.
  EXPECT_EQ(After(server.Commands(), "RCPT TO:<" + To(2) + ">", 2),
            (std::vector<std::string>{"DATA", "RSET"}));
  ASSERT_EQ(server.MessageCount(), 3);
  EXPECT_EQ(server.Message(2), Text(3));
}

TEST_F(SmtpClientPipeliningTest, DataTakenWithNoRecipientGetsABareEndOfDataNeverTheText) {
  SmtpOutcome outcome;
  ServerScript script = Pipelining();
  script.replies = {{"RCPT:" + To(2), "550 5.1.1 No such user"}};
  script.dataWithoutRecipients = true;
  ScriptedSmtpServer server(script);
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);

  EXPECT_EQ(SendAll(3), (std::vector<int>{0, 550, 0}));
  EXPECT_EQ(steps[1], SmtpStep::Rcpt);
  client.Disconnect();

  EXPECT_EQ(After(server.Commands(), "RCPT TO:<" + To(2) + ">", 3),
            (std::vector<std::string>{"DATA", ".", "RSET"}));
  ASSERT_EQ(server.MessageCount(), 3);
  EXPECT_EQ(server.Message(1), Text(1));
  EXPECT_EQ(server.Message(2), "");
  EXPECT_EQ(server.Message(3), Text(3));
}

TEST_F(SmtpClientPipeliningTest, EachRefusalInTheGroupIsReportedAtItsStepWithTheServersWords) {
  SmtpOutcome outcome;
  struct Case {
    std::string rule;
    std::string reply;
    int result;
    SmtpStep step;
  };
  const std::vector<Case> cases = {
      {"MAIL#2", "550 5.7.1 Sender refused", 550, SmtpStep::Mail},
      {"RCPT#2", "450 4.2.0 Mailbox busy", 450, SmtpStep::Rcpt},
      {"DATA#2", "451 4.3.0 Try later", 451, SmtpStep::Data},
      {"DATA#2", "554 5.3.4 No data today", 554, SmtpStep::Data},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule + " " + c.reply);
    ServerScript script = Pipelining();
    script.firstReplies = {{c.rule, c.reply}};
    ScriptedSmtpServer server(script);
    SmtpClient fresh(UniformTimeouts());
    outcome = fresh.Connect(server.address());
    ASSERT_EQ(outcome.number(), 0);
    const SmtpNextMessage second = batch.Next(2);
    const SmtpNextMessage third = batch.Next(3);
    outcome = fresh.SendMail(To(1), kFrom, Text(1), &second);
    EXPECT_EQ(outcome.number(), 0);
    outcome = fresh.SendMail(To(2), kFrom, Text(2), &third);
    EXPECT_EQ(outcome.number(), c.result);
    EXPECT_EQ(outcome.step(), c.step);
    EXPECT_EQ(outcome.text(), c.reply);
    EXPECT_TRUE(fresh.isConnected());
    EXPECT_FALSE(fresh.messageAhead());
    outcome = fresh.SendMail(To(3), kFrom, Text(3));
    EXPECT_EQ(outcome.number(), 0);
    fresh.Disconnect();
    ASSERT_EQ(server.MessageCount(), 2);
    EXPECT_EQ(server.Message(2), Text(3));
  }
}

TEST_F(SmtpClientPipeliningTest, ARefusedEndOfDataLeavesTheNextTransactionStanding) {
  SmtpOutcome outcome;
  ServerScript script = Pipelining();
  script.firstReplies = {{".#1", "554 5.6.0 Content refused"}};
  ScriptedSmtpServer server(script);
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);

  EXPECT_EQ(SendAll(2), (std::vector<int>{554, 0}));
  EXPECT_EQ(steps[0], SmtpStep::EndOfData);
  EXPECT_EQ(texts[0], "554 5.6.0 Content refused");
  client.Disconnect();
  EXPECT_EQ(Count(server.Commands(), "RSET"), 0);
  ASSERT_EQ(server.MessageCount(), 2);
  EXPECT_EQ(server.Message(2), Text(2));
}

TEST_F(SmtpClientPipeliningTest, A421OrALostConnectionInTheGroupFallsOnTheNextMessageOnly) {
  SmtpOutcome outcome;
  {
    ServerScript script = Pipelining();
    script.firstReplies = {{"MAIL#2", "421 4.3.2 Shutting down"}};
    ScriptedSmtpServer server(script);
    SmtpClient fresh(UniformTimeouts());
    outcome = fresh.Connect(server.address());
    ASSERT_EQ(outcome.number(), 0);
    const SmtpNextMessage second = batch.Next(2);
    outcome = fresh.SendMail(To(1), kFrom, Text(1), &second);
    EXPECT_EQ(outcome.number(), 0);
    outcome = fresh.SendMail(To(2), kFrom, Text(2));
    EXPECT_EQ(outcome.number(), 421);
    EXPECT_EQ(outcome.step(), SmtpStep::Mail);
    EXPECT_FALSE(fresh.isConnected());
    EXPECT_EQ(server.MessageCount(), 1);
  }
  {
    // The server hangs up after answering the second RCPT.
    ServerScript script = Pipelining();
    script.firstReplies = {{"RCPT#2", "250 OK"}};
    script.dropAfterReply = {"RCPT"};
    ScriptedSmtpServer server(script);
    SmtpClient fresh(UniformTimeouts());
    outcome = fresh.Connect(server.address());
    ASSERT_EQ(outcome.number(), 0);
    const SmtpNextMessage second = batch.Next(2);
    outcome = fresh.SendMail(To(1), kFrom, Text(1), &second);
    EXPECT_EQ(outcome.number(), 0);
    EXPECT_EQ(outcome.step(), SmtpStep::None);
    outcome = fresh.SendMail(To(2), kFrom, Text(2));
    const int lost = outcome.number();
    EXPECT_GE(lost, 10000);
    EXPECT_EQ(outcome.step(), SmtpStep::Data);
    EXPECT_NE(outcome.text().find("DATA"), std::string::npos) << outcome.text();
    EXPECT_FALSE(fresh.isConnected());
    EXPECT_EQ(server.MessageCount(), 1);
  }
}

TEST_F(SmtpClientPipeliningTest, AReplyInTheGroupThatDoesNotComeInTimeEndsTheConnection) {
  SmtpOutcome outcome;
  ServerScript script = Pipelining();
  script.delays = {{"RCPT", 30.0}};
  ScriptedSmtpServer server(script);
  SmtpTimeouts shortRcpt = UniformTimeouts();
  shortRcpt.rcpt = std::chrono::milliseconds(300);
  SmtpClient impatient(shortRcpt);
  outcome = impatient.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);
  outcome = impatient.SendMail(To(1), kFrom, Text(1));
  EXPECT_EQ(outcome.number(), kWsaEtimedout);
  EXPECT_EQ(outcome.step(), SmtpStep::Rcpt);
  EXPECT_FALSE(impatient.isConnected());
  EXPECT_EQ(outcome.text(), "No reply to RCPT TO within 300 ms.");
}

TEST_F(SmtpClientPipeliningTest, ACancelBeforeAMessageSentAheadHasItsTextStopsItThere) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server(Pipelining());
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);
  const SmtpNextMessage second = batch.Next(2);
  outcome = client.SendMail(To(1), kFrom, Text(1), &second);
  ASSERT_EQ(outcome.number(), 0);
  SetBlockingHook([] { CancelBlockingCall(); });
  outcome = client.SendMail(To(2), kFrom, Text(2));
  EXPECT_EQ(outcome.number(), kWsaEintr);
  SetBlockingHook({});
  EXPECT_EQ(outcome.step(), SmtpStep::Data);
  EXPECT_FALSE(client.isConnected());
  server.Stop();
  EXPECT_EQ(server.MessageCount(), 1);
}

TEST_F(SmtpClientPipeliningTest, LeavingWithAMessageAheadNeverFinishesItsData) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server(Pipelining());
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);
  const SmtpNextMessage second = batch.Next(2);
  outcome = client.SendMail(To(1), kFrom, Text(1), &second);
  ASSERT_EQ(outcome.number(), 0);
  client.Disconnect();
  // QUIT would have become the second message's text.
  server.Stop();
  EXPECT_EQ(server.MessageCount(), 1);
  EXPECT_EQ(Count(server.Commands(), "QUIT"), 0);
}

TEST_F(SmtpClientPipeliningTest, AHeldBackMessageSendsNothingOfTheNext) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server(Pipelining());
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);
  client.SetHandOverListener([] { return false; });
  const SmtpNextMessage second = batch.Next(2);
  outcome = client.SendMail(To(1), kFrom, Text(1), &second);
  EXPECT_EQ(outcome.number(), kSmtpHandOverStopped);
  EXPECT_FALSE(client.messageAhead());
  server.Stop();
  EXPECT_EQ(Count(server.Commands(), "RCPT TO:<" + To(2) + ">"), 0);
  EXPECT_EQ(server.MessageCount(), 0);
}

TEST_F(SmtpClientPipeliningTest, WithoutPipeliningEachCommandWaitsForItsReplyAndNothingGoesAhead) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server;
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);
  EXPECT_FALSE(client.offersPipelining());
  const SmtpNextMessage second = batch.Next(2);
  outcome = client.SendMail(To(1), kFrom, Text(1), &second);
  EXPECT_EQ(outcome.number(), 0);
  EXPECT_FALSE(client.messageAhead());
  EXPECT_EQ(Count(server.Commands(), "RCPT TO:<" + To(2) + ">"), 0);
  outcome = client.SendMail(To(2), kFrom, Text(2));
  EXPECT_EQ(outcome.number(), 0);
  client.Disconnect();
  EXPECT_EQ(server.MessageCount(), 2);
  EXPECT_EQ(Count(server.Commands(), "RSET"), 0);
}

TEST_F(SmtpClientPipeliningTest, ANextMessageTooLargeForTheServerIsNotSentAhead) {
  SmtpOutcome outcome;
  ServerScript script = Pipelining();
  script.sizeLimit = 100;
  ScriptedSmtpServer server(script);
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);
  const std::string large = "Subject: big\r\n\r\n" + std::string(200, 'x') + "\r\n";
  const std::string recipient = To(2);
  const SmtpNextMessage next{recipient, kFrom, large};
  outcome = client.SendMail(To(1), kFrom, Text(1), &next);
  EXPECT_EQ(outcome.number(), 0);
  EXPECT_FALSE(client.messageAhead());
  outcome = client.SendMail(To(2), kFrom, large);
  EXPECT_EQ(outcome.number(), kSmtpMessageTooLarge);
  client.Disconnect();
  EXPECT_EQ(server.MessageCount(), 1);
}

}  // namespace
}  // namespace postrider

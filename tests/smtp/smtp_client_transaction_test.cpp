#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "smtp/hello_name.h"
#include "smtp/smtp_client.h"
#include "support/smtp_test_timeouts.h"
#include "support/scripted_smtp_server.h"
#include "support/smtp_sink_server.h"

namespace postrider {
namespace {

using namespace std::chrono_literals;
using testing::ScriptedSmtpServer;
using testing::ServerScript;
using testing::SmtpSinkServer;

TEST(SmtpClientTransactionTest, SaysEhloOnceThenMailRcptDataForEveryMessage) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server;
  SmtpClient client(testing::UniformTimeouts());
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);
  EXPECT_TRUE(client.capabilities().extended);
  outcome = client.SendMail("first@example.com", "sender@example.com", "Subject: 1\r\n\r\nx");
  EXPECT_EQ(outcome.number(), 0);
  outcome = client.SendMail("second@example.com", "sender@example.com", "Subject: 2\r\n\r\ny");
  EXPECT_EQ(outcome.number(), 0);
  EXPECT_EQ(client.Disconnect(), 0);

  // The server offers SIZE, so MAIL says how large each message is.
  EXPECT_EQ(server.Commands(), (std::vector<std::string>{
                                   "EHLO " + client.helloName(),
                                   "MAIL FROM:<sender@example.com> SIZE=17",
                                   "RCPT TO:<first@example.com>", "DATA", ".",
                                   "MAIL FROM:<sender@example.com> SIZE=17",
                                   "RCPT TO:<second@example.com>", "DATA", ".", "QUIT"}));
  EXPECT_EQ(server.MessageCount(), 2);
  EXPECT_EQ(outcome.step(), SmtpStep::None);
}

TEST(SmtpClientTransactionTest, AServerThatRefusesEhloGetsTheOldDialogueExactly) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server({.replies = {{"EHLO", "502 5.5.2 Error: command not recognized"}}});
  SmtpClient client(testing::UniformTimeouts());
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);
  EXPECT_FALSE(client.capabilities().extended);
  outcome = client.SendMail("first@example.com", "sender@example.com", "Subject: 1\r\n\r\nx");
  EXPECT_EQ(outcome.number(), 0);
  outcome = client.SendMail("second@example.com", "sender@example.com", "Subject: 2\r\n\r\ny");
  EXPECT_EQ(outcome.number(), 0);
  client.Disconnect();

  const std::string helo = "HELO " + client.helloName();
  EXPECT_EQ(server.Commands(), (std::vector<std::string>{
                                   "EHLO " + client.helloName(),
                                   helo, "RSET", "MAIL FROM:<sender@example.com>",
                                   "RCPT TO:<first@example.com>", "DATA", ".",
                                   helo, "RSET", "MAIL FROM:<sender@example.com>",
                                   "RCPT TO:<second@example.com>", "DATA", ".", "QUIT"}));
  EXPECT_EQ(server.MessageCount(), 2);
}

TEST(SmtpClientTransactionTest, TextsArriveExactlyAsComposed) {
  SmtpOutcome outcome;
  struct Case {
    std::string composed;
    std::string arrives;
  };
  std::string longText;
  while (longText.size() < 901) longText += "Line of a long message, going on.\r\n";
  longText.resize(899);
  longText += "\r\n";  // 901 bytes: two pieces, 900 and 1
  ASSERT_EQ(longText.size(), 901u);

  const std::vector<Case> cases = {
      {"Subject: dots\r\n\r\n.\r\n..two\r\n.lead\r\nin.side\r\n",
       "Subject: dots\r\n\r\n.\r\n..two\r\n.lead\r\nin.side\r\n"},
      {longText, longText},
      {"Subject: lf\n\nfirst\nsecond\n", "Subject: lf\r\n\r\nfirst\r\nsecond\r\n"},
      {"Subject: open end\r\n\r\nno line end", "Subject: open end\r\n\r\nno line end\r\n"},
      {"Subject: cr\r\n\r\na\rb", "Subject: cr\r\n\r\na\r\nb\r\n"},
      {"Subject: 8bit\r\n\r\nGr\xfc\xdf" "e \xe9t\xe9 \xc3\xa9\r\n",
       "Subject: 8bit\r\n\r\nGr\xfc\xdf" "e \xe9t\xe9 \xc3\xa9\r\n"},
      {".", ".\r\n"},
  };

  ScriptedSmtpServer server;
  SmtpClient client(testing::UniformTimeouts());
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);
  for (const Case& c : cases) {
    outcome = client.SendMail("to@example.com", "from@example.com", c.composed);
    EXPECT_EQ(outcome.number(), 0);
  }
  client.Disconnect();

  ASSERT_EQ(server.MessageCount(), static_cast<int>(cases.size()));
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(server.Message(static_cast<int>(i) + 1), cases[i].arrives) << "message " << i + 1;
  }
}

TEST(SmtpClientTransactionTest, ReadsMultiLineGreetingAndRepliesWhole) {
  SmtpOutcome outcome;
  ServerScript script;
  script.greeting = {"220-scripted.test first line", "220-second line", "220 ready"};
  script.multilineReplies = true;
  ScriptedSmtpServer server(script);
  SmtpClient client(testing::UniformTimeouts());
  SmtpReply greeting;
  client.SetProgressListener([&](SmtpStep step) {
    if (step == SmtpStep::Greeting) greeting = {client.lastReply().code, client.lastReply().text};
  });

  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);
  EXPECT_EQ(greeting.code, 220);
  EXPECT_EQ(greeting.text, "scripted.test first line\nsecond line\nready");
  EXPECT_TRUE(client.capabilities().size);  // the EHLO reply's lines all read
  // Were a reply read only in part, the next command would see its rest.
  for (int i = 0; i < 3; ++i) {
    outcome = client.SendMail("to@example.com", "from@example.com", "Subject: m\r\n\r\nx\r\n");
    EXPECT_EQ(outcome.number(), 0);
  }
  EXPECT_EQ(client.lastReply().code, 250);
  EXPECT_EQ(client.lastReply().text, "OK\nsecond line\nlast line");
  client.Disconnect();
  EXPECT_EQ(server.MessageCount(), 3);
}

TEST(SmtpClientTransactionTest, ConnectsToBracketedIpv6Address) {
  SmtpOutcome outcome;
  ServerScript script;
  script.host = "::1";
  ScriptedSmtpServer server(script);
  SmtpClient client(testing::UniformTimeouts());
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);
  outcome = client.SendMail("to@example.com", "from@example.com", "Subject: v6\r\n\r\nx\r\n");
  EXPECT_EQ(outcome.number(), 0);
  client.Disconnect();
  EXPECT_EQ(server.Message(1), "Subject: v6\r\n\r\nx\r\n");
}

TEST(SmtpClientTransactionTest, SmtpSinkTakesEveryMessageWithItsEnvelope) {
  SmtpOutcome outcome;
  SmtpSinkServer sink;
  SmtpClient client(testing::UniformTimeouts());
  outcome = client.Connect(sink.address());
  ASSERT_EQ(outcome.number(), 0);
  for (int i = 0; i < 20; ++i) {
    const std::string n = std::to_string(i);
    outcome = client.SendMail("to" + n + "@example.com", "from@example.com",
                              "Subject: " + n + "\r\n\r\nBody " + n + "\r\n");
    ASSERT_EQ(outcome.number(), 0);
  }
  client.Disconnect();

  const std::string dump = sink.Dump();
  EXPECT_NE(dump.find("X-Helo-Args: " + client.helloName() + "\n"), std::string::npos);
  EXPECT_NE(dump.find("X-Mail-Args: <from@example.com>\n"), std::string::npos) << dump.substr(0, 400);
  EXPECT_NE(dump.find("X-Rcpt-Args: <to19@example.com>\n"), std::string::npos);
  EXPECT_NE(dump.find("Subject: 19\n\nBody 19\n"), std::string::npos);
}

}  // namespace
}  // namespace postrider

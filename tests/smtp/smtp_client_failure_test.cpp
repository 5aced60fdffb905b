#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/blocking_call.h"
#include "platform/socket_errors.h"
#include "smtp/smtp_error_numbers.h"
#include "smtp/smtp_client.h"
#include "support/free_port.h"
#include "support/scripted_smtp_server.h"
#include "support/smtp_sink_server.h"
#include "support/smtp_test_timeouts.h"

namespace postrider {
namespace {

using namespace std::chrono_literals;
using testing::ScriptedSmtpServer;
using testing::ServerScript;
using testing::SmtpSinkServer;
using testing::UniformTimeouts;

constexpr const char* kMessage = "Subject: test\r\n\r\nHello.\r\n";

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class SmtpClientFailureTest : public ::testing::Test {
 protected:
  void TearDown() override { SetBlockingHook(nullptr); }
};

TEST_F(SmtpClientFailureTest, RefusedRecipientGivesReplyCodeAndConnectionCarriesOn) {
  SmtpOutcome outcome;
  ServerScript script;
  script.replies = {{"RCPT:nobody@", "550 5.1.1 No such user here"}};
  ScriptedSmtpServer server(script);
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);

  outcome = client.SendMail("nobody@example.com", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), 550);
  EXPECT_EQ(outcome.step(), SmtpStep::Rcpt);
  EXPECT_EQ(client.lastReply().code, 550);
  EXPECT_EQ(client.lastReply().text, "5.1.1 No such user here");
  EXPECT_EQ(outcome.text(), "550 5.1.1 No such user here");

  outcome = client.SendMail("somebody@example.com", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), 0);
  client.Disconnect();

  const std::vector<std::string> commands = server.Commands();
  const auto refused = std::find(commands.begin(), commands.end(), "RCPT TO:<nobody@example.com>");
  ASSERT_NE(refused, commands.end());
  ASSERT_NE(refused + 1, commands.end());
  EXPECT_EQ(*(refused + 1), "RSET");
  EXPECT_EQ(server.MessageCount(), 1);
}

TEST_F(SmtpClientFailureTest, RefusalAtMailIsReportedForEveryMessage) {
  SmtpOutcome outcome;
  SmtpSinkServer sink({"-f", "MAIL", "-B", "550 5.7.1 Sender refused"});
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(sink.address());
  ASSERT_EQ(outcome.number(), 0);
  for (int i = 0; i < 2; ++i) {
    outcome = client.SendMail("to@example.com", "from@example.com", kMessage);
    EXPECT_EQ(outcome.number(), 550);
    EXPECT_EQ(outcome.step(), SmtpStep::Mail);
    EXPECT_EQ(client.lastReply().text, "5.7.1 Sender refused");
    EXPECT_TRUE(client.isConnected());
  }
}

TEST_F(SmtpClientFailureTest, RefusalAtEndOfDataIsNotCountedAsSent) {
  SmtpOutcome outcome;
  SmtpSinkServer sink({"-f", ".", "-B", "554 5.6.0 Content refused"});
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(sink.address());
  ASSERT_EQ(outcome.number(), 0);
  outcome = client.SendMail("to@example.com", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), 554);
  EXPECT_EQ(outcome.step(), SmtpStep::EndOfData);
  EXPECT_EQ(client.lastReply().text, "5.6.0 Content refused");
  EXPECT_TRUE(client.isConnected());
}

TEST_F(SmtpClientFailureTest, ReplyOf421EndsTheConnection) {
  SmtpOutcome outcome;
  SmtpSinkServer sink({"-Q", "RCPT"});
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(sink.address());
  ASSERT_EQ(outcome.number(), 0);
  outcome = client.SendMail("to@example.com", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), 421);
  EXPECT_EQ(outcome.step(), SmtpStep::Rcpt);
  EXPECT_FALSE(client.isConnected());

  outcome = client.SendMail("to@example.com", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), kWsaEnotconn);
  EXPECT_EQ(client.Disconnect(), 0);
}

TEST_F(SmtpClientFailureTest, ConnectionDroppedInTheDataStageIsATransportError) {
  SmtpOutcome outcome;
  SmtpSinkServer sink({"-q", "."});
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(sink.address());
  ASSERT_EQ(outcome.number(), 0);
  outcome = client.SendMail("to@example.com", "from@example.com", kMessage);
  const int result = outcome.number();
  EXPECT_GE(result, kWsaBaseError);
  EXPECT_EQ(outcome.step(), SmtpStep::EndOfData);
  EXPECT_EQ(client.lastReply().code, 0);
  EXPECT_FALSE(client.isConnected());
}

TEST_F(SmtpClientFailureTest, NameThatDoesNotResolveSaysSoWithTheName) {
  SmtpOutcome outcome;
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect("no-such-host.invalid");
  const int result = outcome.number();
  EXPECT_GE(result, kWsaHostNotFound);
  EXPECT_LE(result, kWsaNoData);
  EXPECT_EQ(outcome.text(),
            "Unable to contact local host no-such-host.invalid\n" + DescribeSocketError(result));
  EXPECT_EQ(client.Disconnect(), 0);
}

TEST_F(SmtpClientFailureTest, RefusedConnectionNamesTheAddressAndTheReason) {
  SmtpOutcome outcome;
  SmtpClient client(UniformTimeouts());
  const int port = testing::FreeLoopbackPort();
  outcome = client.Connect("127.0.0.1:" + std::to_string(port));
  EXPECT_EQ(outcome.number(), kWsaEconnrefused);
  EXPECT_EQ(outcome.step(), SmtpStep::Connect);
  EXPECT_EQ(outcome.text(), "Socket connect failed\n127.0.0.1 port " + std::to_string(port) +
                                      ": Connection refused");
}

TEST_F(SmtpClientFailureTest, ServerThatNeverAnswersTimesOut) {
  SmtpOutcome outcome;
  // Listens (the kernel completes the connection) but never writes.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);

  // Only the greeting is short: a slow connect on a loaded machine is no timeout.
  SmtpTimeouts impatient = UniformTimeouts();
  impatient.greeting = 300ms;
  SmtpClient client(impatient);
  const std::string server = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  outcome = client.Connect(server);
  EXPECT_EQ(outcome.number(), kWsaEtimedout);
  EXPECT_EQ(outcome.step(), SmtpStep::Greeting);
  // Says what it waited for and how long, and what the silence may mean.
  EXPECT_EQ(outcome.text().rfind("The SMTP server " + server +
                                           " sent no greeting within 300 ms.\n",
                                       0),
            0u)
      << outcome.text();
  EXPECT_NE(outcome.text().find("Security=tls"), std::string::npos);
  ::close(listener);
}

TEST_F(SmtpClientFailureTest, ReplyThatDoesNotComeInTimeEndsTheConnection) {
  SmtpOutcome outcome;
  // Without PIPELINING (-p): smtp-sink holds back the replies of a whole
  // group, so the slow RCPT would hold MAIL's reply too.
  SmtpSinkServer sink({"-p", "-W", "RCPT:30"});
  SmtpTimeouts shortRcpt = UniformTimeouts();
  shortRcpt.rcpt = 300ms;
  SmtpClient impatient(shortRcpt);
  outcome = impatient.Connect(sink.address());
  ASSERT_EQ(outcome.number(), 0);
  outcome = impatient.SendMail("to@example.com", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), kWsaEtimedout);
  EXPECT_EQ(outcome.step(), SmtpStep::Rcpt);
  EXPECT_FALSE(impatient.isConnected());
  EXPECT_EQ(outcome.text(), "No reply to RCPT TO within 300 ms.");
}

TEST_F(SmtpClientFailureTest, CancelWhileWaitingForEndOfDataReplyGives10004) {
  SmtpOutcome outcome;
  ServerScript script;
  script.delays = {{".", 60.0}};
  ScriptedSmtpServer server(script);
  SmtpClient client(UniformTimeouts(120s));
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);

  int hookCalls = 0;
  SetBlockingHook([&] {
    ++hookCalls;
    if (client.currentStep() == SmtpStep::EndOfData) CancelBlockingCall();
  });
  outcome = client.SendMail("to@example.com", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), kWsaEintr);
  EXPECT_EQ(outcome.step(), SmtpStep::EndOfData);
  EXPECT_GE(hookCalls, 3);  // it ran in every wait before, too: MAIL, RCPT, DATA
  EXPECT_FALSE(client.isConnected());
}

TEST_F(SmtpClientFailureTest, CancelInAnEarlierStepStopsTheTransaction) {
  SmtpOutcome outcome;
  ServerScript script;
  script.delays = {{"RCPT", 60.0}};
  ScriptedSmtpServer server(script);
  SmtpClient client(UniformTimeouts(120s));
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);

  SetBlockingHook([&] {
    if (client.currentStep() == SmtpStep::Rcpt) CancelBlockingCall();
  });
  outcome = client.SendMail("to@example.com", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), kWsaEintr);
  EXPECT_EQ(outcome.step(), SmtpStep::Rcpt);
  EXPECT_FALSE(Contains(server.Commands(), "DATA"));
}

TEST_F(SmtpClientFailureTest, HostileAddressesAreRefusedBeforeAnythingIsSent) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server;
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);

  outcome = client.SendMail("victim@example.com>\r\nRCPT TO:<extra@example.com", "from@example.com",
                            kMessage);
  EXPECT_EQ(outcome.number(), kSmtpUnsafeAddress);
  EXPECT_EQ(outcome.step(), SmtpStep::Rcpt);
  outcome = client.SendMail("to@example.com", "from@example.com\r\nRSET", kMessage);
  EXPECT_EQ(outcome.number(), kSmtpUnsafeAddress);
  EXPECT_EQ(outcome.step(), SmtpStep::Mail);
  outcome = client.SendMail(std::string(250, 'a') + "@x.org", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), kSmtpUnsafeAddress);
  outcome = client.SendMail("to@example.com", "s p@example.com", kMessage);
  EXPECT_EQ(outcome.number(), kSmtpUnsafeAddress);
  EXPECT_EQ(outcome.step(), SmtpStep::Mail);
  EXPECT_EQ(server.Commands(), std::vector<std::string>{"EHLO " + client.helloName()});

  // The connection is untouched and carries the next message.
  outcome = client.SendMail("to@example.com", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), 0);
  EXPECT_EQ(server.MessageCount(), 1);
  EXPECT_FALSE(Contains(server.Commands(), "RCPT TO:<extra@example.com>"));
}

}  // namespace
}  // namespace postrider

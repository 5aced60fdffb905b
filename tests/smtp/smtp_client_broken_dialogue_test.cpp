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

using namespace std::chrono_literals;
using testing::ScriptedSmtpServer;
using testing::ServerScript;
using testing::UniformTimeouts;

constexpr const char* kMessage = "Subject: test\r\n\r\nHello.\r\n";

// Dialogues that break off in the middle: the client must report what broke
// them, not what the server said before.
class SmtpClientBrokenDialogueTest : public ::testing::Test {
 protected:
  void TearDown() override { SetBlockingHook(nullptr); }
};

TEST_F(SmtpClientBrokenDialogueTest, CancelWhileResettingAfterARefusedRecipientStopsTheRun) {
  SmtpOutcome outcome;
  ServerScript script;
  script.replies = {{"RCPT:nobody@", "550 5.1.1 No such user here"}};
  ScriptedSmtpServer server(script);
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);

  // The hook runs before every wait, so the cancel lands in the RSET wait
  // that follows the refusal, whatever the timing.
  bool refusedRecipientAsked = false;
  SetBlockingHook([&] {
    if (client.currentStep() == SmtpStep::Rcpt) refusedRecipientAsked = true;
    if (refusedRecipientAsked && client.currentStep() == SmtpStep::Rset) CancelBlockingCall();
  });
  // Were the refusal (550 at RCPT) returned, the caller would take it for a
  // bad address and carry on with the next message.
  outcome = client.SendMail("nobody@example.com", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), kWsaEintr);
  EXPECT_EQ(outcome.step(), SmtpStep::Rset);
  EXPECT_EQ(client.lastReply().code, 550);
  EXPECT_EQ(client.lastReply().text, "5.1.1 No such user here");
  EXPECT_FALSE(client.isConnected());
}

TEST_F(SmtpClientBrokenDialogueTest, ConnectionDroppedWhileTheTextIsSentIsATransportError) {
  SmtpOutcome outcome;
  ServerScript script;
  script.replies = {{"DATA", "354 End data with <CR><LF>.<CR><LF>"}};
  script.dropAfterReply = {"DATA"};
  ScriptedSmtpServer server(script);
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);

  // Far more than the socket buffers of both ends hold, so the text is
  // still going out when the closed connection makes itself felt (and less
  // than the server's SIZE, so that it is sent at all).
  std::string message = "Subject: big\r\n\r\n";
  const std::string line(998, 'x');
  while (message.size() < 16u * 1024 * 1024) message += line + "\r\n";

  outcome = client.SendMail("to@example.com", "from@example.com", message);
  const int result = outcome.number();
  EXPECT_GE(result, kWsaBaseError);
  EXPECT_NE(result, kWsaEtimedout);
  EXPECT_EQ(outcome.step(), SmtpStep::Text);
  EXPECT_EQ(outcome.reply().code, 0);
  EXPECT_FALSE(client.isConnected());
}

}  // namespace
}  // namespace postrider

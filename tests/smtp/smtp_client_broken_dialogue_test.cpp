#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
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

// A server on a real socket that answers the end of data once the first
// 64 KiB of the text are in, while the rest is still on its way; it reads
// on to the end of data and says nothing more. Every wait is bounded.
class EarlyAnswerServer {
 public:
  EarlyAnswerServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 1) != 0) {
      return;
    }
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~EarlyAnswerServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  // Bytes from the client, or false once it closed, failed or the test ends.
  bool More(int fd, std::string& got) {
    for (;;) {
      if (stop_) return false;
      pollfd ready{fd, POLLIN, 0};
      if (::poll(&ready, 1, 50) <= 0) continue;
      char buffer[65536];
      const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
      if (count <= 0) return false;
      got.append(buffer, static_cast<std::size_t>(count));
      return true;
    }
  }
  void Say(int fd, const std::string& reply) {
    (void)!::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
  }
  void Serve() {
    int fd = -1;
    while (fd < 0 && !stop_) {
      pollfd ready{listener_, POLLIN, 0};
      if (::poll(&ready, 1, 50) > 0) fd = ::accept(listener_, nullptr, nullptr);
    }
    if (fd < 0) return;
    Say(fd, "220 early.test ESMTP\r\n");
    std::string got;
    for (;;) {
      const std::size_t end = got.find("\r\n");
      if (end == std::string::npos) {
        if (!More(fd, got)) break;
        continue;
      }
      const std::string command = got.substr(0, 4);
      got.erase(0, end + 2);
      if (command != "DATA") {
        Say(fd, command == "QUIT" ? "221 Bye\r\n" : "250 early.test\r\n");
        continue;
      }
      Say(fd, "354 Go ahead\r\n");
      while (got.size() < 64 * 1024 && More(fd, got)) {
      }
      Say(fd, "250 2.0.0 Early\r\n");
      while (got.find("\r\n.\r\n") == std::string::npos) {
        got.erase(0, got.size() > 4 ? got.size() - 4 : 0);
        if (!More(fd, got)) break;
      }
      break;
    }
    while (More(fd, got)) got.clear();  // until the client closes
    ::close(fd);
  }

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(SmtpClientBrokenDialogueTest, AnAnswerThatCameWhileTheTextWentOutIsNotTakenForItsEnd) {
  EarlyAnswerServer server;
  SmtpClient client(UniformTimeouts());
  ASSERT_EQ(client.Connect(server.address()).number(), 0);
  // Far more than the socket buffers of both ends hold: the answer is in
  // before the last of the text has gone.
  std::string message = "Subject: big\r\n\r\n";
  const std::string line(998, 'x');
  while (message.size() < 16u * 1024 * 1024) message += line + "\r\n";

  const SmtpOutcome outcome = client.SendMail("to@example.com", "from@example.com", message);
  EXPECT_EQ(outcome.kind(), SmtpOutcomeKind::Protocol) << outcome.text();
  EXPECT_EQ(outcome.step(), SmtpStep::Text);
  EXPECT_NE(outcome.text().find("250 2.0.0 Early"), std::string::npos) << outcome.text();
  EXPECT_FALSE(client.isConnected());
}

}  // namespace
}  // namespace postrider

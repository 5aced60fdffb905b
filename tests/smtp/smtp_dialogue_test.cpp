#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/base64.h"
#include "platform/socket_errors.h"
#include "smtp/smtp_client.h"
#include "smtp/smtp_oauth.h"
#include "smtp/smtp_error_numbers.h"
#include "support/scripted_transport.h"
#include "support/smtp_test_timeouts.h"

namespace postrider {
namespace {

using namespace std::chrono_literals;
using testing::DialogueTurn;
using testing::ScriptedTransport;

const DialogueTurn kGreeting{"", "220 mail.test ESMTP\r\n"};
const DialogueTurn kEhlo{"EHLO client.example\r\n", "250 mail.test\r\n"};
const DialogueTurn kQuit{"QUIT\r\n", "221 Bye\r\n"};

// What one SendMail must give, and whether the connection is still up after it.
struct Sent {
  std::string recipient;
  std::string text;
  int number;
  SmtpStep step;
  SmtpOutcomeKind kind;
  std::string words;      // found in the outcome's text
  std::string lastReply;  // the last reply's text, when given
  bool connected;
};

// One dialogue: the server's side turn by turn, what Connect gives, then
// each message's outcome. The script must be played to its end.
struct Dialogue {
  const char* name;
  std::vector<DialogueTurn> turns;
  int connectNumber;
  SmtpStep connectStep;
  std::string connectText;
  std::vector<Sent> messages;
};

std::vector<DialogueTurn> Turns(std::vector<DialogueTurn> middle) {
  std::vector<DialogueTurn> turns{kGreeting, kEhlo};
  turns.insert(turns.end(), middle.begin(), middle.end());
  return turns;
}

TEST(SmtpDialogueTest, EachDialogueGivesItsOutcomeWithTheServersWords) {
  const std::string refusedGreeting =
      "The SMTP server mail.test refused the connection:\n554 5.3.2 No service\n"
      "554 5.3.2 for you";

  // An old server (EHLO refused) whose HELO is refused: the RSET after that
  // refusal fails, and its failure is the outcome, the refusal kept beside it.
  const std::vector<DialogueTurn> oldServer = {
      kGreeting, {"EHLO client.example\r\n", "502 5.5.1 Command not implemented\r\n"}};
  auto brokenReset = [&](const char* answer) {
    std::vector<DialogueTurn> turns = oldServer;
    turns.push_back({"HELO client.example\r\n", "550 5.7.1 Go away\r\n"});
    turns.push_back({"RSET\r\n", answer});
    return turns;
  };
  const Sent resetFails{"to@example.com", "x\r\n", kWsaEdiscon, SmtpStep::Rset,
                        SmtpOutcomeKind::Transport, "after the server refused: 550 5.7.1 Go away",
                        "5.7.1 Go away", false};
  Sent resetTimesOut = resetFails;
  resetTimesOut.number = kWsaEtimedout;
  // A reply no step can take ends the connection at once: nothing more is said.
  const Sent confused{"to@example.com", "x\r\n", kSmtpProtocolError, SmtpStep::Mail,
                      SmtpOutcomeKind::Protocol, "", "", false};
  const Sent notConnected{"to@example.com", "x\r\n", kWsaEnotconn, SmtpStep::Connect,
                          SmtpOutcomeKind::Transport, "", "", false};
  const DialogueTurn mailTaken{"MAIL FROM:<from@example.com>\r\n", "250 Ok\r\n"};
  const DialogueTurn rcptTaken{"RCPT TO:<to@example.com>\r\n", "250 Ok\r\n"};
  Sent confusedAtRcpt = confused;
  confusedAtRcpt.step = SmtpStep::Rcpt;
  Sent confusedAtData = confused;
  confusedAtData.step = SmtpStep::Data;
  // A text that goes out whole before its end of data (one write of 64 KiB).
  std::string oneBlock;
  while (oneBlock.size() < 64 * 1024) oneBlock += std::string(62, 'y') + "\r\n";
  const std::vector<Dialogue> dialogues = {
      {"a refused greeting fails Connect, and QUIT is the only command",
       {{"", "554-5.3.2 No service\r\n554 5.3.2 for you\r\n"}, kQuit},
       554,
       SmtpStep::Greeting,
       refusedGreeting,
       {{"to@example.com", "x\r\n", kWsaEnotconn, SmtpStep::Connect, SmtpOutcomeKind::Transport, "",
         "", false}}},
      {"a POP3 server's greeting is no SMTP welcome",
       {{"", "+OK POP3 ready\r\n"}},
       kSmtpProtocolError,
       SmtpStep::Greeting,
       "The SMTP server mail.test sent an unexpected greeting:\n+OK POP3 ready",
       {}},
      {"a positive greeting other than 220 is no SMTP welcome either",
       {{"", "250 mail.example.com ready\r\n"}},
       kSmtpProtocolError,
       SmtpStep::Greeting,
       "The SMTP server mail.test sent an unexpected greeting:\n250 mail.example.com ready",
       {}},
      {"a refusal at DATA resets at once, and the next message goes through",
       Turns({{"MAIL FROM:<from@example.com>\r\n", "250 Ok\r\n"},
              {"RCPT TO:<first@example.com>\r\n", "250 Ok\r\n"},
              {"DATA\r\n", "451 4.3.0 Try again later\r\n"},
              {"RSET\r\n", "250 Ok\r\n"},
              {"MAIL FROM:<from@example.com>\r\n", "250 Ok\r\n"},
              {"RCPT TO:<second@example.com>\r\n", "250 Ok\r\n"},
              {"DATA\r\n", "354 Go ahead\r\n"},
              {"Subject: 2\r\n\r\ny\r\n.\r\n", "250 Queued\r\n"},
              kQuit}),
       0,
       SmtpStep::None,
       "",
       {{"first@example.com", "Subject: 1\r\n\r\nx\r\n", 451, SmtpStep::Data,
         SmtpOutcomeKind::RefusedTemporarily, "", "4.3.0 Try again later", true},
        {"second@example.com", "Subject: 2\r\n\r\ny\r\n", 0, SmtpStep::None,
         SmtpOutcomeKind::Accepted, "", "", true}}},
      {"a reply that does not come in time ends the connection",
       Turns({{"MAIL FROM:<from@example.com>\r\n", "250 Ok\r\n"},
              {"RCPT TO:<to@example.com>\r\n", "#10060"}}),
       0,
       SmtpStep::None,
       "",
       {{"to@example.com", "x\r\n", kWsaEtimedout, SmtpStep::Rcpt, SmtpOutcomeKind::Transport,
         "No reply to RCPT TO within 300 ms.", "", false}}},
      {"a reset after a refusal that is dropped gives the transport error",
       brokenReset("#10101"), 0, SmtpStep::None, "", {resetFails}},
      {"a reset after a refusal that times out gives the time-out",
       brokenReset("#10060"), 0, SmtpStep::None, "", {resetTimesOut}},
      {"MAIL answered with a code no MAIL can get",
       Turns({{"MAIL FROM:<from@example.com>\r\n", "354 Go ahead\r\n"}}), 0, SmtpStep::None, "",
       {confused, notConnected}},
      {"RCPT answered without a reply code",
       Turns({mailTaken, {"RCPT TO:<to@example.com>\r\n", "Hello there\r\n"}}), 0,
       SmtpStep::None, "", {confusedAtRcpt, notConnected}},
      {"DATA answered as if the text were commands",
       Turns({mailTaken, rcptTaken, {"DATA\r\n", "250 2.0.0 Ok\r\n"}}), 0, SmtpStep::None, "",
       {confusedAtData, notConnected}},
      // Read after the end of data, the stray reply would pass for the
      // message's answer, whatever the server says to it.
      {"a reply behind DATA's 354 stops the message before its text",
       Turns({mailTaken, rcptTaken, {"DATA\r\n", "354 Go ahead\r\n250 2.0.0 Stray\r\n"}}), 0,
       SmtpStep::None, "",
       {{"to@example.com", "x\r\n", kSmtpProtocolError, SmtpStep::Data, SmtpOutcomeKind::Protocol,
         "before the message text:\n250 2.0.0 Stray\n", "", false},
        notConnected}},
      // Read after the end of data, it would pass for the answer to an end
      // the server never saw.
      {"a reply while the text goes out stops the message before its end",
       Turns({mailTaken, rcptTaken, {"DATA\r\n", "354 Go ahead\r\n"},
              {oneBlock, "250 2.0.0 Early\r\n"}}),
       0, SmtpStep::None, "",
       {{"to@example.com", oneBlock, kSmtpProtocolError, SmtpStep::Text,
         SmtpOutcomeKind::Protocol, "before the end of the message text:\n250 2.0.0 Early\n", "",
         false},
        notConnected}},
      {"a greeting cut off by the close keeps what came of it",
       {{"", "220 mail.test no line end"}, {"", "#10101"}},
       kWsaEdiscon,
       SmtpStep::Greeting,
       "The SMTP server mail.test closed the connection before its greeting.\n"
       "It had sent, without a line end: 220 mail.test no line end",
       {}},
      {"an answer to the end of data cut off by the close keeps what came of it",
       Turns({mailTaken, rcptTaken, {"DATA\r\n", "354 Go ahead\r\n"},
              {"x\r\n.\r\n", "250 2.0.0 Queued \x1b[31m"}, {"", "#10101"}}),
       0, SmtpStep::None, "",
       {{"to@example.com", "x\r\n", kWsaEdiscon, SmtpStep::EndOfData, SmtpOutcomeKind::Transport,
         "\nIt had sent, without a line end: 250 2.0.0 Queued ?[31m", "", false}}},
      {"a code out of range is shown with its three digits",
       {{"", "000 mail.test\r\n"}},
       kSmtpProtocolError,
       SmtpStep::Greeting,
       "The SMTP server mail.test sent an unexpected greeting:\n000 mail.test",
       {}},
      // CSI as UTF-8 and as one byte; a Latin-1 and a UTF-8 letter stay; CSI
      // in an overlong UTF-8 form is no letter either.
      {"terminal controls in a refusal are shown as '?'",
       Turns({mailTaken,
              {"RCPT TO:<to@example.com>\r\n",
               "550 5.1.1 \xc2\x9b""31m\x9b""2J\x1b[0m \xe9t\xc3\xa9 \xe0\x82\x9b""1m\r\n"},
              {"RSET\r\n", "250 Ok\r\n"}, kQuit}),
       0, SmtpStep::None, "",
       {{"to@example.com", "x\r\n", 550, SmtpStep::Rcpt, SmtpOutcomeKind::RecipientRefused,
         "550 5.1.1 ?31m?2J?[0m \xe9t\xc3\xa9 \xe0??1m", "", true}}},
  };
  for (const Dialogue& d : dialogues) {
    SCOPED_TRACE(d.name);
    SmtpTimeouts timeouts = testing::UniformTimeouts();
    timeouts.rcpt = 300ms;
    timeouts.rset = 300ms;
    SmtpClient client(timeouts, ScriptedTransport::Factory(d.turns));
    SmtpSessionOptions options;
    options.heloName = "client.example";
    const SmtpOutcome connected = client.Connect("mail.test", options);
    EXPECT_EQ(connected.number(), d.connectNumber);
    EXPECT_EQ(connected.step(), d.connectStep);
    EXPECT_EQ(connected.text(), d.connectText);
    for (const Sent& m : d.messages) {
      SCOPED_TRACE(m.recipient);
      const SmtpOutcome sent = client.SendMail(m.recipient, "from@example.com", m.text);
      EXPECT_EQ(sent.number(), m.number);
      EXPECT_EQ(sent.kind(), m.kind) << SmtpOutcomeKindName(sent.kind());
      EXPECT_EQ(sent.step(), m.step);
      EXPECT_NE(sent.text().find(m.words), std::string::npos) << sent.text();
      if (!m.lastReply.empty()) {
        EXPECT_EQ(client.lastReply().text, m.lastReply);
      }
      EXPECT_EQ(client.isConnected(), m.connected);
    }
    EXPECT_EQ(client.Disconnect(), 0);
  }
}

// A resolver and a certificate hold a name beyond ASCII in its ASCII form.
TEST(SmtpDialogueTest, AServerNameBeyondAsciiIsLookedUpInItsAsciiForm) {
  const SmtpTransportFactory scripted = ScriptedTransport::Factory({kGreeting, kEhlo, kQuit});
  std::string lookedUp;
  SmtpClient client(testing::UniformTimeouts(),
                    [&](const std::string& server, const ServerEndpoint& endpoint, auto timeout) {
                      lookedUp = endpoint.host;
                      return scripted(server, endpoint, timeout);
                    });
  SmtpSessionOptions options;
  options.heloName = "client.example";
  const SmtpOutcome connected = client.Connect("b\xC3\xBC" "cher.example:25", options);
  ASSERT_TRUE(connected.ok()) << connected.text();
  EXPECT_EQ(lookedUp, "xn--bcher-kva.example");
  EXPECT_EQ(client.host(), "xn--bcher-kva.example");
  EXPECT_EQ(client.Disconnect(), 0);

  SmtpClient refused(testing::UniformTimeouts(), scripted);
  const SmtpOutcome outcome = refused.Connect("\xE2\x98\xBA.example", options);
  EXPECT_EQ(outcome.step(), SmtpStep::Connect);
  EXPECT_NE(outcome.text().find("cannot be written in ASCII"), std::string::npos) << outcome.text();
}

// The script, taken for a stream TLS protects: a token goes over no other.
class EncryptedScript final : public ISmtpTransport {
 public:
  explicit EncryptedScript(std::unique_ptr<ISmtpTransport> script) : script_(std::move(script)) {}
  int SendAll(std::string_view bytes, SocketDeadline deadline, bool moreFollows) override {
    return script_->SendAll(bytes, deadline, moreFollows);
  }
  int Receive(char* buffer, std::size_t capacity, std::size_t& received,
              SocketDeadline deadline) override {
    return script_->Receive(buffer, capacity, received, deadline);
  }
  void Close() override { script_->Close(); }
  bool isEncrypted() const override { return true; }

 private:
  std::unique_ptr<ISmtpTransport> script_;
};

SmtpTransportFactory EncryptedScriptFactory(std::vector<DialogueTurn> turns) {
  SmtpTransportFactory scripted = ScriptedTransport::Factory(std::move(turns));
  return [scripted](const std::string& server, const ServerEndpoint& endpoint, auto timeout) {
    SmtpConnection connection = scripted(server, endpoint, timeout);
    if (connection.transport) {
      connection.transport = std::make_unique<EncryptedScript>(std::move(connection.transport));
    }
    return connection;
  };
}

// A token whose AUTH line would pass 512 octets goes after the server's empty
// 334 (RFC 4954 4); a token the server quotes back, even in a line cut short,
// shows in no form.
TEST(SmtpDialogueTest, ALongTokenGoesOnALineOfItsOwnAndIsNeverShown) {
  std::string token = "ya29.";
  for (int i = 0; token.size() < 1500; ++i) token += "Tk" + std::to_string(i * 7919 % 1000);
  const std::string user = "ann@example.com";
  const std::string xoauth2 =
      OAuthInitialResponse(SmtpOAuthMechanism::XOAuth2, user, "mail.test", 25, token);
  const std::string bearer =
      OAuthInitialResponse(SmtpOAuthMechanism::OAuthBearer, user, "mail.test", 25, token);
  const std::string document = Base64(R"({"status":"invalid_token","scope":"mail"})");
  auto offering = [](const char* mechanism) {
    return DialogueTurn{"EHLO client.example\r\n",
                        std::string("250-mail.test\r\n250 AUTH ") + mechanism + "\r\n"};
  };
  struct Case {
    const char* name;
    std::vector<DialogueTurn> turns;
    int number;
    std::string words;  // found in the outcome's text
  };
  const Case cases[] = {
      {"taken",
       {kGreeting, offering("XOAUTH2"), {"AUTH XOAUTH2\r\n", "334 \r\n"},
        {xoauth2 + "\r\n", "235 2.7.0 Accepted\r\n"}, kQuit},
       0, ""},
      {"refused with the error document",
       {kGreeting, offering("OAUTHBEARER"), {"AUTH OAUTHBEARER\r\n", "334 \r\n"},
        {bearer + "\r\n", "334 " + document + "\r\n"},
        {"AQ==\r\n", "535 5.7.8 Token " + token + " refused\r\n"}, kQuit},
       535, "535 5.7.8 Token [hidden] refused\nIt said of the token: status invalid_token"},
      {"quoted back in a line too long",
       {kGreeting, offering("XOAUTH2"), {"AUTH XOAUTH2\r\n", "334 \r\n"},
        {xoauth2 + "\r\n", "501 5.5.2 Cannot decode " + xoauth2 + "\r\n"}},
       kSmtpProtocolError, "broke the SMTP protocol:\n501 5.5.2 Cannot decode [hidden]"},
      {"quoted back in a reply cut off by the close",
       {kGreeting, offering("XOAUTH2"), {"AUTH XOAUTH2\r\n", "334 \r\n"},
        {xoauth2 + "\r\n", "535 5.7.8 Not " + token}, {"", "#10101"}},
       kWsaEdiscon, "It had sent, without a line end: 535 5.7.8 Not [hidden]"},
      // Quoted among mechanisms that carry no token: shown as it came, hidden.
      {"quoted among the mechanisms offered",
       {kGreeting, {"EHLO client.example\r\n", "250-mail.test\r\n250 AUTH plain " + token + "\r\n"},
        kQuit},
       kSmtpAuthNotPossible, "The server offers AUTH plain [hidden], but neither OAUTHBEARER"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Secret secret(token);
    SmtpClient client(testing::UniformTimeouts(), EncryptedScriptFactory(c.turns));
    SmtpSessionOptions options;
    options.heloName = "client.example";
    options.userName = user;
    options.signIn = SmtpSignIn::OAuth2;
    options.accessToken = &secret;
    const SmtpOutcome connected = client.Connect("mail.test", options);
    EXPECT_EQ(connected.number(), c.number) << connected.text();
    EXPECT_NE(connected.text().find(c.words), std::string::npos) << connected.text();
    bool showsNone = true;
    for (std::size_t i = 0; i + 4 <= token.size(); i += 4) {
      showsNone = showsNone && connected.text().find(token.substr(i, 4)) == std::string::npos &&
                  connected.text().find(Base64(token.substr(i, 3))) == std::string::npos;
    }
    EXPECT_TRUE(showsNone) << connected.text();
    EXPECT_EQ(client.Disconnect(), 0);
  }
}

}  // namespace
}  // namespace postrider

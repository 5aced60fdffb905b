#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/base64.h"
#include "platform/blocking_call.h"
#include "platform/socket_errors.h"
#include "smtp/smtp_error_numbers.h"
#include "smtp/smtp_client.h"
#include "smtp/tls_certificate.h"
#include "support/scripted_smtp_server.h"
#include "support/smtp_test_timeouts.h"
#include "support/test_certificates.h"

namespace postrider {
namespace {

using namespace std::chrono_literals;
using testing::CertificateFiles;
using testing::ScriptedSmtpServer;
using testing::ServerScript;
using testing::UniformTimeouts;

constexpr const char* kMessage = "Subject: over TLS\r\n\r\nHello.\r\n";

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

ServerScript TlsServer(const CertificateFiles& files, bool implicit) {
  ServerScript script;
  script.tlsCertificate = files.certificate;
  script.tlsKey = files.key;
  script.implicitTls = implicit;
  return script;
}

// A port that takes connections and never says a word.
class SilentListener {
 public:
  SilentListener() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(fd_, 4);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~SilentListener() { ::close(fd_); }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int fd_;
  int port_ = 0;
};

class SmtpTlsTest : public ::testing::Test {
 protected:
  void TearDown() override { SetBlockingHook(nullptr); }

  SmtpSessionOptions Options(SmtpSecurity security) const {
    SmtpSessionOptions options;
    options.security = security;
    options.trustFile = certificates.caFile();
    return options;
  }

  testing::TestCertificates certificates;
};

TEST_F(SmtpTlsTest, StartTlsWithAVerifiedCertificateCarriesTheMessageAndForgetsWhatCameBefore) {
  SmtpOutcome outcome;
  const CertificateFiles good = certificates.Good();
  ScriptedSmtpServer server(TlsServer(good, false));
  SmtpClient client(UniformTimeouts());
  std::vector<bool> offeredStartTls;
  client.SetProgressListener([&](SmtpStep step) {
    if (step == SmtpStep::Ehlo) offeredStartTls.push_back(client.capabilities().startTls);
  });

  outcome = client.Connect(server.address(), Options(SmtpSecurity::StartTls));
  ASSERT_EQ(outcome.number(), 0) << outcome.text();
  ASSERT_NE(client.tlsPeer(), nullptr);
  EXPECT_EQ(client.tlsPeer()->fingerprint, good.fingerprint);
  EXPECT_FALSE(client.tlsPeer()->pinned);
  // EHLO again over TLS, and its answer replaces the first one.
  EXPECT_EQ(offeredStartTls, (std::vector<bool>{true, false}));
  EXPECT_FALSE(client.capabilities().startTls);
  outcome = client.SendMail("to@example.com", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), 0);
  client.Disconnect();

  const std::vector<std::string> commands = server.Commands();
  ASSERT_GE(commands.size(), 4u);
  EXPECT_EQ(commands[0], "EHLO " + client.helloName());
  EXPECT_EQ(commands[1], "STARTTLS");
  EXPECT_EQ(commands[2], "EHLO " + client.helloName());
  EXPECT_EQ(commands[3].rfind("MAIL FROM:<from@example.com>", 0), 0u);
  EXPECT_EQ(server.Message(1), kMessage);
}

TEST_F(SmtpTlsTest, ImplicitTlsChecksTheHostNameAndCarriesEveryMessage) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server(TlsServer(certificates.Good(), true));
  SmtpClient client(UniformTimeouts());
  // By name, so that SNI and the name check are at work.
  outcome = client.Connect("localhost:" + std::to_string(server.port()),
                           Options(SmtpSecurity::Tls));
  ASSERT_EQ(outcome.number(), 0)
      << outcome.text();
  for (int i = 0; i < 3; ++i) {
    outcome = client.SendMail("to@example.com", "from@example.com", kMessage);
    EXPECT_EQ(outcome.number(), 0);
  }
  // A text far larger than one TLS record goes whole.
  std::string large = "Subject: large\r\n\r\n";
  while (large.size() < 200000) large += std::string(70, 'y') + "\r\n";
  outcome = client.SendMail("to@example.com", "from@example.com", large);
  EXPECT_EQ(outcome.number(), 0);
  client.Disconnect();
  ASSERT_EQ(server.MessageCount(), 4);
  EXPECT_EQ(server.Message(4), large);
  EXPECT_TRUE(Contains(server.Commands(), "QUIT"));
}

TEST_F(SmtpTlsTest, CertificatesThatCannotBeTrustedNameTheReasonAndTheFingerprint) {
  SmtpOutcome outcome;
  struct Case {
    const char* name;
    CertificateFiles files;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"expired", certificates.Expired(), "it has expired"},
      {"self-signed", certificates.SelfSigned(), "it is self-signed"},
      {"wrong name", certificates.WrongName(),
       "it is issued for another name (mail.example.org), not 127.0.0.1"},
      {"unknown issuer", certificates.UnknownIssuer(),
       "its issuer is unknown (CN=Somebody Else's CA)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedSmtpServer server(TlsServer(c.files, true));
    SmtpClient client(UniformTimeouts());
    outcome = client.Connect(server.address(), Options(SmtpSecurity::Tls));
    EXPECT_EQ(outcome.number(), kSmtpCertificateRejected);
    EXPECT_EQ(outcome.step(), SmtpStep::TlsHandshake);
    EXPECT_FALSE(client.isConnected());
    const std::string& text = outcome.text();
    EXPECT_EQ(text.rfind("The server's certificate is not trusted: " + c.reason, 0), 0u) << text;
    EXPECT_NE(text.find("SHA-256 fingerprint: " + FormatFingerprint(c.files.fingerprint)),
              std::string::npos)
        << text;
    client.Disconnect();
    EXPECT_TRUE(server.Commands().empty());  // not even EHLO went to it
  }
}

TEST_F(SmtpTlsTest, AfterARefusedCertificateNothingMoreIsSaidOverStartTls) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server(TlsServer(certificates.SelfSigned(), false));
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(server.address(), Options(SmtpSecurity::StartTls));
  EXPECT_EQ(outcome.number(), kSmtpCertificateRejected);
  client.Disconnect();
  EXPECT_EQ(server.Commands(),
            (std::vector<std::string>{"EHLO " + client.helloName(), "STARTTLS"}));
}

TEST_F(SmtpTlsTest, WithoutATrustFileTheSystemsStoreDecidesAndKnowsNoTestCa) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server(TlsServer(certificates.Good(), true));
  SmtpClient client(UniformTimeouts());
  SmtpSessionOptions options;
  options.security = SmtpSecurity::Tls;
  outcome = client.Connect(server.address(), options);
  EXPECT_EQ(outcome.number(), kSmtpCertificateRejected);
  EXPECT_NE(outcome.text().find("its issuer is unknown"), std::string::npos)
      << outcome.text();
}

TEST_F(SmtpTlsTest, APinnedFingerprintAcceptsThatCertificateAndNoOther) {
  SmtpOutcome outcome;
  const CertificateFiles selfSigned = certificates.SelfSigned();
  ScriptedSmtpServer server(TlsServer(selfSigned, true));
  SmtpSessionOptions options;
  options.security = SmtpSecurity::Tls;
  options.fingerprint = selfSigned.fingerprint;
  {
    SmtpClient client(UniformTimeouts());
    outcome = client.Connect(server.address(), options);
    ASSERT_EQ(outcome.number(), 0) << outcome.text();
    EXPECT_TRUE(client.tlsPeer()->pinned);
    outcome = client.SendMail("to@example.com", "from@example.com", kMessage);
    EXPECT_EQ(outcome.number(), 0);
  }
  // A certificate the CA vouches for, but not the pinned one.
  ScriptedSmtpServer other(TlsServer(certificates.Good(), true));
  options.trustFile = certificates.caFile();
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(other.address(), options);
  EXPECT_EQ(outcome.number(), kSmtpCertificateRejected);
  EXPECT_EQ(outcome.text().rfind(
                "The server's certificate is not the one TLSFingerprint names.", 0),
            0u);
}

TEST_F(SmtpTlsTest, StartTlsAskedForAndNotOfferedSendsNothingAtAll) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server;  // no certificate: no STARTTLS
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(server.address(), Options(SmtpSecurity::StartTls));
  EXPECT_EQ(outcome.number(), kSmtpTlsNotOffered);
  EXPECT_EQ(outcome.step(), SmtpStep::StartTls);
  EXPECT_FALSE(client.isConnected());
  outcome = client.SendMail("to@example.com", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), kWsaEnotconn);
  client.Disconnect();
  EXPECT_EQ(server.Commands(), (std::vector<std::string>{"EHLO " + client.helloName(), "QUIT"}));
}

TEST_F(SmtpTlsTest, BytesSentAheadOfTheHandshakeCloseTheConnection) {
  SmtpOutcome outcome;
  ServerScript script = TlsServer(certificates.Good(), false);
  // As a man in the middle would: a reply slipped in after the 220.
  script.replies = {{"STARTTLS", "220 2.0.0 Ready to start TLS|250 2.0.0 Injected"}};
  ScriptedSmtpServer server(script);
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(server.address(), Options(SmtpSecurity::StartTls));
  EXPECT_EQ(outcome.number(), kSmtpProtocolError);
  EXPECT_EQ(outcome.step(), SmtpStep::StartTls);
  EXPECT_NE(outcome.text().find("sent more after its reply to STARTTLS"), std::string::npos);
  EXPECT_FALSE(client.isConnected());
}

TEST_F(SmtpTlsTest, AReplyBehindDatasAnswerInARecordOfItsOwnStopsTheMessage) {
  // Written apart, the stray reply comes in a TLS record of its own, which
  // the TLS layer keeps back while the 354 is read: read after the text, it
  // would pass for the message's answer.
  ServerScript script = TlsServer(certificates.Good(), true);
  script.replies = {{"DATA", "354 Go ahead||250 2.0.0 Stray"}};
  ScriptedSmtpServer server(script);
  SmtpClient client(UniformTimeouts());
  SmtpOutcome outcome = client.Connect(server.address(), Options(SmtpSecurity::Tls));
  ASSERT_EQ(outcome.number(), 0) << outcome.text();
  outcome = client.SendMail("to@example.com", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), kSmtpProtocolError) << outcome.text();
  EXPECT_EQ(outcome.step(), SmtpStep::Data);
  EXPECT_NE(outcome.text().find("before the message text:\n250 2.0.0 Stray\n"), std::string::npos)
      << outcome.text();
  EXPECT_FALSE(client.isConnected());
}

TEST_F(SmtpTlsTest, TheHandshakeWaitsLikeAnyOtherWaitForTheHookTimeoutAndCancel) {
  SmtpOutcome outcome;
  SilentListener silent;
  {
    SmtpTimeouts timeouts = UniformTimeouts();
    timeouts.tlsHandshake = 300ms;
    SmtpClient client(timeouts);
    outcome = client.Connect(silent.address(), Options(SmtpSecurity::Tls));
    EXPECT_EQ(outcome.number(), kWsaEtimedout);
    EXPECT_EQ(outcome.step(), SmtpStep::TlsHandshake);
    EXPECT_EQ(outcome.text(), "The TLS handshake did not finish within 300 ms.");
  }
  SmtpClient client(UniformTimeouts(120s));
  int hookCalls = 0;
  SetBlockingHook([&] {
    if (client.currentStep() == SmtpStep::TlsHandshake && ++hookCalls == 3) {
      CancelBlockingCall();
    }
  });
  outcome = client.Connect(silent.address(), Options(SmtpSecurity::Tls));
  EXPECT_EQ(outcome.number(), kWsaEintr);
  EXPECT_EQ(outcome.step(), SmtpStep::TlsHandshake);
  EXPECT_EQ(hookCalls, 3);
}

// What the plain-text server said is shown, but never a log-in it quotes,
// even one its first bytes cut off.
TEST_F(SmtpTlsTest, TlsAskedOfAPlainServerSaysWhatTheServerSpeaks) {
  const std::string password = "Pw-7fq2Lx9Ze";
  const struct Case {
    std::vector<std::string> greeting;
    std::string shown;  // what the hint quotes
  } cases[] = {
      {{}, "(\"220 "},
      {{"220 mail.test ready, you said " + password + " last time"},
       "(\"220 mail.test ready, you said [hidden] last time\")"},
      // Cut off by the end of what is kept of the first bytes.
      {{"220 " + std::string(50, 'x') + " " + password}, "(\"220 " + std::string(50, 'x') + " [hid"},
      {{"220 x AUTH PLAIN " + Base64(std::string("\0ann\0", 5) + password)},
       "(\"220 x AUTH PLAIN [hidden]\")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    ServerScript script;
    script.greeting = c.greeting;
    ScriptedSmtpServer server(script);
    const Secret secret(password);
    SmtpSessionOptions options = Options(SmtpSecurity::Tls);
    options.userName = "ann";
    options.password = &secret;
    SmtpClient client(UniformTimeouts());
    const SmtpOutcome outcome = client.Connect(server.address(), options);
    EXPECT_EQ(outcome.number(), kSmtpTlsFailed);
    EXPECT_EQ(outcome.step(), SmtpStep::TlsHandshake);
    EXPECT_NE(outcome.text().find("The server answered in plain text " + c.shown),
              std::string::npos)
        << outcome.text();
    EXPECT_NE(outcome.text().find("Security=starttls"), std::string::npos);
    for (std::size_t i = 0; i + 3 <= password.size(); ++i) {
      EXPECT_EQ(outcome.text().find(password.substr(i, 3)), std::string::npos) << outcome.text();
    }
  }
}

TEST_F(SmtpTlsTest, APlainGreetingWaitOnATlsPortEndsWithAHintNotSilence) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server(TlsServer(certificates.Good(), true));
  SmtpTimeouts timeouts = UniformTimeouts();
  timeouts.greeting = 300ms;
  SmtpClient client(timeouts);
  outcome = client.Connect(server.address());
  EXPECT_EQ(outcome.number(), kWsaEtimedout);
  EXPECT_NE(outcome.text().find("sent no greeting within 300 ms"), std::string::npos);
  EXPECT_NE(outcome.text().find("try Security=tls"), std::string::npos);
}

TEST(TlsCertificateTest, FingerprintsAreReadWithOrWithoutColonsInAnyCase) {
  const std::string digits(64, 'A');
  EXPECT_EQ(NormalizeFingerprint(digits), digits);
  EXPECT_EQ(NormalizeFingerprint(" " + FormatFingerprint(std::string(64, 'a')) + " "), digits);
  EXPECT_EQ(FormatFingerprint("ABCDEF"), "AB:CD:EF");
  EXPECT_FALSE(NormalizeFingerprint(std::string(40, 'A')));  // SHA-1 is not enough
  EXPECT_FALSE(NormalizeFingerprint(std::string(63, 'A') + "G"));
  EXPECT_FALSE(NormalizeFingerprint(""));
}

}  // namespace
}  // namespace postrider

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/socket_errors.h"
#include "smtp/smtp_auth.h"
#include "smtp/smtp_client.h"
#include "support/scripted_smtp_server.h"
#include "support/smtp_test_timeouts.h"
#include "support/test_certificates.h"

namespace postrider {
namespace {

using testing::ScriptedSmtpServer;
using testing::ServerScript;
using testing::UniformTimeouts;

constexpr const char* kMessage = "Subject: logged in\r\n\r\nHello.\r\n";
constexpr const char* kUser = "sam@example.net";
constexpr const char* kPassword = "c0rrect horse:battery";

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class SmtpAuthTest : public ::testing::Test {
 protected:
  // A STARTTLS server that takes kUser with kPassword.
  ServerScript AuthServer() {
    if (good_.certificate.empty()) good_ = certificates_.Good();
    ServerScript script;
    script.tlsCertificate = good_.certificate;
    script.tlsKey = good_.key;
    script.authUser = kUser;
    script.authPassword = kPassword;
    return script;
  }
  SmtpSessionOptions Options(SmtpSecurity security, const Secret& password) const {
    SmtpSessionOptions options;
    options.security = security;
    options.trustFile = certificates_.caFile();
    options.userName = kUser;
    options.password = &password;
    return options;
  }

  testing::TestCertificates certificates_;
  testing::CertificateFiles good_;
};

TEST_F(SmtpAuthTest, PlainIsChosenWhenOfferedAndLoginOtherwise) {
  struct Case {
    std::vector<std::string> excluded;
    SmtpAuthMechanism expected;
    const char* command;
  };
  for (const Case& c : {Case{{}, SmtpAuthMechanism::Plain, "AUTH PLAIN"},
                        Case{{"PLAIN"}, SmtpAuthMechanism::Login, "AUTH LOGIN"}}) {
    SCOPED_TRACE(c.command);
    ServerScript script = AuthServer();
    script.authExclude = c.excluded;
    script.authRequired = true;
    ScriptedSmtpServer server(script);
    const Secret password(kPassword);
    SmtpClient client(UniformTimeouts());

    ASSERT_EQ(client.Connect(server.address(), Options(SmtpSecurity::StartTls, password)), 0)
        << client.failureText();
    EXPECT_EQ(client.authMechanism(), c.expected);
    EXPECT_EQ(client.SendMail("to@example.com", "from@example.com", kMessage), 0);
    client.Disconnect();

    const std::vector<std::string> commands = server.Commands();
    EXPECT_TRUE(Contains(commands, c.command));
    EXPECT_TRUE(Contains(commands, std::string("AUTHENTICATED ") + kUser));
    EXPECT_EQ(server.MessageCount(), 1);
  }
}

TEST_F(SmtpAuthTest, AWrongPasswordGivesTheServersRefusalAndNeverTheWordsOfThePassword) {
  ScriptedSmtpServer server(AuthServer());
  const Secret wrong("not-the-password");
  SmtpClient client(UniformTimeouts());

  EXPECT_EQ(client.Connect(server.address(), Options(SmtpSecurity::StartTls, wrong)), 535);
  EXPECT_EQ(client.failedStep(), SmtpStep::Auth);
  EXPECT_FALSE(client.isConnected());
  EXPECT_EQ(client.failureText(), std::string("The server refused the log-in of ") + kUser +
                                      " (authentication failed):\n"
                                      "535 5.7.8 Authentication credentials invalid");
  EXPECT_EQ(client.failureText().find("not-the-password"), std::string::npos);
  client.Disconnect();
  EXPECT_TRUE(Contains(server.Commands(), "QUIT"));
}

TEST_F(SmtpAuthTest, ThePasswordNeverCrossesAPlainConnectionUnlessAllowed) {
  ServerScript script = AuthServer();
  script.tlsCertificate.clear();
  script.authWithoutTls = true;
  ScriptedSmtpServer server(script);
  const Secret password(kPassword);
  SmtpSessionOptions options = Options(SmtpSecurity::None, password);
  {
    SmtpClient client(UniformTimeouts());
    EXPECT_EQ(client.Connect(server.address(), options), kSmtpAuthNotPossible);
    EXPECT_EQ(client.failedStep(), SmtpStep::Auth);
    EXPECT_NE(client.failureText().find("not sent over a connection without TLS"),
              std::string::npos);
    client.Disconnect();
    EXPECT_FALSE(Contains(server.Commands(), "AUTH PLAIN"));
  }
  options.allowPlainAuth = true;
  SmtpClient client(UniformTimeouts());
  ASSERT_EQ(client.Connect(server.address(), options), 0) << client.failureText();
  EXPECT_TRUE(Contains(server.Commands(), std::string("AUTHENTICATED ") + kUser));
}

TEST_F(SmtpAuthTest, AServerOfferingNoAuthBeforeTlsPointsToStartTls) {
  ScriptedSmtpServer server(AuthServer());  // offers AUTH only after STARTTLS
  const Secret password(kPassword);
  SmtpSessionOptions options = Options(SmtpSecurity::None, password);
  options.allowPlainAuth = true;
  SmtpClient client(UniformTimeouts());
  EXPECT_EQ(client.Connect(server.address(), options), kSmtpAuthNotPossible);
  EXPECT_NE(client.failureText().find("offers no AUTH"), std::string::npos);
  EXPECT_NE(client.failureText().find("Security=starttls"), std::string::npos);
}

TEST_F(SmtpAuthTest, ServersThatRequireTlsOrAuthRefuseTheMailWithTheirOwnWords) {
  struct Case {
    ServerScript script;
    std::string refusal;
  };
  ServerScript needsTls = AuthServer();
  needsTls.requireStartTls = true;
  ServerScript needsAuth = AuthServer();
  needsAuth.authRequired = true;
  for (const Case& c : {Case{needsTls, "530 Must issue a STARTTLS command first"},
                        Case{needsAuth, "530 5.7.0 Authentication required"}}) {
    SCOPED_TRACE(c.refusal);
    ScriptedSmtpServer server(c.script);
    SmtpClient client(UniformTimeouts());
    SmtpSessionOptions options;
    options.trustFile = certificates_.caFile();
    options.security =
        c.script.requireStartTls ? SmtpSecurity::None : SmtpSecurity::StartTls;
    ASSERT_EQ(client.Connect(server.address(), options), 0) << client.failureText();
    EXPECT_EQ(client.SendMail("to@example.com", "from@example.com", kMessage), 530);
    EXPECT_EQ(client.failedStep(), SmtpStep::Mail);
    EXPECT_EQ(client.failureText(), c.refusal);
  }
}

TEST(SmtpAuthMechanismTest, ThePlainResponseIsBase64OfTheTwoNamesAndThePassword) {
  // RFC 4616's example: authorization identity empty, "tim" and "tanstaaftanstaaf".
  EXPECT_EQ(PlainAuthResponse("tim", "tanstaaftanstaaf"), "AHRpbQB0YW5zdGFhZnRhbnN0YWFm");
  SmtpCapabilities capabilities = ParseEhloReply("example.net\nAUTH CRAM-MD5 LOGIN");
  EXPECT_EQ(ChooseAuthMechanism(capabilities), SmtpAuthMechanism::Login);
  capabilities = ParseEhloReply("example.net\nAUTH=LOGIN PLAIN\nauth xoauth2");
  EXPECT_EQ(ChooseAuthMechanism(capabilities), SmtpAuthMechanism::Plain);
  EXPECT_TRUE(capabilities.OffersAuth("XOAUTH2"));
  EXPECT_FALSE(ChooseAuthMechanism(ParseEhloReply("example.net\nAUTH CRAM-MD5")));
}

}  // namespace
}  // namespace postrider

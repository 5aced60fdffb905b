#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/socket_errors.h"
#include "smtp/smtp_error_numbers.h"
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
  SmtpOutcome outcome;
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

    outcome = client.Connect(server.address(), Options(SmtpSecurity::StartTls, password));
    ASSERT_EQ(outcome.number(), 0) << outcome.text();
    EXPECT_EQ(client.authMechanism(), c.expected);
    outcome = client.SendMail("to@example.com", "from@example.com", kMessage);
    EXPECT_EQ(outcome.number(), 0);
    client.Disconnect();

    const std::vector<std::string> commands = server.Commands();
    EXPECT_TRUE(Contains(commands, c.command));
    EXPECT_TRUE(Contains(commands, std::string("AUTHENTICATED ") + kUser));
    EXPECT_EQ(server.MessageCount(), 1);
  }
}

TEST_F(SmtpAuthTest, AWrongPasswordGivesTheServersRefusalAndNeverTheWordsOfThePassword) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server(AuthServer());
  const Secret wrong("not-the-password");
  SmtpClient client(UniformTimeouts());

  outcome = client.Connect(server.address(), Options(SmtpSecurity::StartTls, wrong));
  EXPECT_EQ(outcome.number(), 535);
  EXPECT_EQ(outcome.step(), SmtpStep::Auth);
  EXPECT_FALSE(client.isConnected());
  EXPECT_EQ(outcome.text(), std::string("The server refused the log-in of ") + kUser +
                                      " (authentication failed):\n"
                                      "535 5.7.8 Authentication credentials invalid");
  EXPECT_EQ(outcome.text().find("not-the-password"), std::string::npos);
  client.Disconnect();
  EXPECT_TRUE(Contains(server.Commands(), "QUIT"));
}

// A server may quote the log-in back at any step. It is hidden in the
// server's words as they are read; the program's own words around them stay
// as they are, and what the server offers is read as it came.
TEST_F(SmtpAuthTest, ALogInTheServerQuotesIsHiddenInItsWordsAlone) {
  struct Case {
    const char* password;
    std::vector<std::pair<std::string, std::string>> replies;
    std::vector<std::string> excluded;
    bool sendMail;  // the quote comes after the log-in, in reply to MAIL
    std::string shown;
    std::optional<SmtpOutcomeKind> kind = {};
    std::vector<std::pair<std::string, std::string>> firstReplies = {};
  };
  const Case cases[] = {
      {"refused", {{"AUTH", "535 5.7.8 Password refused"}}, {}, false,
       std::string("The server refused the log-in of ") + kUser +
           " (authentication failed):\n535 5.7.8 Password [hidden]"},
      {kPassword, {{"MAIL", std::string("550 5.7.1 Not for ") + kPassword}}, {}, true,
       "550 5.7.1 Not for [hidden]"},
      // The PLAIN response quoted whole: the groups the password shares with
      // the names, or its padding, are hidden with it.
      {kPassword, {{"AUTH", "535 5.7.8 Bad {argument}."}}, {}, false,
       std::string("The server refused the log-in of ") + kUser +
           " (authentication failed):\n535 5.7.8 Bad PLAIN [hidden]."},
      // Quoted in a line too long, cut off for showing inside the password's
      // base64: the start the cut left is hidden too.
      {kPassword,
       {{"AUTH", "535 5.7.8 " + std::string(153, 'x') + " {argument} " + std::string(2000, 'y')}},
       {}, false,
       "The server's reply to AUTH broke the SMTP protocol:\n535 5.7.8 " + std::string(153, 'x') +
           " PLAIN [hidden]"},
      // Quoted in what the server offers (as at a later connection it may),
      // which is shown when STARTTLS is not among it.
      {kPassword,
       {{"EHLO", std::string("250-mail.test|250-X-NOTE ") + kPassword + "|250 8BITMIME"}},
       {}, false,
       "The server does not offer STARTTLS, which Security=starttls asks for, so nothing was "
       "sent.\nIt offers: X-NOTE [hidden], 8BITMIME."},
      // The only mechanism offered is spelt as the password is.
      {"LOGIN", {}, {"PLAIN"}, true, ""},
      // Spelt as the enhanced code is: the code is still read as it came, and
      // "450 5.7.1" is permanent.
      {"5.7.1", {{"MAIL", "450 5.7.1 Not from you"}}, {}, true, "450 [hidden] Not from you",
       SmtpOutcomeKind::RefusedPermanently},
      // Quoted among the mechanisms after STARTTLS: shown as it came, so hidden
      // whatever the letter case the mechanisms are matched in.
      {"Hunter2-pw", {}, {}, false,
       "The server offers AUTH cram-md5 [hidden], but neither PLAIN nor LOGIN, the ones this "
       "program speaks.",
       {}, {{"EHLO#2", "250-mail.test|250 AUTH cram-md5 Hunter2-pw"}}},
      // With a control byte in it, hidden before that byte is made printable.
      {"Pass\x1bword9", {{"EHLO", "250-mail.test|250-X-NOTE Pass\x1bword9|250 8BITMIME"}}, {},
       false,
       "The server does not offer STARTTLS, which Security=starttls asks for, so nothing was "
       "sent.\nIt offers: X-NOTE [hidden], 8BITMIME."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.password);
    ServerScript script = AuthServer();
    script.authPassword = c.password;
    script.replies = c.replies;
    script.firstReplies = c.firstReplies;
    script.authExclude = c.excluded;
    ScriptedSmtpServer server(script);
    const Secret password(c.password);
    SmtpClient client(UniformTimeouts());

    SmtpOutcome outcome = client.Connect(server.address(), Options(SmtpSecurity::StartTls, password));
    if (c.sendMail) {
      ASSERT_TRUE(outcome.ok()) << outcome.text();
      outcome = client.SendMail("to@example.com", "from@example.com", kMessage);
    }
    EXPECT_EQ(outcome.text(), c.shown);
    if (c.kind) {
      EXPECT_EQ(outcome.kind(), *c.kind);
    }
    client.Disconnect();
  }
}

TEST_F(SmtpAuthTest, ThePasswordNeverCrossesAPlainConnectionUnlessAllowed) {
  SmtpOutcome outcome;
  ServerScript script = AuthServer();
  script.tlsCertificate.clear();
  script.authWithoutTls = true;
  ScriptedSmtpServer server(script);
  const Secret password(kPassword);
  SmtpSessionOptions options = Options(SmtpSecurity::None, password);
  {
    SmtpClient client(UniformTimeouts());
    outcome = client.Connect(server.address(), options);
    EXPECT_EQ(outcome.number(), kSmtpAuthNotPossible);
    EXPECT_EQ(outcome.step(), SmtpStep::Auth);
    EXPECT_NE(outcome.text().find("not sent over a connection without TLS"), std::string::npos);
    client.Disconnect();
    EXPECT_FALSE(Contains(server.Commands(), "AUTH PLAIN"));
  }
  options.allowPlainAuth = true;
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(server.address(), options);
  ASSERT_EQ(outcome.number(), 0) << outcome.text();
  EXPECT_TRUE(Contains(server.Commands(), std::string("AUTHENTICATED ") + kUser));
}

// Whatever a password holds, it logs in as it is or is refused before it is sent.
TEST_F(SmtpAuthTest, PasswordsOfAnyBytesLogInWholeOrAreNotSent) {
  const std::string nul("abc\0def", 7);
  const struct Case {
    std::string password;     // what the user gave
    std::string serverTakes;  // what the server takes
    std::vector<std::string> excluded;
    int number;
    std::string command;  // the AUTH the server saw, or "" for none
    std::string user = kUser;
    std::string refusalNames = "password";
  } cases[] = {
      {"p\xC3\xA4sswort \xCE\xA9", "p\xC3\xA4sswort \xCE\xA9", {}, 0, "AUTH PLAIN"},
      {"a\"b'c\\d `e` $f;g", "a\"b'c\\d `e` $f;g", {}, 0, "AUTH PLAIN"},
      // Too long for a command line with its initial response: sent after the 334.
      {std::string(400, 'x'), std::string(400, 'x'), {}, 0, "AUTH PLAIN"},
      // PLAIN would split it at the NUL: LOGIN carries it whole.
      {nul, "abc", {}, 535, "AUTH LOGIN"},
      {nul, "abc", {"LOGIN"}, kSmtpAuthNotPossible, ""},
      {"pw", "pw", {"LOGIN"}, kSmtpAuthNotPossible, "", nul, "user name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.password.size());
    ServerScript script = AuthServer();
    script.authPassword = c.serverTakes;
    script.authExclude = c.excluded;
    ScriptedSmtpServer server(script);
    const Secret password(c.password);
    SmtpSessionOptions options = Options(SmtpSecurity::StartTls, password);
    options.userName = c.user;
    SmtpClient client(UniformTimeouts());
    const SmtpOutcome outcome = client.Connect(server.address(), options);
    EXPECT_EQ(outcome.number(), c.number) << outcome.text();
    client.Disconnect();
    const std::vector<std::string> commands = server.Commands();
    EXPECT_EQ(Contains(commands, std::string("AUTHENTICATED ") + kUser), c.number == 0);
    if (c.command.empty()) {
      EXPECT_FALSE(Contains(commands, "AUTH PLAIN"));
      EXPECT_NE(outcome.text().find("The " + c.refusalNames + " holds a NUL"), std::string::npos)
          << outcome.text();
    } else {
      EXPECT_TRUE(Contains(commands, c.command));
    }
  }
}

TEST_F(SmtpAuthTest, AServerOfferingNoAuthBeforeTlsPointsToStartTls) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server(AuthServer());  // offers AUTH only after STARTTLS
  const Secret password(kPassword);
  SmtpSessionOptions options = Options(SmtpSecurity::None, password);
  options.allowPlainAuth = true;
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(server.address(), options);
  EXPECT_EQ(outcome.number(), kSmtpAuthNotPossible);
  EXPECT_NE(outcome.text().find("offers no AUTH"), std::string::npos);
  EXPECT_NE(outcome.text().find("Security=starttls"), std::string::npos);
}

TEST_F(SmtpAuthTest, ServersThatRequireTlsOrAuthRefuseTheMailWithTheirOwnWords) {
  SmtpOutcome outcome;
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
    outcome = client.Connect(server.address(), options);
    ASSERT_EQ(outcome.number(), 0) << outcome.text();
    outcome = client.SendMail("to@example.com", "from@example.com", kMessage);
    EXPECT_EQ(outcome.number(), 530);
    EXPECT_EQ(outcome.step(), SmtpStep::Mail);
    EXPECT_EQ(outcome.text(), c.refusal);
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
  EXPECT_EQ(ChooseAuthMechanism(capabilities, false), SmtpAuthMechanism::Login);
  EXPECT_FALSE(ChooseAuthMechanism(ParseEhloReply("example.net\nAUTH PLAIN"), false));
}

}  // namespace
}  // namespace postrider

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/socket_errors.h"
#include "smtp/smtp_error_numbers.h"
#include "smtp/envelope_address.h"
#include "smtp/hello_name.h"
#include "smtp/smtp_capabilities.h"
#include "smtp/smtp_client.h"
#include "smtp/smtp_security.h"
#include "support/scripted_smtp_server.h"
#include "support/smtp_test_timeouts.h"

namespace postrider {
namespace {

using testing::ScriptedSmtpServer;
using testing::ServerScript;
using testing::UniformTimeouts;

constexpr const char* kMessage = "Subject: esmtp\r\n\r\nHello.\r\n";

std::vector<std::string> CommandsStartingWith(const ScriptedSmtpServer& server,
                                              const std::string& verb) {
  std::vector<std::string> found;
  for (const std::string& line : server.Commands()) {
    if (line.starts_with(verb)) found.push_back(line);
  }
  return found;
}

TEST(SmtpCapabilitiesTest, EhloReplyLinesBecomeWhatTheServerOffers) {
  const SmtpCapabilities offered = ParseEhloReply(
      "mail.example.net Hello\nPIPELINING\nsize 10240000\nSTARTTLS\nAUTH PLAIN login\n"
      "8BITMIME\nSMTPUTF8\nENHANCEDSTATUSCODES\nDSN");
  EXPECT_TRUE(offered.extended);
  EXPECT_TRUE(offered.pipelining);
  EXPECT_TRUE(offered.size);
  EXPECT_EQ(offered.sizeLimit, 10240000u);
  EXPECT_TRUE(offered.startTls);
  EXPECT_EQ(offered.authMechanisms, (std::vector<std::string>{"PLAIN", "LOGIN"}));
  EXPECT_TRUE(offered.eightBitMime);
  EXPECT_TRUE(offered.smtpUtf8);
  EXPECT_TRUE(offered.enhancedStatusCodes);
  EXPECT_EQ(offered.lines.size(), 8u);  // the server's name is no capability

  // The first line names the server; nothing there counts.
  const SmtpCapabilities bare = ParseEhloReply("STARTTLS");
  EXPECT_FALSE(bare.startTls);
  const SmtpCapabilities unlimited = ParseEhloReply("x\nSIZE\nSIZE nonsense");
  EXPECT_TRUE(unlimited.size);
  EXPECT_EQ(unlimited.sizeLimit, 0u);
}

TEST(SmtpSecurityTest, SettingNamesAreCaseBlindAndNothingElseIsGuessed) {
  EXPECT_EQ(ParseSmtpSecurity(""), SmtpSecurity::None);
  EXPECT_EQ(ParseSmtpSecurity(" None "), SmtpSecurity::None);
  EXPECT_EQ(ParseSmtpSecurity("STARTTLS"), SmtpSecurity::StartTls);
  EXPECT_EQ(ParseSmtpSecurity("tls"), SmtpSecurity::Tls);
  EXPECT_FALSE(ParseSmtpSecurity("ssl"));
  EXPECT_FALSE(ParseSmtpSecurity("start tls"));
  EXPECT_EQ(DefaultPortFor(SmtpSecurity::StartTls), 587);
  EXPECT_EQ(DefaultPortFor(SmtpSecurity::Tls), 465);
}

TEST(HelloNameTest, AnAddressLiteralFollowsRfc5321AndTheSettingWins) {
  ResolvedAddress v4;
  auto* in4 = reinterpret_cast<sockaddr_in*>(&v4.address);
  in4->sin_family = AF_INET;
  inet_pton(AF_INET, "192.0.2.7", &in4->sin_addr);
  v4.family = AF_INET;
  EXPECT_EQ(AddressLiteral(v4), "[192.0.2.7]");

  ResolvedAddress v6;
  auto* in6 = reinterpret_cast<sockaddr_in6*>(&v6.address);
  in6->sin6_family = AF_INET6;
  v6.family = AF_INET6;
  inet_pton(AF_INET6, "2001:db8::1", &in6->sin6_addr);
  EXPECT_EQ(AddressLiteral(v6), "[IPv6:2001:db8::1]");
  inet_pton(AF_INET6, "::ffff:192.0.2.7", &in6->sin6_addr);
  EXPECT_EQ(AddressLiteral(v6), "[192.0.2.7]");

  EXPECT_EQ(ChooseHelloName("laptop.example.net", &v4), "laptop.example.net");
  EXPECT_EQ(ChooseHelloName(" bad name\r\n", &v4), "badname");
  // This host's full name when it has one, else the literal: never a bare "vm".
  const std::string full = FullyQualifiedHostName();
  EXPECT_EQ(ChooseHelloName("", &v4), full.empty() ? "[192.0.2.7]" : full);
  EXPECT_EQ(ChooseHelloName("  ", &v4), full.empty() ? "[192.0.2.7]" : full);
}

TEST(SmtpEsmtpTest, AServerThatChecksTheHeloNameTakesTheOneGiven) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server({.requireFqdnHelo = true});
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);
  outcome = client.SendMail("to@example.com", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), 0);
  client.Disconnect();

  // The bare host name, as the program once gave, is what such servers refuse.
  SmtpSessionOptions bare;
  bare.heloName = "vm";
  SmtpClient old(UniformTimeouts());
  outcome = old.Connect(server.address(), bare);
  ASSERT_EQ(outcome.number(), 0);
  outcome = old.SendMail("to@example.com", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), 504);
  EXPECT_EQ(outcome.text(),
            "504 5.5.2 <vm>: Helo command rejected: need fully-qualified hostname");
}

TEST(SmtpEsmtpTest, IPv6ConnectionsGiveTheirLiteralInEhlo) {
  SmtpOutcome outcome;
  if (!FullyQualifiedHostName().empty()) GTEST_SKIP() << "this host has a full name";
  ServerScript script;
  script.host = "::1";
  ScriptedSmtpServer server(script);
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);
  EXPECT_EQ(client.helloName(), "[IPv6:::1]");
  EXPECT_EQ(server.Commands().front(), "EHLO [IPv6:::1]");
}

TEST(SmtpEsmtpTest, AServerThatRefusesHeloIsStillReachedWithEhlo) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server({.replies = {{"HELO", "502 5.5.1 HELO not supported, use EHLO"}}});
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);
  outcome = client.SendMail("to@example.com", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), 0);
  EXPECT_EQ(server.MessageCount(), 1);
}

TEST(SmtpEsmtpTest, WithoutEhloNeitherStartTlsNorAuthIsTriedAndNothingIsSent) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server({.replies = {{"EHLO", "500 5.5.1 Command unrecognized"}}});
  const Secret password("secret");
  SmtpSessionOptions startTls;
  startTls.security = SmtpSecurity::StartTls;
  SmtpSessionOptions auth;
  auth.userName = "sam";
  auth.password = &password;
  auth.allowPlainAuth = true;
  for (const auto& [options, expected] : {std::pair{startTls, kSmtpTlsNotOffered},
                                          std::pair{auth, kSmtpAuthNotPossible}}) {
    SmtpClient client(UniformTimeouts());
    outcome = client.Connect(server.address(), options);
    EXPECT_EQ(outcome.number(), expected);
    EXPECT_EQ(outcome.step(), SmtpStep::Ehlo);
    EXPECT_EQ(outcome.text().rfind("The server refused EHLO:\n500 5.5.1 Command "
                                         "unrecognized\n",
                                         0),
              0u)
        << outcome.text();
  }
  EXPECT_TRUE(CommandsStartingWith(server, "HELO").empty());
  EXPECT_TRUE(CommandsStartingWith(server, "MAIL").empty());
}

TEST(SmtpEsmtpTest, AMessageLargerThanTheServersSizeIsNotSentAndTheNextOneIs) {
  SmtpOutcome outcome;
  ScriptedSmtpServer server({.sizeLimit = 1000});
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);
  EXPECT_EQ(client.capabilities().sizeLimit, 1000u);

  const std::string large = "Subject: large\r\n\r\n" + std::string(2000, 'x') + "\r\n";
  outcome = client.SendMail("to@example.com", "from@example.com", large);
  EXPECT_EQ(outcome.number(), kSmtpMessageTooLarge);
  EXPECT_EQ(outcome.step(), SmtpStep::Mail);
  EXPECT_EQ(outcome.text(),
            "The message is 2020 bytes, more than the 1000 bytes the server takes (SIZE), so "
            "it was not sent.");
  EXPECT_TRUE(client.isConnected());
  EXPECT_TRUE(CommandsStartingWith(server, "MAIL").empty());

  // Its size counts every line end as CR LF and the last line as ended.
  outcome = client.SendMail("to@example.com", "from@example.com", "Subject: s\n\n.x");
  EXPECT_EQ(outcome.number(), 0);
  EXPECT_EQ(CommandsStartingWith(server, "MAIL"),
            std::vector<std::string>{"MAIL FROM:<from@example.com> SIZE=18"});
}

TEST(SmtpEsmtpTest, InternationalDomainsGoInAsciiAndLocalPartsOnlyWithSmtpUtf8) {
  SmtpOutcome outcome;
  const std::string juergen = "j\xC3\xBCrgen@m\xC3\xBCller.example";  // jürgen@müller.example
  {
    ScriptedSmtpServer server({.smtpUtf8 = true});
    SmtpClient client(UniformTimeouts());
    outcome = client.Connect(server.address());
    ASSERT_EQ(outcome.number(), 0);
    outcome = client.SendMail(juergen, "from@b\xC3\xA4r.example", kMessage);
    EXPECT_EQ(outcome.number(), 0) << outcome.text();
    EXPECT_EQ(CommandsStartingWith(server, "MAIL").front(),
              "MAIL FROM:<from@xn--br-via.example> SIZE=26 SMTPUTF8");
    EXPECT_EQ(CommandsStartingWith(server, "RCPT").front(),
              "RCPT TO:<j\xC3\xBCrgen@xn--mller-kva.example>");
  }
  {
    // A return address that changes between messages goes as each gives it.
    ScriptedSmtpServer server({.smtpUtf8 = true});
    SmtpClient client(UniformTimeouts());
    ASSERT_EQ(client.Connect(server.address()).number(), 0);
    for (const char* from : {"from@example.com", "from@b\xC3\xA4r.example", "from@example.com",
                             "other@example.com", "other@example.com"}) {
      EXPECT_EQ(client.SendMail("to@example.com", from, kMessage).number(), 0) << from;
    }
    EXPECT_EQ(client.SendMail("to@example.com", "other@example.com>", kMessage).number(),
              kSmtpUnsafeAddress);
    EXPECT_EQ(CommandsStartingWith(server, "MAIL"),
              (std::vector<std::string>{"MAIL FROM:<from@example.com> SIZE=26",
                                        "MAIL FROM:<from@xn--br-via.example> SIZE=26",
                                        "MAIL FROM:<from@example.com> SIZE=26",
                                        "MAIL FROM:<other@example.com> SIZE=26",
                                        "MAIL FROM:<other@example.com> SIZE=26"}));
  }
  ScriptedSmtpServer server;  // no SMTPUTF8
  SmtpClient client(UniformTimeouts());
  outcome = client.Connect(server.address());
  ASSERT_EQ(outcome.number(), 0);
  outcome = client.SendMail(juergen, "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), kSmtpUnsendableAddress);
  EXPECT_EQ(outcome.step(), SmtpStep::Rcpt);
  EXPECT_NE(outcome.text().find("does not offer SMTPUTF8"), std::string::npos);
  // A domain alone needs nothing of the server.
  outcome = client.SendMail("juergen@m\xC3\xBCller.example", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), 0);
  EXPECT_EQ(CommandsStartingWith(server, "RCPT"),
            std::vector<std::string>{"RCPT TO:<juergen@xn--mller-kva.example>"});
  outcome = client.SendMail("x@\xE2\x98\x83.example", "from@example.com", kMessage);
  EXPECT_EQ(outcome.number(), kSmtpUnsendableAddress);  // a snowman, which IDNA 2008 refuses
  EXPECT_NE(outcome.text().find("its domain cannot be written in ASCII"), std::string::npos);
}

TEST(EnvelopeAddressTest, PreparedAddressesSayWhatTheyNeed) {
  Result<EnvelopeAddress> ascii = PrepareEnvelopeAddress("ann@example.com");
  ASSERT_TRUE(ascii);
  EXPECT_EQ(ascii->text, "ann@example.com");
  EXPECT_FALSE(ascii->needsSmtpUtf8);
  Result<EnvelopeAddress> latin = PrepareEnvelopeAddress("j\xFCrgen@example.com");
  EXPECT_FALSE(latin);  // not UTF-8: nothing a server could take
  EXPECT_EQ(AddressWithAsciiDomain("ann@\xC3\xA9t\xC3\xA9.example"), "ann@xn--t-9fab.example");
  EXPECT_EQ(AddressWithAsciiDomain("no-at-sign"), "no-at-sign");
}

}  // namespace
}  // namespace postrider

#include "send/server_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/blocking_call.h"
#include "support/scripted_smtp_server.h"
#include "support/smtp_test_timeouts.h"
#include "support/test_certificates.h"

namespace postrider {
namespace {

using testing::ScriptedSmtpServer;
using testing::ServerScript;

constexpr const char* kPassword = "s3cret-Pa55";

class ServerCheckTest : public ::testing::Test {
 protected:
  ServerScript Submission() {
    good = certificates.Good();
    ServerScript script;
    script.tlsCertificate = good.certificate;
    script.tlsKey = good.key;
    script.requireStartTls = true;
    script.authUser = "library";
    script.authPassword = kPassword;
    script.authRequired = true;
    return script;
  }
  UserSettings SettingsFor(const ScriptedSmtpServer& server) const {
    UserSettings settings;
    settings.smtpServer = server.address();
    settings.security = "starttls";
    settings.userName = "library";
    settings.tlsTrustFile = certificates.caFile();
    return settings;
  }
  ServerCheckResult Check(const UserSettings& settings, const std::string& password) {
    Secret secret(password);
    return CheckServer(settings, &secret, [this](const std::string& line) { lines.push_back(line); },
                       testing::UniformTimeouts());
  }
  bool Said(const std::string& start) const {
    for (const std::string& line : lines) {
      if (line.rfind(start, 0) == 0) return true;
    }
    return false;
  }

  testing::TestCertificates certificates;
  testing::CertificateFiles good;
  std::vector<std::string> lines;
};

TEST_F(ServerCheckTest, EveryStepIsToldInOrderAndNoMailGoes) {
  ScriptedSmtpServer server(Submission());
  const ServerCheckResult result = Check(SettingsFor(server), kPassword);

  EXPECT_TRUE(result.passed()) << result.Summary();
  EXPECT_EQ(result.Summary(), "");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "Checking " + server.address() + " (Security=starttls); no mail is sent");
  EXPECT_EQ(lines.back(), "Every step passed.");
  EXPECT_TRUE(Said("STARTTLS: 220"));
  EXPECT_TRUE(Said("AUTH PLAIN as library: 235"));
  EXPECT_TRUE(Said("QUIT: 221"));
  EXPECT_EQ(server.MessageCount(), 0);
  for (const std::string& command : server.Commands()) EXPECT_NE(command.rfind("MAIL", 0), 0u);
  for (const std::string& line : lines) EXPECT_EQ(line.find(kPassword), std::string::npos);
}

// A server may quote the log-in at every step: no line told shows it.
TEST_F(ServerCheckTest, APasswordTheServerQuotesIsInNoLineTold) {
  const std::string quoted = std::string(" ") + kPassword;
  ServerScript script = Submission();
  script.greeting = {"220 mail.test" + quoted};
  script.firstReplies = {{"EHLO#2", "250-mail.test|250-X-NOTE" + quoted + "|250 AUTH PLAIN"}};
  script.replies = {{"AUTH", "235 2.7.0 Welcome" + quoted}, {"QUIT", "221 Bye" + quoted}};
  ScriptedSmtpServer server(script);
  const ServerCheckResult result = Check(SettingsFor(server), kPassword);

  EXPECT_TRUE(result.passed()) << result.Summary();
  EXPECT_TRUE(Said("Capabilities: X-NOTE [hidden], AUTH PLAIN"));
  EXPECT_TRUE(Said("QUIT: 221 Bye [hidden]"));
  for (const std::string& line : lines) EXPECT_EQ(line.find(kPassword), std::string::npos) << line;
}

TEST_F(ServerCheckTest, AWrongPasswordFailsAtAuthWithTheServersWords) {
  ScriptedSmtpServer server(Submission());
  const ServerCheckResult result = Check(SettingsFor(server), "wrong");

  EXPECT_FALSE(result.passed());
  EXPECT_EQ(result.outcome.step(), SmtpStep::Auth);
  EXPECT_EQ(result.outcome.number(), 535);
  EXPECT_EQ(result.Summary().rfind("Failed at AUTH (535):\n", 0), 0u) << result.Summary();
  EXPECT_NE(result.Summary().find("535"), std::string::npos);
  EXPECT_TRUE(Said("STARTTLS: 220"));
  EXPECT_FALSE(Said("Every step passed."));
}

// Each says what is wrong with the value, not only that no host was found.
TEST_F(ServerCheckTest, ASettingThatMakesNoSessionFailsBeforeConnecting) {
  const std::string longName(10000, 'a');
  const struct {
    std::string server;
    std::string security;
    std::string summary;
    std::string userName = "";
  } cases[] = {
      {"127.0.0.1:1", "ssl-please",
       "The setting Security=ssl-please is not one of none, starttls or tls."},
      // Escape sequences and stray bytes of a hand edit are not shown as they are.
      {"127.0.0.1:1", "st\x1b[2J\x9b" "arttls",
       "The setting Security=st?[2J?arttls is not one of none, starttls or tls."},
      {"127.0.0.1:0", "none",
       "The setting SMTPServer=127.0.0.1:0 has a port that is not a number from 1 to 65535."},
      {"mail.example.test:65536", "none",
       "The setting SMTPServer=mail.example.test:65536 has a port that is not a number from 1 "
       "to 65535."},
      {"mail.example.test: 25", "none",
       "The setting SMTPServer=mail.example.test: 25 has a port that is not a number from 1 to "
       "65535."},
      {"[::1]:99999", "tls",
       "The setting SMTPServer=[::1]:99999 has a port that is not a number from 1 to 65535."},
      {":25", "none", "The setting SMTPServer=:25 names no host."},
      {"   ", "none", "The setting SMTPServer=    names no host."},
      {"[::1", "none",
       "The setting SMTPServer=[::1 is not host, host:port or [IPv6 address]:port."},
      {"[::1]25", "none",
       "The setting SMTPServer=[::1]25 is not host, host:port or [IPv6 address]:port."},
      {"mail example.test", "none",
       "The setting SMTPServer=mail example.test has a blank or a control character in its "
       "host name."},
      {"mail.example.test :25", "none",
       "The setting SMTPServer=mail.example.test :25 has a blank or a control character in its "
       "host name."},
      {longName + ":25", "none",
       "The setting SMTPServer=" + longName.substr(0, 40) +
           "... has a host name of 10000 characters; a name has at most 253."},
      {"\xE2\x98\xBA.example:25", "none",
       "The setting SMTPServer=\xE2\x98\xBA.example:25: its host name cannot be written in ASCII "
       "(string contains a disallowed character)."},
      // The log-in's separators (NUL in PLAIN, ^A in XOAUTH2) and line ends.
      {"127.0.0.1:1", "tls",
       "The setting UserName holds a control character, which no log-in can carry.",
       std::string("ann\0x", 5)},
      {"127.0.0.1:1", "tls",
       "The setting UserName holds a control character, which no log-in can carry.",
       "ann\x01" "auth=Bearer x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.server.substr(0, 60));
    lines.clear();
    UserSettings settings;
    settings.smtpServer = c.server;
    settings.security = c.security;
    settings.userName = c.userName;
    const ServerCheckResult result = Check(settings, "pw");

    EXPECT_FALSE(result.passed());
    EXPECT_EQ(result.outcome.step(), SmtpStep::None);
    EXPECT_EQ(result.Summary(), c.summary);
    EXPECT_TRUE(lines.empty());
  }
}

TEST(ServerNameTest, ANameIsMeasuredInItsAsciiFormWithoutTheRootsDot) {
  EXPECT_EQ(ServerNameProblem(std::string(253, 'a') + ".:25"), "");
  EXPECT_NE(ServerNameProblem(std::string(254, 'a') + ":25"), "");
  EXPECT_EQ(ServerNameProblem("b\xC3\xBC" "cher.example:25"), "");
}

TEST_F(ServerCheckTest, ACancelledWaitEndsTheCheckAndTheHookBeforeItComesBack) {
  ScriptedSmtpServer server({.greeting = {}, .delays = {{"EHLO", 30.0}}});
  UserSettings settings;
  settings.smtpServer = server.address();
  int hookCalls = 0;
  SetBlockingHook([&] {
    ++hookCalls;
    if (!lines.empty() && lines.back().rfind("Greeting:", 0) == 0) CancelBlockingCall();
  });
  const BlockingHook installed = GetBlockingHook();
  const ServerCheckResult result = Check(settings, "");
  SetBlockingHook({});

  EXPECT_TRUE(static_cast<bool>(installed));
  EXPECT_GT(hookCalls, 0);
  EXPECT_EQ(result.outcome.number(), 10004);
  EXPECT_EQ(result.outcome.step(), SmtpStep::Ehlo);
  EXPECT_FALSE(static_cast<bool>(GetBlockingHook()));
}

}  // namespace
}  // namespace postrider

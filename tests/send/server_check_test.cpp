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

TEST_F(ServerCheckTest, ASettingThatMakesNoSessionFailsBeforeConnecting) {
  UserSettings settings;
  settings.smtpServer = "127.0.0.1:1";
  settings.security = "ssl-please";
  const ServerCheckResult result = Check(settings, "");

  EXPECT_FALSE(result.passed());
  EXPECT_EQ(result.outcome.step(), SmtpStep::None);
  EXPECT_EQ(result.Summary(), "The setting Security=ssl-please is not one of none, starttls or tls.");
  EXPECT_TRUE(lines.empty());
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

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/socket_errors.h"
#include "send/send_run.h"
#include "support/entry_lists.h"
#include "support/recording_views.h"
#include "support/scripted_smtp_server.h"
#include "support/smtp_test_timeouts.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"

namespace postrider {
namespace {

using testing::RecordedDocument;
using testing::ScriptedSmtpServer;
using testing::ServerScript;
using testing::TempDir;
using testing::TestProject;

constexpr const char* kPassword = "Tr0ub4dor&3";


using testing::Statuses;
using testing::NumberedList;

class FixedPassword : public ISmtpPasswordSource {
 public:
  Result<Secret> Password(const UserSettings&) override {
    ++asked;
    if (!answer) return Status::Error("The secret store is locked.");
    return Secret(*answer);
  }
  std::string PasswordRefused(const UserSettings&) override {
    ++refusals;
    return "Asked for again.";
  }
  std::optional<std::string> answer = kPassword;
  int asked = 0;
  int refusals = 0;
};

class RecordingReport : public ISendRunReport {
 public:
  void EntryRefused(int entry, const std::string& address, const std::string& reason) override {
    lines.push_back("refused " + std::to_string(entry) + " " + address + ": " + reason);
  }
  void EntryBadAddress(int entry, const std::string& address, const std::string& reason) override {
    lines.push_back("bad " + std::to_string(entry) + " " + address + ": " + reason);
  }
  std::vector<std::string> lines;
};

class SendRunServerTest : public ::testing::Test {
 protected:
  void Open(int entries, std::string marks = std::string(32000, '\x80')) {
    TestProject project(NumberedList(entries), std::move(marks));
    ASSERT_TRUE(recorded.Open(folder.path(), project));
  }
  ServerScript StartTlsAuthServer() {
    const testing::CertificateFiles good = certificates.Good();
    ServerScript script;
    script.tlsCertificate = good.certificate;
    script.tlsKey = good.key;
    script.requireStartTls = true;
    script.authUser = "club";
    script.authPassword = kPassword;
    script.authRequired = true;
    return script;
  }
  void UseStartTlsAndAuth(const std::string& server) {
    settings.smtpServer = server;
    settings.security = "STARTTLS";
    settings.tlsTrustFile = certificates.caFile();
    settings.userName = "club";
  }
  SendRunResult Send() { return controller.OnSend(recorded.document, settings); }

  TempDir folder;
  testing::TestCertificates certificates;
  RecordedDocument recorded;
  UserSettings settings{.realName = "Club", .returnAddress = "club@example.com"};
  FixedPassword passwords;
  RecordingReport report;
  SendController controller{
      SendRunHost{recorded.prompts, recorded.frame, nullptr, &passwords, &report},
      testing::UniformTimeouts()};
};

TEST_F(SendRunServerTest, ARunThroughStartTlsAndAuthDeliversEveryMessage) {
  Open(3);
  ScriptedSmtpServer server(StartTlsAuthServer());
  UseStartTlsAndAuth(server.address());

  const SendRunResult result = Send();

  EXPECT_TRUE(result.reachedEnd);
  EXPECT_EQ(result.accepted, 3);
  EXPECT_EQ(passwords.asked, 1);
  EXPECT_EQ(server.MessageCount(), 3);
  EXPECT_EQ(Statuses(recorded.document), std::vector<int>(3, StatusSent));
  for (const auto& message : recorded.prompts.messageTexts()) {
    EXPECT_EQ(message.find(kPassword), std::string::npos);
  }
}

// A password that is also the user name, or a word of the program's own
// sentences, is hidden where the server quotes it and nowhere else.
TEST_F(SendRunServerTest, APasswordTheServerQuotesIsHiddenInItsWordsAlone) {
  Open(1);
  ServerScript script = StartTlsAuthServer();
  script.replies = {{"AUTH", "535 5.7.8 Bad log-in club:club"}};
  ScriptedSmtpServer server(script);
  UseStartTlsAndAuth(server.address());
  passwords.answer = "club";

  const SendRunResult result = Send();

  EXPECT_EQ(result.failure.number(), 535);
  EXPECT_TRUE(recorded.prompts.ShowedMessageContaining(
      "The server refused the log-in of club (authentication failed):\n"
      "535 5.7.8 Bad log-in [hidden]:[hidden]"));
  EXPECT_EQ(server.MessageCount(), 0);
}

TEST_F(SendRunServerTest, AWrongPasswordStopsTheRunBeforeAnyEntryIsTouched) {
  std::string marks(32000, '\x80');
  marks[0] = static_cast<char>(0x80 | StatusSent);
  marks[1] = static_cast<char>(0x80 | StatusBadAddress);
  Open(3, marks);
  ScriptedSmtpServer server(StartTlsAuthServer());
  UseStartTlsAndAuth(server.address());
  passwords.answer = "wrong";
  // Entry 0 is marked sent: the run asks, and starts from the top.
  recorded.prompts.QueueYesNoAnswer(true);

  const SendRunResult result = Send();

  EXPECT_FALSE(result.connected);
  EXPECT_EQ(result.failure.number(), 535);
  EXPECT_EQ(result.notReached, 3);
  EXPECT_EQ(Statuses(recorded.document),
            (std::vector<int>{StatusSent, StatusBadAddress, StatusNone}));
  EXPECT_EQ(server.MessageCount(), 0);
  EXPECT_TRUE(recorded.prompts.ShowedMessageContaining(
      "The server refused the log-in of club (authentication failed):\n535 5.7.8"));
  EXPECT_EQ(recorded.prompts.messageTexts().back(),
            "Send stopped by an error before the first message. Accepted by the server: 0, "
            "refused by the server: 0, bad address: 0, not reached: 3.");
}

// A password the server refused must not go again unasked, as repeated
// failed log-ins lock accounts; one that met a busy, confused or lost
// server may.
TEST_F(SendRunServerTest, OnlyARefusalOfThePasswordIsToldToWhereItCameFrom) {
  struct Row {
    const char* auth;            // the reply to the log-in; empty: the connection drops
    int perConnection = 0;       // with 1, the second connection's log-in is the one answered
    bool told = false;
  };
  const Row rows[] = {
      {"535 5.7.8 Authentication credentials invalid", 0, true},
      {"534 5.7.9 Application-specific password required", 0, true},
      {"454 4.7.0 Temporary authentication failure", 0, false},
      {"504 5.5.4 Unrecognized authentication type", 0, false},
      {"", 0, false},
      {"535 5.7.8 Authentication credentials invalid", 1, true},
  };
  Open(2);
  recorded.prompts.SetDefaultYesNoAnswer(true);  // from the top, should a resume be offered
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.auth) + " per connection " + std::to_string(row.perConnection));
    ServerScript script = StartTlsAuthServer();
    const std::string command = row.perConnection > 0 ? "AUTH#2" : "AUTH";
    if (*row.auth != '\0') {
      script.firstReplies = {{command, row.auth}};
    } else {
      script.dropOn = {"AUTH"};
    }
    ScriptedSmtpServer server(script);
    UseStartTlsAndAuth(server.address());
    settings.messagesPerConnection = row.perConnection;
    passwords.refusals = 0;

    const SendRunResult result = Send();

    EXPECT_FALSE(result.failure.ok());
    EXPECT_EQ(passwords.refusals, row.told ? 1 : 0);
    const std::vector<std::string> texts = recorded.prompts.messageTexts();
    bool saidSo = false;
    for (const std::string& text : texts) {
      saidSo = saidSo || text.find("Asked for again.") != std::string::npos;
    }
    EXPECT_EQ(saidSo, row.told);
    for (const std::string& text : texts) EXPECT_EQ(text.find(kPassword), std::string::npos);
    recorded.prompts.ClearRecords();
  }
}

TEST_F(SendRunServerTest, NoPasswordOrAWrongSettingMeansNoConnectionAtAll) {
  Open(2);
  ScriptedSmtpServer server(StartTlsAuthServer());
  UseStartTlsAndAuth(server.address());
  passwords.answer.reset();
  EXPECT_FALSE(Send().connected);
  EXPECT_TRUE(recorded.prompts.ShowedMessageContaining("The secret store is locked."));

  passwords.answer = kPassword;
  settings.security = "ssl";
  EXPECT_FALSE(Send().connected);
  EXPECT_TRUE(recorded.prompts.ShowedMessageContaining(
      "The setting Security=ssl is not one of none, starttls or tls."));
  settings.security = "tls";
  settings.tlsFingerprint = "12:34";
  EXPECT_FALSE(Send().connected);
  EXPECT_TRUE(recorded.prompts.ShowedMessageContaining("The setting TLSFingerprint=12:34"));
  EXPECT_TRUE(server.Commands().empty());
}

TEST_F(SendRunServerTest, ARelayRefusalOfEveryRecipientIsReportedForEachAndNotCountedAsSent) {
  Open(3);
  ScriptedSmtpServer server({.replies = {{"RCPT", "554 5.7.1 <x>: Relay access denied"}}});
  settings.smtpServer = server.address();

  const SendRunResult result = Send();

  EXPECT_TRUE(result.reachedEnd);
  EXPECT_EQ(result.accepted, 0);
  EXPECT_EQ(result.refused, 3);
  EXPECT_EQ(Statuses(recorded.document), std::vector<int>(3, StatusBadAddress));
  EXPECT_EQ(report.lines,
            (std::vector<std::string>{
                "refused 0 person0@example.com: 554 5.7.1 <x>: Relay access denied",
                "refused 1 person1@example.com: 554 5.7.1 <x>: Relay access denied",
                "refused 2 person2@example.com: 554 5.7.1 <x>: Relay access denied"}));
  EXPECT_EQ(server.MessageCount(), 0);
}

TEST_F(SendRunServerTest, AMessageLargerThanTheServerTakesIsWithheldForItsEntryAlone) {
  TestProject project("Name\tEmail\nShort\ta@example.com\n" + std::string(3000, 'L') +
                          "\tb@example.com\nShort\tc@example.com\n",
                      std::string(32000, '\x80'));
  ASSERT_TRUE(recorded.Open(folder.path(), project));
  ScriptedSmtpServer server({.sizeLimit = 2000});
  settings.smtpServer = server.address();

  const SendRunResult result = Send();

  EXPECT_TRUE(result.reachedEnd);
  EXPECT_EQ(Statuses(recorded.document),
            (std::vector<int>{StatusSent, StatusBadAddress, StatusSent}));
  // Withheld by the client, not refused by the server: counted as such.
  EXPECT_EQ(result.refused, 0);
  EXPECT_EQ(result.tooLarge, 1);
  EXPECT_EQ(recorded.prompts.messageTexts().back(),
            "Send Complete! Total Messages Sent: 2 of 3 (too large for the server: 1)");
  ASSERT_EQ(report.lines.size(), 1u);
  EXPECT_NE(report.lines[0].find("refused 1 b@example.com: The message is "), std::string::npos);
  EXPECT_NE(report.lines[0].find("more than the 2000 bytes the server takes"), std::string::npos);
  EXPECT_EQ(server.MessageCount(), 2);
}

TEST_F(SendRunServerTest, AnAddressTheServerCannotTakeIsABadAddressAndTheRunGoesOn) {
  TestProject project("Name\tEmail\nA\tj\xC3\xBCrgen@example.com\nB\tb@example.com\n",
                      std::string(32000, '\x80'));
  ASSERT_TRUE(recorded.Open(folder.path(), project));
  ScriptedSmtpServer server;  // without SMTPUTF8
  settings.smtpServer = server.address();

  const SendRunResult result = Send();

  EXPECT_EQ(Statuses(recorded.document), (std::vector<int>{StatusBadAddress, StatusSent}));
  EXPECT_EQ(result.badAddress, 1);
  ASSERT_EQ(report.lines.size(), 1u);
  EXPECT_NE(report.lines[0].find("does not offer SMTPUTF8"), std::string::npos);
}

}  // namespace
}  // namespace postrider

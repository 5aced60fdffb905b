#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/browser_launch.h"
#include "send/oauth_sign_in.h"
#include "send/oauth_tokens.h"
#include "send/send_run.h"
#include "support/entry_lists.h"
#include "support/memory_token_store.h"
#include "support/oauth_test_server.h"
#include "support/recording_views.h"
#include "support/scripted_smtp_server.h"
#include "support/smtp_test_timeouts.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"

namespace postrider {
namespace {

using testing::MemoryTokenStore;
using testing::NumberedList;
using testing::OAuthServerOptions;
using testing::OAuthTestServer;
using testing::RecordedDocument;
using testing::ScriptedSmtpServer;
using testing::ServerScript;
using testing::Statuses;
using testing::TempDir;
using testing::TestProject;

constexpr const char* kScope = "https://mail.example.test/send";

std::size_t Count(const std::vector<std::string>& lines, const std::string& start) {
  return static_cast<std::size_t>(std::count_if(
      lines.begin(), lines.end(), [&](const std::string& line) { return line.rfind(start, 0) == 0; }));
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// The run's credential for AuthMethod=oauth2, as the desktop and the command
// line give it: the sign-in's access token, asked for before each connection.
// Each ask moves the tokens' clock on by `step`, as a long paced run does.
class SignedInAccount : public ISmtpPasswordSource {
 public:
  explicit SignedInAccount(OAuthTokens& tokens, std::chrono::steady_clock::time_point& now)
      : tokens_(tokens), now_(now) {}
  Result<Secret> Password(const UserSettings& settings) override {
    now_ += step;
    ++asked;
    if (beforeAsking) beforeAsking(asked);
    Result<Secret> token = AccessTokenFor(tokens_, settings);
    if (token) given.emplace_back(token.value().reveal());
    return token;
  }
  // As both front ends do: the refused token is dropped, the sign-in kept.
  std::string PasswordRefused(const UserSettings& settings) override {
    ++refusals;
    tokens_.DropAccessToken(settings);
    return {};
  }
  std::chrono::minutes step{0};
  int asked = 0;
  int refusals = 0;
  std::vector<std::string> given;  // compared, never shown
  std::function<void(int asked)> beforeAsking;

 private:
  OAuthTokens& tokens_;
  std::chrono::steady_clock::time_point& now_;
};

// A run against an SMTP server that checks each token with the
// authorization server that issued it.
class SendRunOAuthTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv(kBrowserVariable, oauth.BrowserCommand().c_str(), 1);
    settings.userName = "ann@example.test";
    settings.authMethod = "oauth2";
    settings.oauthClientId = oauth.options().clientId;
    settings.oauthAuthorizeUrl = oauth.authorizeUrl();
    settings.oauthTokenUrl = oauth.tokenUrl();
    settings.oauthScope = std::string(kScope) + " offline_access";
    settings.oauthTrustFile = oauth.caFile();
    settings.security = "starttls";
    settings.tlsTrustFile = certificates.caFile();
  }
  void TearDown() override { unsetenv(kBrowserVariable); }

  void Open(int entries) {
    TestProject project(NumberedList(entries), std::string(32000, '\x80'));
    ASSERT_TRUE(recorded.Open(folder.path(), project));
  }
  ServerScript SubmissionServer(const std::string& scope = kScope) {
    const testing::CertificateFiles good = certificates.Good();
    ServerScript script;
    script.tlsCertificate = good.certificate;
    script.tlsKey = good.key;
    script.requireStartTls = true;
    script.authRequired = true;
    script.oauthIntrospectUrl = oauth.introspectUrl();
    script.oauthCaFile = oauth.caFile();
    script.oauthScope = scope;
    script.authExclude = {"PLAIN", "LOGIN"};
    return script;
  }
  void SignInNow() {
    SignInOptions options;
    const SignInResult result = SignIn(settings, tokens, options);
    ASSERT_TRUE(result.ok()) << result.message << oauth.BrowserLog();
  }
  // Two messages a connection, each connection an hour after the last, so
  // each needs a new token from the sign-in made now.
  void SignInForAPacedRun(const ScriptedSmtpServer& server) {
    settings.smtpServer = server.address();
    settings.messagesPerConnection = 2;
    SignInNow();
    account.step = std::chrono::minutes(60);
  }
  std::size_t Refreshes() const { return Occurrences(oauth.RequestLog(), "\"grant_type\": \"refresh_token\""); }
  SendRunResult Send() { return controller.OnSend(recorded.document, settings); }

  // Nothing the run showed holds a token the authorization server issued.
  void ExpectNoTokenShown() const {
    const std::string log = oauth.RequestLog();
    for (const std::string key : {"\"access_token\": \"", "\"refresh_token\": \""}) {
      for (std::size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1)) {
        const std::size_t from = at + key.size();
        const std::string token = log.substr(from, log.find('"', from) - from);
        for (const std::string& message : recorded.prompts.messageTexts()) {
          EXPECT_EQ(message.find(token), std::string::npos);
        }
      }
    }
  }

  OAuthTestServer oauth;
  TempDir folder;
  testing::TestCertificates certificates;
  RecordedDocument recorded;
  UserSettings settings{.realName = "Ann", .returnAddress = "ann@example.test"};
  MemoryTokenStore store;
  std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
  OAuthTokens tokens{&store, [this] { return now; }};
  SignedInAccount account{tokens, now};
  SendController controller{SendRunHost{recorded.prompts, recorded.frame, nullptr, &account},
                            testing::UniformTimeouts()};
};

TEST_F(SendRunOAuthTest, APacedRunRenewsTheTokenBeforeItExpiresOnEveryReconnect) {
  Open(6);
  ScriptedSmtpServer server(SubmissionServer());
  SignInForAPacedRun(server);

  const SendRunResult result = Send();

  EXPECT_TRUE(result.reachedEnd) << result.failure.text();
  EXPECT_EQ(server.MessageCount(), 6);
  EXPECT_EQ(Statuses(recorded.document), std::vector<int>(6, StatusSent));
  const std::vector<std::string> commands = server.Commands();
  EXPECT_EQ(Count(commands, "AUTHENTICATED ann@example.test (OAUTHBEARER)"), 3u);
  EXPECT_GE(Refreshes(), 3u);
  EXPECT_EQ(static_cast<std::size_t>(account.asked), Refreshes());
  EXPECT_EQ(account.asked, 3);  // once a connection, the first's not twice
  ExpectNoTokenShown();
}

TEST_F(SendRunOAuthTest, ATokenStillGoodIsUsedAgainAndXOAuth2ServesWhereOAuthBearerIsNotOffered) {
  Open(4);
  ServerScript script = SubmissionServer();
  script.authExclude.push_back("OAUTHBEARER");
  ScriptedSmtpServer server(script);
  settings.smtpServer = server.address();
  settings.messagesPerConnection = 2;
  SignInNow();

  const SendRunResult result = Send();

  EXPECT_TRUE(result.reachedEnd) << result.failure.text();
  EXPECT_EQ(Count(server.Commands(), "AUTHENTICATED ann@example.test (XOAUTH2)"), 2u);
  EXPECT_EQ(Refreshes(), 0u);
}

TEST_F(SendRunOAuthTest, ARevokedSignInStopsTheRunBeforeAnyEntryChanges) {
  Open(3);
  ScriptedSmtpServer server(SubmissionServer());
  settings.smtpServer = server.address();
  SignInNow();
  oauth.RevokeRefreshTokens();
  account.step = std::chrono::minutes(120);

  const SendRunResult result = Send();

  EXPECT_FALSE(result.connected);
  EXPECT_EQ(result.notReached, 3);
  EXPECT_TRUE(server.Commands().empty());
  EXPECT_EQ(Statuses(recorded.document), std::vector<int>(3, StatusNone));
  EXPECT_TRUE(recorded.prompts.ShowedMessageContaining("Sign in again for ann@example.test"));
  EXPECT_TRUE(recorded.prompts.ShowedMessageContaining("invalid_grant"));
  EXPECT_EQ(store.Kept(settings), "");
}

TEST_F(SendRunOAuthTest, ASignInRevokedDuringARunStopsItAtTheReconnect) {
  Open(4);
  ScriptedSmtpServer server(SubmissionServer());
  SignInForAPacedRun(server);
  // The second connection's new token is refused: the user withdrew the
  // access while the first one sent.
  bool revoked = false;
  account.beforeAsking = [&](int) {
    if (!revoked && server.MessageCount() == 2) {
      oauth.RevokeRefreshTokens();
      revoked = true;
    }
  };

  const SendRunResult result = Send();

  EXPECT_TRUE(revoked);
  EXPECT_FALSE(result.reachedEnd);
  EXPECT_EQ(result.accepted, 2);
  EXPECT_EQ(result.failure.kind(), SmtpOutcomeKind::SignIn);
  EXPECT_NE(result.failure.text().find("Sign in again for ann@example.test"), std::string::npos)
      << result.failure.text();
  EXPECT_EQ(Statuses(recorded.document),
            (std::vector<int>{StatusSent, StatusSent, StatusNone, StatusNone}));
  EXPECT_EQ(server.MessageCount(), 2);
}

TEST_F(SendRunOAuthTest, APauseThatStopsATokensRenewalEndsTheRunAsAPauseNotAnError) {
  Open(4);
  ScriptedSmtpServer server(SubmissionServer());
  SignInForAPacedRun(server);
  // Pause while the second connection's token is asked for, which the pause
  // then cuts short.
  account.beforeAsking = [&](int asked) {
    if (asked == 2) {
      controller.OnPause();
      oauth.RevokeRefreshTokens();
    }
  };

  const SendRunResult result = Send();

  EXPECT_TRUE(result.paused);
  EXPECT_EQ(result.accepted, 2);
  EXPECT_EQ(Statuses(recorded.document),
            (std::vector<int>{StatusSent, StatusSent, StatusHalted, StatusNone}));
  EXPECT_FALSE(recorded.prompts.ShowedMessageContaining("Sign in again"));
  EXPECT_EQ(server.MessageCount(), 2);
}

TEST_F(SendRunOAuthTest, ARefusedTokenGetsTheEmptyAnswerAndTheProvidersWordsAreShown) {
  for (const bool bearer : {true, false}) {
    Open(2);
    // The server wants a scope the token was not given.
    ServerScript script = SubmissionServer("https://mail.example.test/everything");
    if (!bearer) script.authExclude.push_back("OAUTHBEARER");
    ScriptedSmtpServer server(script);
    settings.smtpServer = server.address();
    if (bearer) SignInNow();

    const SendRunResult result = Send();

    EXPECT_FALSE(result.connected);
    EXPECT_EQ(result.failure.kind(), SmtpOutcomeKind::SignIn);
    EXPECT_EQ(result.failure.number(), 535);
    const std::vector<std::string> commands = server.Commands();
    EXPECT_EQ(Count(commands, "OAUTH CHALLENGE"), 1u);
    // RFC 7628's %x01 for OAUTHBEARER; an empty line for XOAUTH2.
    ASSERT_EQ(Count(commands, "OAUTH ANSWER"), 1u);
    const auto answer = std::find_if(commands.begin(), commands.end(), [](const std::string& c) {
      return c.rfind("OAUTH ANSWER", 0) == 0;
    });
    std::string answered = answer->substr(std::string("OAUTH ANSWER").size());
    answered.erase(0, answered.find_first_not_of(' '));
    EXPECT_EQ(answered, bearer ? "AQ==" : "");
    EXPECT_TRUE(recorded.prompts.ShowedMessageContaining(
        "535 5.7.8 Username and Password not accepted"));
    EXPECT_TRUE(recorded.prompts.ShowedMessageContaining(
        "the scope it needs https://mail.example.test/everything"));
    EXPECT_EQ(server.MessageCount(), 0);
    ExpectNoTokenShown();
  }
}

TEST_F(SendRunOAuthTest, ATokenTheServerRefusedIsNeverSentAgainTheNextRunRefreshesOnce) {
  Open(2);
  SignInNow();
  {
    // Refused: the server wants a scope the token was not given.
    ScriptedSmtpServer refusing(SubmissionServer("https://mail.example.test/everything"));
    settings.smtpServer = refusing.address();
    const SendRunResult refused = Send();
    EXPECT_FALSE(refused.connected);
    EXPECT_EQ(refused.failure.number(), 535);
    EXPECT_EQ(account.refusals, 1);
  }
  EXPECT_EQ(Refreshes(), 0u);
  EXPECT_FALSE(store.Kept(settings).empty());  // the sign-in stays

  ScriptedSmtpServer server(SubmissionServer());
  settings.smtpServer = server.address();
  const SendRunResult result = Send();

  EXPECT_TRUE(result.reachedEnd) << result.failure.text();
  EXPECT_EQ(server.MessageCount(), 2);
  EXPECT_EQ(Refreshes(), 1u);
  ASSERT_EQ(account.given.size(), 2u);
  EXPECT_TRUE(account.given[1] != account.given[0]) << "the refused token went again";
  ExpectNoTokenShown();
}

TEST_F(SendRunOAuthTest, NoTokenGoesToAServerWithoutTheMechanismsOrWithoutTls) {
  Open(2);
  SignInNow();
  // Passwords only.
  ServerScript passwordsOnly = SubmissionServer();
  passwordsOnly.authExclude = {"OAUTHBEARER", "XOAUTH2"};
  passwordsOnly.authUser = "ann@example.test";
  passwordsOnly.authPassword = "unused";
  {
    ScriptedSmtpServer server(passwordsOnly);
    settings.smtpServer = server.address();
    const SendRunResult result = Send();
    EXPECT_FALSE(result.connected);
    EXPECT_EQ(result.failure.kind(), SmtpOutcomeKind::SignIn);
    EXPECT_NE(result.failure.text().find("neither OAUTHBEARER nor XOAUTH2"), std::string::npos)
        << result.failure.text();
    EXPECT_EQ(Count(server.Commands(), "AUTH"), 0u);
  }
  // No TLS, though AllowPlainAuth lets a password cross.
  ServerScript plain;
  plain.authWithoutTls = true;
  plain.oauthIntrospectUrl = oauth.introspectUrl();
  plain.oauthCaFile = oauth.caFile();
  ScriptedSmtpServer server(plain);
  settings.smtpServer = server.address();
  settings.security = "none";
  settings.allowPlainAuth = 1;
  const SendRunResult result = Send();
  EXPECT_FALSE(result.connected);
  EXPECT_NE(result.failure.text().find("never sent over a connection without TLS"),
            std::string::npos)
      << result.failure.text();
  EXPECT_EQ(Count(server.Commands(), "AUTH"), 0u);
}

}  // namespace
}  // namespace postrider

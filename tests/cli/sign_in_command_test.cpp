#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/browser_launch.h"
#include "support/cli_runner.h"
#include "support/oauth_test_server.h"
#include "support/scripted_smtp_server.h"
#include "support/secret_service_session.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"

namespace postrider {
namespace {

using testing::CliOptions;
using testing::CliRun;
using testing::OAuthTestServer;
using testing::ReadFileBytes;
using testing::TempDir;
namespace fs = std::filesystem;

// Every token the authorization server issued, from its log.
std::vector<std::string> IssuedTokens(const std::string& log) {
  std::vector<std::string> tokens;
  for (const std::string key : {"\"access_token\": \"", "\"refresh_token\": \""}) {
    for (std::size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1)) {
      const std::size_t from = at + key.size();
      tokens.push_back(log.substr(from, log.find('"', from) - from));
    }
  }
  return tokens;
}

// postrider-cli sign-in and check-server with a Secret Service, an
// authorization server and a browser of the test's own.
class SignInCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!secrets_.available()) GTEST_SKIP() << "no dbus-daemon or gnome-keyring-daemon";
  }

  std::string Settings(const std::string& server = "127.0.0.1:1",
                       const std::string& more = "") const {
    return dir_.Write("settings.ini",
                      "[Settings]\nRealName=Ann\nReturnAddress=ann@example.test\nSMTPServer=" +
                          server + "\nSecurity=starttls\nTLSTrustFile=" + certificates_.caFile() +
                          "\nUserName=ann@example.test\nAuthMethod=oauth2\nOAuthClientId=" +
                          oauth_.options().clientId + "\nOAuthAuthorizeUrl=" +
                          oauth_.authorizeUrl() + "\nOAuthTokenUrl=" + oauth_.tokenUrl() +
                          "\nOAuthScope=https://mail.example.test/send offline_access\n"
                          "OAuthTrustFile=" +
                          oauth_.caFile() + "\n" + more);
  }

  CliRun Cli(const std::vector<std::string>& args, CliOptions options = {}) const {
    options.environment.push_back("XDG_STATE_HOME=" + dir_.File("state"));
    options.environment.push_back(std::string(kBrowserVariable) + "=" + oauth_.BrowserCommand());
    for (const std::string& entry : secrets_.Environment()) options.environment.push_back(entry);
    return testing::RunPostriderCli(args, dir_.path(), options);
  }

  // No token the server issued is in the program's output or in any file of
  // the test's folder (settings, log, state).
  void ExpectTokensNowhere(const CliRun& run) const {
    const std::vector<std::string> tokens = IssuedTokens(oauth_.RequestLog());
    ASSERT_FALSE(tokens.empty());
    for (const std::string& token : tokens) {
      EXPECT_EQ(run.out.find(token), std::string::npos);
      EXPECT_EQ(run.err.find(token), std::string::npos);
      for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
        if (!entry.is_regular_file()) continue;
        EXPECT_EQ(ReadFileBytes(entry.path().string()).find(token), std::string::npos)
            << entry.path();
      }
    }
  }

  testing::SecretServiceSession secrets_;
  OAuthTestServer oauth_;
  testing::TestCertificates certificates_;
  TempDir dir_;
};

TEST_F(SignInCommandTest, SignInKeepsTheRefreshTokenInTheSecretStoreAndPrintsNoToken) {
  const std::string settings = Settings();
  const std::string before = ReadFileBytes(settings);
  const CliRun run = Cli({"sign-in", "--settings", settings});
  ASSERT_EQ(run.exitCode, 0) << run.err << "\n" << oauth_.BrowserLog();
  EXPECT_NE(run.out.find("Signed in as ann@example.test"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find(oauth_.authorizeUrl() + "?"), std::string::npos) << run.err;

  const std::string log = oauth_.RequestLog();
  const std::string marker = "\"refresh_token\": \"";
  const std::size_t at = log.find(marker);
  ASSERT_NE(at, std::string::npos) << log;
  const std::string refresh = log.substr(at + marker.size(),
                                         log.find('"', at + marker.size()) - at - marker.size());
  EXPECT_EQ(secrets_.Lookup("ann@example.test"), refresh);
  EXPECT_EQ(ReadFileBytes(settings), before);
  ExpectTokensNowhere(run);
}

TEST_F(SignInCommandTest, CheckServerShowsTheTokenStepThenWhatTheServerOffers) {
  ASSERT_EQ(Cli({"sign-in", "--settings", Settings()}).exitCode, 0);
  const testing::CertificateFiles good = certificates_.Good();
  // A submission server that takes passwords only.
  testing::ServerScript script;
  script.tlsCertificate = good.certificate;
  script.tlsKey = good.key;
  script.requireStartTls = true;
  script.authUser = "ann@example.test";
  script.authPassword = "unused";
  testing::ScriptedSmtpServer server(script);

  const CliRun run = Cli({"check-server", "--settings", Settings(server.address())});
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  EXPECT_NE(run.out.find("OAuth 2.0: the access token of ann@example.test from " +
                         oauth_.tokenUrl()),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("OAuth 2.0: an access token is at hand"), std::string::npos);
  EXPECT_NE(run.err.find("neither OAUTHBEARER nor XOAUTH2"), std::string::npos) << run.err;
  ExpectTokensNowhere(run);

  // The user withdraws the application's access at the provider.
  oauth_.RevokeRefreshTokens();
  const CliRun revoked = Cli({"check-server", "--settings", Settings(server.address())});
  EXPECT_EQ(revoked.exitCode, 1);
  EXPECT_NE(revoked.err.find("invalid_grant"), std::string::npos) << revoked.err;
  EXPECT_NE(revoked.err.find("Sign in again for ann@example.test"), std::string::npos);
  EXPECT_EQ(secrets_.Lookup("ann@example.test"), "");
}

TEST_F(SignInCommandTest, CheckServerLogsInWithTheTokenByOAuthBearerFirstThenXOAuth2) {
  ASSERT_EQ(Cli({"sign-in", "--settings", Settings()}).exitCode, 0);
  const testing::CertificateFiles good = certificates_.Good();
  for (const bool bearerOffered : {true, false}) {
    testing::ServerScript script;
    script.tlsCertificate = good.certificate;
    script.tlsKey = good.key;
    script.requireStartTls = true;
    script.oauthIntrospectUrl = oauth_.introspectUrl();
    script.oauthCaFile = oauth_.caFile();
    script.authExclude = {"PLAIN", "LOGIN"};
    if (!bearerOffered) script.authExclude.push_back("OAUTHBEARER");
    testing::ScriptedSmtpServer server(script);
    const CliRun run = Cli({"check-server", "--settings", Settings(server.address())});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find(bearerOffered ? "AUTH OAUTHBEARER as ann@example.test: 235"
                                         : "AUTH XOAUTH2 as ann@example.test: 235"),
              std::string::npos)
        << run.out;
    ExpectTokensNowhere(run);
  }
}

// The access token is the sign-in's, not a password to be put right where it came from.
TEST_F(SignInCommandTest, ASendWhoseTokenTheServerRefusesSaysWhatTheNextRunDoes) {
  ASSERT_EQ(Cli({"sign-in", "--settings", Settings()}).exitCode, 0);
  const char* source = std::getenv("POSTRIDER_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  fs::copy(fs::path(source) / "examples", dir_.File("examples"));
  const testing::CertificateFiles good = certificates_.Good();
  testing::ServerScript script;
  script.tlsCertificate = good.certificate;
  script.tlsKey = good.key;
  script.requireStartTls = true;
  script.oauthIntrospectUrl = oauth_.introspectUrl();
  script.oauthCaFile = oauth_.caFile();
  script.oauthScope = "https://mail.example.test/everything";  // not the token's
  script.authExclude = {"PLAIN", "LOGIN"};
  testing::ScriptedSmtpServer server(script);

  const CliRun run = Cli({"send", dir_.File("examples/example.prj"), "--from-start",
                          "--settings", Settings(server.address())});

  EXPECT_EQ(run.exitCode, 2) << run.err;
  EXPECT_NE(run.err.find("535 5.7.8"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("The next run gets a new access token; if that one is refused too, "
                         "sign in again"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("refused the password"), std::string::npos) << run.err;
  EXPECT_EQ(server.MessageCount(), 0);
  EXPECT_NE(secrets_.Lookup("ann@example.test"), "");  // the sign-in stays
  ExpectTokensNowhere(run);
}

TEST_F(SignInCommandTest, WithoutASecretStoreNothingIsSignedInAndNoBrowserOpens) {
  CliOptions noBus;
  noBus.environment.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir_.File("no-bus"));
  const CliRun run = Cli({"sign-in", "--settings", Settings()}, noBus);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("there is no secret store to keep the sign-in in"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("TokenCommand"), std::string::npos);
  EXPECT_EQ(oauth_.BrowserLog(), "");
}

TEST_F(SignInCommandTest, SettingsThatCannotSignInAreToldBeforeAnythingStarts) {
  const struct {
    std::string more;
    std::string told;
  } cases[] = {
      {"AuthMethod=password\n", "set AuthMethod=oauth2"},
      {"AuthMethod=kerberos\n", "AuthMethod=kerberos is not one of password or oauth2"},
      {"TokenCommand=echo x\n", "TokenCommand is set"},
      {"OAuthClientId=\n", "needs OAuthClientId"},
      {"OAuthTokenUrl=http://127.0.0.1:1/token\n", "is not an https:// address"},
  };
  for (const auto& c : cases) {
    // The case's line replaces the one Settings() wrote.
    std::string text = ReadFileBytes(Settings());
    const std::string key = c.more.substr(0, c.more.find('=') + 1);
    const std::size_t at = text.find("\n" + key);
    if (at != std::string::npos) text.erase(at + 1, text.find('\n', at + 1) - at);
    const CliRun run = Cli({"sign-in", "--settings", dir_.Write("settings.ini", text + c.more)});
    EXPECT_EQ(run.exitCode, 2) << c.more;
    EXPECT_NE(run.err.find(c.told), std::string::npos) << c.more << run.err;
  }
  EXPECT_EQ(oauth_.BrowserLog(), "");
}

}  // namespace
}  // namespace postrider

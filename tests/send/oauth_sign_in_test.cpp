#include "send/oauth_sign_in.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <thread>
#include <utility>

#include "platform/blocking_call.h"
#include "platform/browser_launch.h"
#include "platform/url_text.h"
#include "send/oauth_client.h"
#include "support/memory_token_store.h"
#include "support/oauth_test_server.h"

namespace postrider {
namespace {

using testing::OAuthServerOptions;
using testing::MemoryTokenStore;
using testing::OAuthTestServer;

constexpr const char* kScope = "https://mail.example.test/send offline_access";

// What the server logged, one JSON document a line, as text lines.
std::vector<std::string> LogLines(const std::string& log, const std::string& holding) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(start, end - start);
    if (line.find(holding) != std::string::npos) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// The value of "key":"value" in a logged line.
std::string Logged(const std::string& line, const std::string& key) {
  const std::string marker = "\"" + key + "\": \"";
  const std::size_t start = line.find(marker);
  if (start == std::string::npos) return {};
  const std::size_t from = start + marker.size();
  return line.substr(from, line.find('"', from) - from);
}

class OAuthSignIn : public ::testing::Test {
 protected:
  void Start(OAuthServerOptions options = {}) {
    server_ = std::make_unique<OAuthTestServer>(std::move(options));
    settings_.userName = "ann@example.test";
    settings_.authMethod = "oauth2";
    settings_.oauthClientId = server_->options().clientId;
    settings_.oauthAuthorizeUrl = server_->authorizeUrl();
    settings_.oauthTokenUrl = server_->tokenUrl();
    settings_.oauthScope = kScope;
    settings_.oauthTrustFile = server_->caFile();
    setenv(kBrowserVariable, server_->BrowserCommand().c_str(), 1);
  }

  SignInResult SignInNow() {
    SignInOptions options;
    options.wait = std::chrono::minutes(2);
    options.addressReady = [this](const std::string& address, const Status& browser) {
      address_ = address;
      browserStarted_ = browser.ok();
    };
    return SignIn(settings_, tokens_, options);
  }

  std::vector<std::string> TokenRequests() const {
    return LogLines(server_->RequestLog(), "\"path\": \"/token\"");
  }

  std::unique_ptr<OAuthTestServer> server_;
  UserSettings settings_;
  MemoryTokenStore store_;
  std::chrono::steady_clock::time_point now_ = std::chrono::steady_clock::now();
  OAuthTokens tokens_{&store_, [this] { return now_; }};
  std::string address_;
  bool browserStarted_ = false;
};

TEST_F(OAuthSignIn, TheBrowserFlowWithPkceKeepsTheRefreshTokenAndTheAccessTokenOnlyInMemory) {
  Start();
  const SignInResult result = SignInNow();
  ASSERT_TRUE(result.ok()) << result.message << "\n" << server_->BrowserLog();
  EXPECT_TRUE(browserStarted_);
  EXPECT_EQ(result.account, "ann@example.test");
  EXPECT_EQ(result.notes, "");
  EXPECT_EQ(result.storeError, "");

  // The server saw an S256 challenge, then the verifier that matched it.
  const std::vector<std::string> asked = LogLines(server_->RequestLog(), "\"path\": \"/authorize\", \"query\"");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(Logged(asked[0], "code_challenge_method"), "S256");
  EXPECT_EQ(Logged(asked[0], "code_challenge").size(), 43u);
  EXPECT_EQ(Logged(asked[0], "login_hint"), "ann@example.test");
  EXPECT_EQ(Logged(asked[0], "redirect_uri").rfind("http://127.0.0.1:", 0), 0u);
  const std::vector<std::string> exchanged = TokenRequests();
  ASSERT_EQ(exchanged.size(), 1u);
  EXPECT_NE(exchanged[0].find("\"code_verifier\": true"), std::string::npos);
  EXPECT_NE(exchanged[0].find("\"status\": 200"), std::string::npos);
  EXPECT_NE(server_->BrowserLog().find("Postrider has the sign-in"), std::string::npos);

  EXPECT_EQ(store_.Kept(settings_), Logged(exchanged[0], "refresh_token"));
  const AccessToken token = tokens_.Token(settings_);
  ASSERT_TRUE(token.ok()) << token.message;
  EXPECT_EQ(token.token.reveal(), Logged(exchanged[0], "access_token"));
  EXPECT_EQ(TokenRequests().size(), 1u);  // from memory, not asked again
  EXPECT_TRUE(tokens_.HasSignIn(settings_));
}

TEST_F(OAuthSignIn, TheAccessTokenIsRenewedBeforeItExpiresAndARotatedRefreshTokenKept) {
  OAuthServerOptions options;
  options.expiresIn = 600;
  Start(options);
  ASSERT_TRUE(SignInNow().ok());
  const std::string first = std::string(tokens_.Token(settings_).token.reveal());

  now_ += std::chrono::seconds(250);  // 350 s left: still good
  EXPECT_EQ(tokens_.Token(settings_).token.reveal(), first);
  EXPECT_EQ(TokenRequests().size(), 1u);

  now_ += std::chrono::seconds(60);  // 290 s left: too little for a run's connection
  const AccessToken renewed = tokens_.Token(settings_);
  ASSERT_TRUE(renewed.ok()) << renewed.message;
  EXPECT_NE(renewed.token.reveal(), first);
  const std::vector<std::string> requests = TokenRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(Logged(requests[1], "grant_type"), "refresh_token");
  EXPECT_EQ(store_.Kept(settings_), Logged(requests[1], "refresh_token"));
  EXPECT_NE(Logged(requests[1], "refresh_token"), Logged(requests[0], "refresh_token"));
}

TEST_F(OAuthSignIn, ARevokedRefreshTokenAsksToSignInAgainAndIsForgotten) {
  Start();
  ASSERT_TRUE(SignInNow().ok());
  server_->RevokeRefreshTokens();
  now_ += std::chrono::hours(2);
  const AccessToken refused = tokens_.Token(settings_);
  EXPECT_EQ(refused.failure, OAuthFailure::SignInNeeded);
  EXPECT_NE(refused.message.find("no longer takes the sign-in of ann@example.test"),
            std::string::npos)
      << refused.message;
  EXPECT_NE(refused.message.find("invalid_grant"), std::string::npos);
  EXPECT_NE(refused.message.find("Sign in again"), std::string::npos);
  EXPECT_EQ(store_.Kept(settings_), "");
  EXPECT_FALSE(tokens_.HasSignIn(settings_));

  const AccessToken again = tokens_.Token(settings_);
  EXPECT_EQ(again.failure, OAuthFailure::SignInNeeded);
  EXPECT_EQ(TokenRequests().size(), 2u);  // nothing to ask the provider with
}

// A store another program writes to between this program's read and its
// refresh: the first read gives what the store held before.
class ReadBeforeAnotherProgram : public IRefreshTokenStore {
 public:
  ReadBeforeAnotherProgram(IRefreshTokenStore& store, std::string before)
      : store_(store), before_(std::move(before)) {}
  StoredRefreshToken Read(const RefreshTokenKey& key) override {
    if (before_.empty()) return store_.Read(key);
    StoredRefreshToken stored;
    stored.state = StoredRefreshToken::State::Found;
    stored.token = Secret(std::exchange(before_, std::string()));
    return stored;
  }
  Status Write(const RefreshTokenKey& key, const Secret& token) override {
    return store_.Write(key, token);
  }
  Status Erase(const RefreshTokenKey& key) override { return store_.Erase(key); }

 private:
  IRefreshTokenStore& store_;
  std::string before_;
};

TEST_F(OAuthSignIn, ASignInKeptByAnotherProgramWhileARefreshWasRefusedIsUsedNotErased) {
  Start();
  ASSERT_TRUE(SignInNow().ok());
  const std::string revoked = store_.Kept(settings_);
  server_->RevokeRefreshTokens();
  // postrider-cli sign-in, while a send had read the old token.
  OAuthTokens other(&store_);
  SignInOptions options;
  options.wait = std::chrono::minutes(2);
  ASSERT_TRUE(SignIn(settings_, other, options).ok());
  ASSERT_NE(store_.Kept(settings_), revoked);

  ReadBeforeAnotherProgram racing(store_, revoked);
  OAuthTokens sending(&racing);
  const AccessToken token = sending.Token(settings_);
  EXPECT_TRUE(token.ok()) << token.message;
  EXPECT_FALSE(store_.Kept(settings_).empty());
  EXPECT_TRUE(OAuthTokens(&store_).Token(settings_).ok());
}

// A store that reads and erases but can keep nothing new (a full disk, a
// keyring that refuses the write).
class StoreThatCannotWrite : public IRefreshTokenStore {
 public:
  explicit StoreThatCannotWrite(IRefreshTokenStore& store) : store_(store) {}
  StoredRefreshToken Read(const RefreshTokenKey& key) override { return store_.Read(key); }
  Status Write(const RefreshTokenKey&, const Secret&) override {
    return Status::Error("the keyring refused the item");
  }
  Status Erase(const RefreshTokenKey& key) override { return store_.Erase(key); }

 private:
  IRefreshTokenStore& store_;
};

TEST(OAuthTokensStore, ANewSignInTheStoreCannotKeepLeavesTheEarlierOneKept) {
  for (const std::string earlier : {"earlier-refresh-token", ""}) {
    SCOPED_TRACE(earlier);
    UserSettings settings;
    settings.userName = "ann@example.test";
    settings.oauthTokenUrl = "https://login.example.test/token";
    settings.oauthClientId = "client";
    MemoryTokenStore memory;
    if (!earlier.empty()) ASSERT_TRUE(memory.Write(RefreshTokenKeyOf(settings), Secret(earlier)));
    StoreThatCannotWrite store(memory);
    OAuthTokens tokens(&store);
    TokenGrant grant;
    grant.accessToken = Secret("new-access-token");
    grant.refreshToken = Secret("new-refresh-token");
    const Status kept = tokens.Keep(settings, std::move(grant));
    EXPECT_FALSE(kept);
    EXPECT_NE(kept.message().find("the keyring refused the item"), std::string::npos);

    tokens.DropUnkept(settings);
    EXPECT_EQ(memory.Kept(settings), earlier);
    EXPECT_EQ(tokens.HasSignIn(settings), !earlier.empty());
  }
}

TEST_F(OAuthSignIn, AProviderQuotingTheRefreshTokenInItsRefusalNeverHasItShown) {
  const struct {
    std::string error;
    OAuthFailure failure;
    std::string clientSecret = "";
  } cases[] = {{"invalid_grant", OAuthFailure::SignInNeeded},
               {"invalid_request", OAuthFailure::Refused},
               // Quoted with the form as it came: percent-encoded.
               {"invalid_request", OAuthFailure::Refused, "Cl/ent+Secret=1&x"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    OAuthServerOptions options;
    options.refuseRefresh = c.error;
    options.clientSecret = c.clientSecret;
    Start(options);
    settings_.oauthClientSecret = c.clientSecret;
    ASSERT_TRUE(SignInNow().ok());
    const std::string kept = store_.Kept(settings_);
    ASSERT_FALSE(kept.empty());
    now_ += std::chrono::hours(2);
    const AccessToken refused = tokens_.Token(settings_);
    EXPECT_EQ(refused.failure, c.failure);
    EXPECT_NE(refused.message.find(c.error + ": refresh_token "), std::string::npos);
    EXPECT_NE(refused.message.find(" is not accepted (grant_type=refresh_token&"),
              std::string::npos)
        << refused.message;
    EXPECT_EQ(refused.message.find(kept), std::string::npos);
    if (!c.clientSecret.empty()) {
      EXPECT_EQ(refused.message.find(PercentEncode(c.clientSecret)), std::string::npos)
          << refused.message;
      EXPECT_NE(refused.message.find("client_secret=[hidden]"), std::string::npos)
          << refused.message;
    }
  }
}

TEST_F(OAuthSignIn, AScopeTheUserDidNotGrantFailsTheSignInAndKeepsNothing) {
  OAuthServerOptions options;
  options.grantScope = "https://other.example.test/read";
  Start(options);
  const SignInResult result = SignInNow();
  EXPECT_EQ(result.failure, OAuthFailure::Refused);
  EXPECT_NE(result.message.find("granted https://other.example.test/read but not "
                                "https://mail.example.test/send"),
            std::string::npos)
      << result.message;
  EXPECT_EQ(store_.Kept(settings_), "");
  EXPECT_FALSE(tokens_.HasSignIn(settings_));
}

TEST_F(OAuthSignIn, RefusalsAtTheProviderAreToldInItsWords) {
  struct Case {
    OAuthServerOptions options;
    void (*change)(UserSettings&);
    OAuthFailure failure;
    std::string messageHolds;
  };
  OAuthServerOptions declined;
  declined.refuse = "access_denied:AADSTS65004: User declined to consent to access the app.";
  OAuthServerOptions confidential;
  confidential.clientSecret = "s3cret";
  // A page that sends its whole story back with the browser.
  OAuthServerOptions verbose;
  verbose.refuse = "access_denied:" + std::string(12000, 'v');
  const Case cases[] = {
      {declined, [](UserSettings&) {}, OAuthFailure::Refused,
       "The provider refused the sign-in: access_denied: AADSTS65004: User declined to consent"},
      // A client that needs its secret, given none.
      {confidential, [](UserSettings&) {}, OAuthFailure::Refused, "invalid_client"},
      // The same with it: passes.
      {confidential, [](UserSettings& s) { s.oauthClientSecret = "s3cret"; }, OAuthFailure::None,
       ""},
      // A token endpoint whose certificate is not trusted is never given the code.
      {{}, [](UserSettings& s) { s.oauthTrustFile.clear(); }, OAuthFailure::NoAnswer,
       "certificate"},
      {verbose, [](UserSettings&) {}, OAuthFailure::Refused,
       "The provider refused the sign-in: access_denied: vvvv"},
  };
  for (const Case& c : cases) {
    Start(c.options);
    c.change(settings_);
    const SignInResult result = SignInNow();
    EXPECT_EQ(result.failure, c.failure) << result.message;
    EXPECT_NE(result.message.find(c.messageHolds), std::string::npos) << result.message;
    EXPECT_LT(result.message.size(), 1000u);
  }
}

// A request to the loopback port, and the status line it got.
std::string Ask(int port, const std::string& target) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n";
    (void)!write(fd, request.data(), request.size());
    char buffer[512];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) answer.assign(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  return answer.substr(0, answer.find("\r\n"));
}

int PortOf(const std::string& address) {
  const auto query = ParseQuery(address.substr(address.find('?') + 1));
  const std::string redirect = query->at("redirect_uri");
  return std::atoi(redirect.substr(redirect.rfind(':') + 1).c_str());
}

TEST_F(OAuthSignIn, OnlyTheAnswerWithItsStateEndsTheWaitAndCancelEndsItToo) {
  Start();
  SignInOptions options;
  options.openBrowser = false;
  std::thread visitor;
  std::string wrongState;
  std::string favicon;
  options.addressReady = [&](const std::string& address, const Status& browser) {
    EXPECT_FALSE(browser);
    const int port = PortOf(address);
    visitor = std::thread([&, port, address] {
      wrongState = Ask(port, "/?code=stolen&state=guess");
      favicon = Ask(port, "/favicon.ico");
      // Then the user's own browser.
      const std::string command = server_->BrowserCommand() + " '" + address + "'";
      (void)!std::system(command.c_str());
    });
  };
  const SignInResult result = SignIn(settings_, tokens_, options);
  visitor.join();
  EXPECT_TRUE(result.ok()) << result.message;
  EXPECT_EQ(wrongState, "HTTP/1.1 400 Bad Request");
  EXPECT_EQ(favicon, "HTTP/1.1 404 Not Found");

  // Nobody comes: Cancel (Esc, Ctrl+C) ends the wait, and the port closes.
  int port = 0;
  options.addressReady = [&](const std::string& address, const Status&) {
    port = PortOf(address);
    SetBlockingHook([] { CancelBlockingCall(); });
  };
  const SignInResult cancelled = SignIn(settings_, tokens_, options);
  SetBlockingHook({});
  EXPECT_EQ(cancelled.failure, OAuthFailure::Cancelled);
  EXPECT_EQ(Ask(port, "/?state=x"), "");
}

}  // namespace
}  // namespace postrider

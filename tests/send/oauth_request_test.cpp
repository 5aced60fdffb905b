#include <gtest/gtest.h>

#include "platform/base64.h"
#include "platform/url_text.h"
#include "platform/utf8_text.h"
#include "send/mail_providers.h"
#include "send/oauth_authorization.h"
#include "send/oauth_client.h"
#include "send/oauth_token_response.h"
#include "send/oauth_tokens.h"

namespace postrider {
namespace {

UserSettings OAuthSettings() {
  UserSettings settings;
  settings.userName = "ann@example.com";
  settings.authMethod = "oauth2";
  settings.oauthClientId = "client-1";
  settings.oauthAuthorizeUrl = "https://login.example.com/authorize";
  settings.oauthTokenUrl = "https://login.example.com/token";
  settings.oauthScope = "https://mail.example.com/send offline_access";
  return settings;
}

TEST(OAuthRequest, PkceChallengeIsS256OfARandomVerifier) {
  // RFC 7636, appendix B.
  EXPECT_EQ(PkceChallengeOf("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
            "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
  const Result<std::string> one = RandomUrlSafeText(32);
  const Result<std::string> two = RandomUrlSafeText(32);
  ASSERT_TRUE(one && two);
  EXPECT_EQ(one->size(), 43u);  // within RFC 7636's 43 to 128 characters
  EXPECT_NE(*one, *two);
  EXPECT_EQ(one->find_first_not_of(
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
            std::string::npos);
}

TEST(OAuthRequest, TheAuthorizationAddressAsksForACodeWithTheChallengeAndTheAccount) {
  const Result<OAuthClient> client = OAuthClientFromSettings(OAuthSettings());
  ASSERT_TRUE(client);
  const std::string url =
      AuthorizationUrl(*client, "http://127.0.0.1:40100/", "st4te", "ch4llenge", "ann@example.com");
  ASSERT_EQ(url.rfind("https://login.example.com/authorize?", 0), 0u);
  const auto query = ParseQuery(url.substr(url.find('?') + 1));
  ASSERT_TRUE(query);
  const std::map<std::string, std::string> expected = {
      {"response_type", "code"},
      {"client_id", "client-1"},
      {"redirect_uri", "http://127.0.0.1:40100/"},
      {"scope", "https://mail.example.com/send offline_access"},
      {"state", "st4te"},
      {"code_challenge", "ch4llenge"},
      {"code_challenge_method", "S256"},
      {"login_hint", "ann@example.com"}};
  EXPECT_EQ(*query, expected);
  OAuthClient withQuery = *client;
  withQuery.authorizeUrl += "?tenant=x";
  EXPECT_NE(AuthorizationUrl(withQuery, "r", "s", "c", "").find("?tenant=x&response_type=code"),
            std::string::npos);
}

TEST(OAuthRequest, SettingsThatCannotSignInNameTheSettingToFill) {
  struct Case {
    void (*change)(UserSettings&);
    std::string errorHolds;
  };
  const Case cases[] = {
      {[](UserSettings&) {}, ""},
      {[](UserSettings& s) { s.userName.clear(); }, "UserName"},
      {[](UserSettings& s) { s.oauthClientId.clear(); }, "OAuthClientId"},
      {[](UserSettings& s) { s.oauthAuthorizeUrl.clear(); }, "OAuthAuthorizeUrl"},
      {[](UserSettings& s) { s.oauthTokenUrl = "http://login.example.com/token"; },
       "OAuthTokenUrl=http://login.example.com/token is not an https:// address"},
      // A hand-edited file's escape sequences never reach a terminal.
      {[](UserSettings& s) { s.oauthTokenUrl = "ftp://x\x1b]0;owned\x07/token"; },
       "OAuthTokenUrl=ftp://x?]0;owned?/token is not an https:// address"},
  };
  for (const Case& c : cases) {
    UserSettings settings = OAuthSettings();
    c.change(settings);
    const Result<OAuthClient> client = OAuthClientFromSettings(settings);
    EXPECT_EQ(client.ok(), c.errorHolds.empty());
    EXPECT_NE(client.status().message().find(c.errorHolds), std::string::npos)
        << client.status().message();
  }
  UserSettings settings = OAuthSettings();
  for (const char* method : {"password", "OAuth2", "oauth2"}) {
    settings.authMethod = method;
    EXPECT_TRUE(CheckAuthMethod(settings)) << method;
  }
  settings.authMethod = "kerberos";
  EXPECT_EQ(CheckAuthMethod(settings).message(),
            "The setting AuthMethod=kerberos is not one of password or oauth2.");
  settings.authMethod = "oauth\x1b[2J\x9b" "2";
  EXPECT_EQ(CheckAuthMethod(settings).message(),
            "The setting AuthMethod=oauth?[2J?2 is not one of password or oauth2.");
}

TEST(OAuthRequest, MicrosoftsRegistrationsTakeLocalhostOthersTheLoopbackAddress) {
  EXPECT_EQ(RedirectHostFor("https://login.microsoftonline.com/common/oauth2/v2.0/authorize"),
            "localhost");
  EXPECT_EQ(RedirectHostFor("https://LOGIN.microsoftonline.com:443/x/oauth2/v2.0/authorize"),
            "localhost");
  EXPECT_EQ(RedirectHostFor("https://accounts.google.com/o/oauth2/v2/auth"), "127.0.0.1");
  EXPECT_EQ(RedirectHostFor("https://login.microsoftonline.com.example.net/authorize"),
            "127.0.0.1");
  EXPECT_TRUE(RefreshNamesScope("https://login.microsoftonline.com/common/oauth2/v2.0/token"));
  EXPECT_FALSE(RefreshNamesScope("https://oauth2.googleapis.com/token"));
}

std::string IdToken(const std::string& claims) {
  return Base64Url(R"({"alg":"none"})") + "." + Base64Url(claims) + ".sig";
}

std::string Repeated(const std::string& text, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += text;
  return out;
}

TEST(OAuthRequest, TokenResponsesGiveAGrantOrTheProvidersWords) {
  struct Case {
    long status;
    std::string body;
    std::string error;  // empty: a grant
    std::string errorTextHolds;
  };
  const std::string good =
      R"({"access_token":"at-1","token_type":"Bearer","expires_in":3599,"refresh_token":"rt-1",)"
      R"("scope":"https://mail.google.com/ openid","id_token":")" +
      IdToken(R"({"email":"ann@example.com","sub":"1"})") + "\"}";
  const Case cases[] = {
      {200, good, "", ""},
      {200, R"({"access_token":"at-2","token_type":"bearer","expires_in":"3600"})", "", ""},
      {400,
       R"({"error":"invalid_grant","error_description":"AADSTS70008: The provided authorization code or refresh token has expired due to inactivity.","error_codes":[70008]})",
       "invalid_grant", "invalid_grant: AADSTS70008: The provided authorization code"},
      {401, R"({"error":"invalid_client","error_description":"The OAuth client was not found."})",
       "invalid_client", "invalid_client: The OAuth client was not found."},
      {400, R"({"error":"unauthorized_client"})", "unauthorized_client", "unauthorized_client"},
      {502, "<html>Bad Gateway</html>", "HTTP status 502", "HTTP status 502"},
      {200, R"({"token_type":"Bearer"})", "no_token", "holds no access token"},
      {200, "not json at-3", "no_token", "holds no access token"},
      {200, R"({"access_token":"at-4","token_type":"mac"})", "unsupported_token_type", "mac"},
      // Control bytes would end the SASL answer's fields early.
      {200, R"({"access_token":"at-5\u0001user=eve@example.com\u0001","token_type":"Bearer"})",
       "no_token", "characters no access token has"},
      {200, R"({"access_token":"at-6\r\nQUIT","token_type":"Bearer"})", "no_token",
       "characters no access token has"},
      {200, R"({"access_token":"at-8\u0000x","token_type":"Bearer"})", "no_token",
       "characters no access token has"},
      // A hostile endpoint's words of the wrong kind, or nested past any stack.
      {400, R"({"error":["invalid_grant"],"error_description":{"at-9":1}})", "error", "error"},
      {200, std::string(200000, '[') + std::string(200000, ']'), "no_token",
       "holds no access token"},
      // A megabyte of words is cut to what a message can show, at a whole letter.
      {400, R"({"error":"invalid_request","error_description":")" + std::string(1 << 20, 'w') +
                "\"}",
       "invalid_request", "invalid_request: wwww"},
      {400, R"({"error":"invalid_request","error_description":"x)" + Repeated("\u00e9", 300000) +
                "\"}",
       "invalid_request", "invalid_request: x\xc3\xa9"},
      {400, R"({"error":")" + std::string(1 << 20, 'e') + "\"}", std::string(1 << 20, 'e'),
       "eeee"},
  };
  for (const Case& c : cases) {
    const TokenResponse response = ReadTokenResponse(c.status, c.body);
    EXPECT_EQ(response.error, c.error) << c.body;
    EXPECT_EQ(response.grant.has_value(), c.error.empty());
    EXPECT_NE(response.ErrorText().find(c.errorTextHolds), std::string::npos)
        << response.ErrorText();
    // No token ever reaches an error text.
    EXPECT_EQ(response.ErrorText().find("at-"), std::string::npos);
    EXPECT_LT(response.ErrorText().size(), 1000u);
    EXPECT_TRUE(IsValidUtf8(response.ErrorText()));
  }
  const TokenResponse granted = ReadTokenResponse(200, good);
  EXPECT_EQ(granted.grant->accessToken.reveal(), "at-1");
  EXPECT_EQ(granted.grant->refreshToken.reveal(), "rt-1");
  EXPECT_EQ(granted.grant->expiresIn, std::chrono::seconds(3599));
  EXPECT_EQ(granted.grant->account, "ann@example.com");
  EXPECT_EQ(ReadTokenResponse(200, cases[1].body).grant->expiresIn, std::chrono::seconds(3600));
  EXPECT_TRUE(ReadTokenResponse(200, cases[1].body).grant->refreshToken.empty());
  // A life no clock can add is taken as a year.
  const TokenResponse endless =
      ReadTokenResponse(200, R"({"access_token":"at-7","expires_in":9223372036854775807})");
  ASSERT_TRUE(endless.grant);
  EXPECT_EQ(endless.grant->expiresIn, std::chrono::hours(366 * 24));
}

TEST(OAuthRequest, ATokenCommandsLineIsTheTokenOnlyWhenItCanBeOne) {
  OAuthTokens tokens(nullptr);
  UserSettings settings = OAuthSettings();
  settings.tokenCommand = "echo ya29.a0-token_1~/+=";
  AccessToken token = tokens.Token(settings);
  EXPECT_EQ(token.token.reveal(), "ya29.a0-token_1~/+=") << token.message;
  settings.tokenCommand = "printf 'at-8\001user=eve@example.com\n'";
  token = tokens.Token(settings);
  EXPECT_TRUE(token.token.empty());
  EXPECT_EQ(token.failure, OAuthFailure::Settings);
  EXPECT_NE(token.message.find("TokenCommand printed something that is no access token"),
            std::string::npos)
      << token.message;
  EXPECT_EQ(token.message.find("at-8"), std::string::npos);
}

TEST(OAuthRequest, TheAccountComesFromTheIdTokensAddressClaims) {
  EXPECT_EQ(AccountOfIdToken(IdToken(R"({"preferred_username":"bo@contoso.com"})")),
            "bo@contoso.com");
  EXPECT_EQ(AccountOfIdToken(IdToken(R"({"upn":"cy@contoso.com","email":"c@x.org"})")),
            "c@x.org");
  EXPECT_EQ(AccountOfIdToken(IdToken(R"({"sub":"42"})")), "");
  EXPECT_EQ(AccountOfIdToken("no-dots"), "");
  EXPECT_EQ(AccountOfIdToken("a.%%%.c"), "");
}

TEST(OAuthRequest, ScopesNotGrantedAreFoundLeavingOutThoseOfOpenIdConnect) {
  struct Case {
    std::string requested, granted;
    std::vector<std::string> missing;
  };
  const Case cases[] = {
      {"https://outlook.office.com/SMTP.Send offline_access openid email",
       "https://outlook.office.com/SMTP.Send", {}},
      {"https://mail.google.com/ openid email",
       "openid https://www.googleapis.com/auth/userinfo.email https://mail.google.com/", {}},
      {"https://mail.google.com/ openid email", "openid https://www.googleapis.com/auth/userinfo.email",
       {"https://mail.google.com/"}},
      {"a b", "", {"a", "b"}},
  };
  for (const Case& c : cases) EXPECT_EQ(MissingScopes(c.requested, c.granted), c.missing);
}

TEST(OAuthRequest, ProvidersFillServerSecuritySignInAndEndpoints) {
  const auto providers = MailProviders();
  ASSERT_EQ(providers.size(), 5u);
  UserSettings settings = OAuthSettings();
  settings.oauthClientId = "ms-client";
  settings.oauthTokenUrl = "https://login.microsoftonline.com/common/oauth2/v2.0/token";
  ApplyMailProvider(providers[0], settings);
  EXPECT_EQ(settings.smtpServer, "smtp.office365.com:587");
  EXPECT_EQ(settings.security, "starttls");
  EXPECT_EQ(settings.authMethod, "oauth2");
  EXPECT_EQ(settings.oauthClientId, "ms-client");  // same provider: kept
  EXPECT_NE(settings.oauthScope.find("https://outlook.office.com/SMTP.Send offline_access"),
            std::string::npos);
  EXPECT_EQ(ProviderOfSettings(settings), &providers[0]);
  ApplyMailProvider(providers[1], settings);
  EXPECT_EQ(settings.smtpServer, "smtp.gmail.com:465");
  EXPECT_EQ(settings.security, "tls");
  EXPECT_EQ(settings.oauthClientId, "");  // another provider's registration goes
  EXPECT_EQ(settings.oauthScope.rfind("https://mail.google.com/", 0), 0u);
  EXPECT_EQ(settings.userName, "ann@example.com");
  ApplyMailProvider(providers[3], settings);
  EXPECT_EQ(settings.authMethod, "password");
  EXPECT_EQ(settings.smtpServer, "smtp.mail.me.com:587");
  settings.smtpServer = "SMTP.mail.me.com";  // another port, or none: the same provider
  EXPECT_EQ(ProviderOfSettings(settings), &providers[3]);
  settings.smtpServer = "mail.example.org";
  EXPECT_EQ(ProviderOfSettings(settings), nullptr);
}

}  // namespace
}  // namespace postrider

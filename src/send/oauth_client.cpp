#include "send/oauth_client.h"

#include "platform/ascii_text.h"
#include "platform/url_text.h"
#include "smtp/smtp_wording.h"

namespace postrider {
namespace {

std::string HostOf(const std::string& url) {
  const std::size_t start = url.find("://");
  if (start == std::string::npos) return {};
  std::string host = url.substr(start + 3);
  host = host.substr(0, host.find_first_of("/?#"));
  if (const std::size_t at = host.rfind('@'); at != std::string::npos) host.erase(0, at + 1);
  if (const std::size_t colon = host.rfind(':');
      colon != std::string::npos && host.find(']') == std::string::npos) {
    host.erase(colon);
  }
  return AsciiLowercase(host);
}

bool IsMicrosoftIdentityPlatform(const std::string& url) {
  const std::string host = HostOf(url);
  constexpr std::string_view kHost = "login.microsoftonline.com";
  return host == kHost;
}

}  // namespace

bool UsesOAuth(const UserSettings& settings) {
  return AsciiLowercase(settings.authMethod) == "oauth2";
}

Status CheckAuthMethod(const UserSettings& settings) {
  const std::string method = AsciiLowercase(settings.authMethod);
  if (method == "password" || method == "oauth2") return Status::Ok();
  return Status::Error("The setting AuthMethod=" + PrintableText(settings.authMethod) +
                       " is not one of password or oauth2.");
}

Result<OAuthClient> OAuthClientFromSettings(const UserSettings& settings) {
  if (settings.userName.empty()) {
    return Status::Error("The OAuth 2.0 sign-in needs UserName: the account's address.");
  }
  if (settings.oauthClientId.empty()) {
    return Status::Error(
        "The OAuth 2.0 sign-in needs OAuthClientId: the client ID of an application registered "
        "with the provider (see \"Signing in to Microsoft 365 or Gmail\" in the help).");
  }
  const std::pair<const char*, const std::string*> urls[] = {
      {"OAuthAuthorizeUrl", &settings.oauthAuthorizeUrl},
      {"OAuthTokenUrl", &settings.oauthTokenUrl}};
  for (const auto& [name, url] : urls) {
    if (url->empty()) {
      return Status::Error(std::string("The OAuth 2.0 sign-in needs ") + name +
                           ": choose a Provider in Configure, or set it in the settings file.");
    }
    if (!IsHttpsUrl(*url)) {
      return Status::Error(std::string("The setting ") + name + "=" + PrintableText(*url) +
                           " is not an https:// address; the sign-in goes over HTTPS only.");
    }
  }
  OAuthClient client;
  client.clientId = settings.oauthClientId;
  client.clientSecret = settings.oauthClientSecret;
  client.authorizeUrl = settings.oauthAuthorizeUrl;
  client.tokenUrl = settings.oauthTokenUrl;
  client.scope = settings.oauthScope;
  client.trustFile = settings.oauthTrustFile;
  return client;
}

RefreshTokenKey RefreshTokenKeyOf(const UserSettings& settings) {
  return {settings.userName, settings.oauthTokenUrl, settings.oauthClientId};
}

std::string RedirectHostFor(const std::string& authorizeUrl) {
  return IsMicrosoftIdentityPlatform(authorizeUrl) ? "localhost" : "127.0.0.1";
}

bool RefreshNamesScope(const std::string& tokenUrl) {
  return IsMicrosoftIdentityPlatform(tokenUrl);
}

}  // namespace postrider

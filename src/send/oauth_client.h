#pragma once

#include <string>

#include "platform/refresh_token_store.h"
#include "platform/status.h"
#include "send/user_settings.h"

namespace postrider {

// AuthMethod=oauth2, in any letter case.
bool UsesOAuth(const UserSettings& settings);

// An error naming AuthMethod when it is neither password nor oauth2.
Status CheckAuthMethod(const UserSettings& settings);

// The client registration and the provider's endpoints, as the settings
// give them.
struct OAuthClient {
  std::string clientId;
  std::string clientSecret;  // empty for a public client
  std::string authorizeUrl;
  std::string tokenUrl;
  std::string scope;
  std::string trustFile;  // OAuthTrustFile: CAs for the two URLs instead of the system's
};

// The client, or an error that names the setting to fill in: the sign-in
// needs UserName, OAuthClientId and both endpoints, each over HTTPS (the
// code, the client secret and the tokens cross to them).
Result<OAuthClient> OAuthClientFromSettings(const UserSettings& settings);

// Where the refresh token of the settings' account is kept: UserName at the
// token endpoint, for the client.
RefreshTokenKey RefreshTokenKeyOf(const UserSettings& settings);

// The host of the loopback redirect: "localhost" for Microsoft's identity
// platform, whose registrations name http://localhost (any port), else the
// address literal 127.0.0.1 that RFC 8252 recommends.
std::string RedirectHostFor(const std::string& authorizeUrl);

// Whether the token endpoint wants the scope again with a refresh token
// (Microsoft's identity platform does; others take the first grant's).
bool RefreshNamesScope(const std::string& tokenUrl);

}  // namespace postrider

#pragma once

#include <string>

#include "platform/secret.h"
#include "send/oauth_client.h"
#include "send/oauth_token_response.h"

namespace postrider {

// One request to the token endpoint and what came of it.
struct TokenEndpointAnswer {
  bool cancelled = false;
  std::string noAnswer;  // why no answer came (connection, certificate), when none did
  TokenResponse response;
};

// Exchanges the authorization code, with its PKCE verifier (RFC 7636 4.5).
TokenEndpointAnswer ExchangeAuthorizationCode(const OAuthClient& client, const std::string& code,
                                              const std::string& redirectUri,
                                              const std::string& verifier);

// Asks for a new access token with the refresh token (RFC 6749 6).
TokenEndpointAnswer RefreshAccessToken(const OAuthClient& client, const Secret& refreshToken);

}  // namespace postrider

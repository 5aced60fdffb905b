#pragma once

#include <string>
#include <string_view>

#include "platform/status.h"
#include "send/oauth_client.h"

namespace postrider {

// Text of `bytes` random bytes from OpenSSL's CSPRNG, base64url: a PKCE
// verifier or a state nobody can guess.
Result<std::string> RandomUrlSafeText(std::size_t bytes);

// RFC 7636's S256 challenge: base64url(SHA-256(verifier)).
std::string PkceChallengeOf(std::string_view verifier);

// The address the browser opens: the authorization endpoint with the
// authorization code request (RFC 6749 4.1.1) and its PKCE challenge, the
// user name as login_hint so the provider offers that account first.
std::string AuthorizationUrl(const OAuthClient& client, const std::string& redirectUri,
                             const std::string& state, const std::string& challenge,
                             const std::string& loginHint);

}  // namespace postrider

#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/secret.h"

namespace postrider {

// What a token endpoint granted (RFC 6749 5.1).
struct TokenGrant {
  Secret accessToken;
  Secret refreshToken;  // empty when none came (a refresh that keeps the old one)
  std::chrono::seconds expiresIn{0};  // 0 when the endpoint did not say
  std::string scope;    // as granted; empty when the endpoint did not say
  std::string account;  // from the ID token, when one came: who signed in
};

// A token endpoint's answer: a grant, or its error (RFC 6749 5.2) in the
// provider's own words.
struct TokenResponse {
  std::optional<TokenGrant> grant;
  std::string error;        // "invalid_grant", "invalid_client", ...
  std::string description;  // "AADSTS70008: The provided authorization code ..."

  // "invalid_grant: AADSTS70008: ..." or what else went wrong, made printable.
  std::string ErrorText() const;
};

// A provider's error or description as a message shows it: printable, and
// cut (at a whole UTF-8 letter) to what a terminal or a dialog can show, as
// a provider may send kilobytes. Hide secrets in it first.
std::string ProviderWords(std::string_view text);

// Reads the endpoint's JSON. A body that is no JSON, a 2xx without an
// access_token (or with one that is not printable ASCII), or a token_type
// other than Bearer is an error named after the HTTP status. Secrets in the
// body are never copied into the error. An expires_in beyond a year is
// taken as a year.
TokenResponse ReadTokenResponse(long httpStatus, std::string_view body);

// Whether text can be an access token (RFC 6749 A.12: printable ASCII): one
// with control bytes would break the frame of the SASL answer it goes into.
bool IsAccessTokenText(std::string_view token);

// The account an ID token (a JWT the token endpoint gave straight over TLS)
// names: its email, preferred_username or upn claim; empty when none.
std::string AccountOfIdToken(std::string_view idToken);

// The scopes asked for that the grant lacks, leaving out those of OpenID
// Connect and offline_access, which providers grant without listing.
std::vector<std::string> MissingScopes(std::string_view requested, std::string_view granted);

}  // namespace postrider

#pragma once

#include <string>

#include "platform/secret.h"
#include "platform/status.h"
#include "send/user_settings.h"

namespace postrider {

// Why no access token could be had.
enum class OAuthFailure {
  None,
  SignInNeeded,  // no sign-in is kept, or the provider refused the refresh token
                 // (invalid_grant: revoked, expired): the user must sign in again
  Refused,       // the provider refused otherwise (client, scope, consent), in its words
  NoAnswer,      // the provider could not be reached, or its answer made no sense
  Settings,      // a setting is missing or wrong
  Store,         // the secret store could not be asked
  Cancelled,     // the user cut the wait short
};

// An access token good for a while yet, or why there is none.
struct AccessToken {
  Secret token;
  OAuthFailure failure = OAuthFailure::None;
  std::string message;  // says what failed and what to do; never holds a token

  bool ok() const { return failure == OAuthFailure::None; }
};

// Where the send run and the server check get the token for AuthMethod=oauth2,
// once before anything changes and again before every reconnect: from
// TokenCommand, or from the program's own sign-in, refreshed before it expires.
class IAccessTokenSource {
 public:
  virtual ~IAccessTokenSource() = default;
  virtual AccessToken Token(const UserSettings& settings) = 0;
};

// The token as a run's credential for AuthMethod=oauth2, or why there is none.
inline Result<Secret> AccessTokenFor(IAccessTokenSource& tokens, const UserSettings& settings) {
  AccessToken token = tokens.Token(settings);
  if (!token.ok()) return Status::Error(token.message);
  return std::move(token.token);
}

}  // namespace postrider

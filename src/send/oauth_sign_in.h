#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "platform/status.h"
#include "send/access_token_source.h"
#include "send/oauth_tokens.h"
#include "send/user_settings.h"

namespace postrider {

struct SignInOptions {
  // Told once the browser was asked to open the address: the user can open
  // it by hand, which they must when `browser` failed.
  std::function<void(const std::string& address, const Status& browser)> addressReady;
  bool openBrowser = true;  // false: only tell the address
  std::chrono::milliseconds wait{std::chrono::minutes(10)};
};

struct SignInResult {
  OAuthFailure failure = OAuthFailure::None;
  std::string message;  // what failed, in the provider's words where it gave some
  std::string account;  // who signed in, when the provider said
  std::string notes;    // what the user should know of a sign-in that passed
  std::string storeError;  // why the store could not keep the refresh token, if it could not

  bool ok() const { return failure == OAuthFailure::None; }
};

// The authorization code flow with PKCE (RFC 7636, S256) in the user's own
// browser and a loopback redirect (RFC 8252): opens the provider's sign-in
// page, waits (running the blocking hook, so the caller can cancel) for the
// browser to come back with the code and the state it was given, exchanges
// the code, and keeps the tokens in `tokens`. Scopes the provider did not
// grant, a refusal at the provider (its error and description), a missing
// registration or consent are failures in the provider's words.
SignInResult SignIn(const UserSettings& settings, OAuthTokens& tokens,
                    const SignInOptions& options);

}  // namespace postrider

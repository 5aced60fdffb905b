#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>

#include "platform/refresh_token_store.h"
#include "send/access_token_source.h"
#include "send/oauth_token_response.h"

namespace postrider {

// The program's own OAuth 2.0 tokens: the refresh token in the secret store
// (or, where there is none, in memory until the program ends), the access
// token only in memory with its expiry, refreshed before it runs out. With
// TokenCommand set, that command's token instead, as it is, each time.
class OAuthTokens : public IAccessTokenSource {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // `store` may be absent: refresh tokens then live only in memory.
  explicit OAuthTokens(IRefreshTokenStore* store, Clock clock = {});

  // A token valid for at least a few minutes more (half its life, for a
  // short-lived one), refreshed when the one at hand is not. A refresh token
  // the provider refuses (invalid_grant) is forgotten, and the failure is
  // SignInNeeded with words that say to sign in again.
  AccessToken Token(const UserSettings& settings) override;

  // Whether a sign-in is kept for the settings' account (TokenCommand counts
  // as one): asks the store, not the provider.
  bool HasSignIn(const UserSettings& settings);

  // What the sign-in got: the refresh token goes to the store, the access
  // token to memory. An error when the store could not keep the refresh
  // token: it is then kept in memory until the program ends.
  Status Keep(const UserSettings& settings, TokenGrant grant);

  // Forgets the account's tokens, in memory and in the store.
  Status Forget(const UserSettings& settings);

  // After Keep could not store a new sign-in, for a caller that ends before
  // it could be used (postrider-cli): drops it from memory. An earlier
  // sign-in the store holds stays, as it may well still work.
  void DropUnkept(const UserSettings& settings);

  // After the server refused the access token: drops it from memory, so the
  // next Token refreshes instead of handing it out again until it expires.
  // The refresh token stays: a new access token may well be taken.
  void DropAccessToken(const UserSettings& settings);

 private:
  struct Cached {
    Secret accessToken;
    std::chrono::steady_clock::time_point expiry;
    std::chrono::seconds lifetime{0};
  };

  std::chrono::steady_clock::time_point Now() const;
  void CacheAccessToken(const std::string& key, const TokenGrant& grant);
  Status KeepRefreshToken(const UserSettings& settings, const std::string& key,
                          const Secret& refreshToken);
  AccessToken FromCommand(const UserSettings& settings);

  IRefreshTokenStore* store_;
  Clock clock_;
  std::map<std::string, Cached> accessTokens_;
  std::map<std::string, Secret> sessionRefreshTokens_;  // those the store could not keep
};

}  // namespace postrider

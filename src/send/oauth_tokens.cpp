#include "send/oauth_tokens.h"

#include "platform/password_command.h"
#include "send/oauth_client.h"
#include "send/oauth_token_endpoint.h"
#include "smtp/smtp_wording.h"

namespace postrider {
namespace {

// How long before its expiry an access token is replaced: time for a
// connection and its log-in to finish with it.
constexpr std::chrono::seconds kRefreshMargin{300};

std::string KeyText(const RefreshTokenKey& key) {
  return key.account + '\n' + key.tokenUrl + '\n' + key.clientId;
}

Secret CopyOf(const Secret& secret) { return Secret(std::string(secret.reveal())); }

AccessToken Failure(OAuthFailure failure, std::string message) {
  AccessToken token;
  token.failure = failure;
  token.message = std::move(message);
  return token;
}

std::string SignInAgain(const UserSettings& settings) {
  return "Sign in again for " + PrintableText(settings.userName) +
         " (Configure > Sign In... in the desktop program, or postrider-cli sign-in).";
}

}  // namespace

OAuthTokens::OAuthTokens(IRefreshTokenStore* store, Clock clock)
    : store_(store), clock_(std::move(clock)) {}

std::chrono::steady_clock::time_point OAuthTokens::Now() const {
  return clock_ ? clock_() : std::chrono::steady_clock::now();
}

AccessToken OAuthTokens::FromCommand(const UserSettings& settings) {
  Result<Secret> found = RunSecretCommand(settings.tokenCommand, "TokenCommand", "access token");
  if (!found) return Failure(OAuthFailure::Settings, found.status().message());
  if (!IsAccessTokenText(found->reveal())) {
    return Failure(OAuthFailure::Settings,
                   "TokenCommand printed something that is no access token: it holds "
                   "characters other than printable ASCII.");
  }
  AccessToken token;
  token.token = std::move(found.value());
  return token;
}

AccessToken OAuthTokens::Token(const UserSettings& settings) {
  if (!settings.tokenCommand.empty()) return FromCommand(settings);
  KeepSecretsOutOfCoreDumps();  // before a refresh or an access token is in memory
  const Result<OAuthClient> client = OAuthClientFromSettings(settings);
  if (!client) return Failure(OAuthFailure::Settings, client.status().message());
  const std::string key = KeyText(RefreshTokenKeyOf(settings));

  if (const auto cached = accessTokens_.find(key); cached != accessTokens_.end()) {
    const auto margin = std::min<std::chrono::steady_clock::duration>(
        kRefreshMargin, cached->second.lifetime / 2);
    if (Now() + margin < cached->second.expiry) {
      AccessToken token;
      token.token = CopyOf(cached->second.accessToken);
      return token;
    }
    accessTokens_.erase(cached);
  }

  Secret refreshToken;
  if (const auto kept = sessionRefreshTokens_.find(key); kept != sessionRefreshTokens_.end()) {
    refreshToken = CopyOf(kept->second);
  } else if (store_ != nullptr) {
    StoredRefreshToken stored = store_->Read(RefreshTokenKeyOf(settings));
    if (stored.state == StoredRefreshToken::State::Unavailable) {
      return Failure(OAuthFailure::Store,
                     "The desktop's secret store, where the sign-in of " +
                         PrintableText(settings.userName) + " is kept, cannot be asked (" +
                         stored.error + "). " + SignInAgain(settings));
    }
    if (stored.state == StoredRefreshToken::State::Found) refreshToken = std::move(stored.token);
  }
  if (refreshToken.empty()) {
    return Failure(OAuthFailure::SignInNeeded, "No OAuth 2.0 sign-in is kept for " +
                                                   PrintableText(settings.userName) + ". " +
                                                   SignInAgain(settings));
  }

  TokenEndpointAnswer answer = RefreshAccessToken(*client, refreshToken);
  // Another program (a second sign-in, or a send that had a rotated token
  // issued) may have kept a newer token since this one was read: the
  // provider refusing the old one says nothing of that one.
  if (!answer.cancelled && answer.noAnswer.empty() && !answer.response.grant &&
      answer.response.error == "invalid_grant" && store_ != nullptr) {
    StoredRefreshToken newer = store_->Read(RefreshTokenKeyOf(settings));
    if (newer.state == StoredRefreshToken::State::Found && !newer.token.empty() &&
        newer.token.reveal() != refreshToken.reveal()) {
      sessionRefreshTokens_.erase(key);
      refreshToken = std::move(newer.token);
      answer = RefreshAccessToken(*client, refreshToken);
    }
  }
  if (answer.cancelled) return Failure(OAuthFailure::Cancelled, "The sign-in was cancelled.");
  if (!answer.noAnswer.empty()) {
    return Failure(OAuthFailure::NoAnswer,
                   "The access token could not be renewed: " + answer.noAnswer);
  }
  TokenResponse& response = answer.response;
  if (!response.grant) {
    // A provider may quote the refresh token it refuses.
    const std::string said = ConcealSecret(response.ErrorText(), refreshToken.reveal());
    if (response.error == "invalid_grant") {
      // Revoked, expired, or the password changed: the token is of no more use.
      // The store's item goes only while it still holds that token.
      sessionRefreshTokens_.erase(key);
      if (store_ != nullptr) {
        const StoredRefreshToken kept = store_->Read(RefreshTokenKeyOf(settings));
        if (kept.state == StoredRefreshToken::State::Found &&
            kept.token.reveal() == refreshToken.reveal()) {
          (void)store_->Erase(RefreshTokenKeyOf(settings));
        }
      }
      return Failure(OAuthFailure::SignInNeeded,
                     "The provider no longer takes the sign-in of " +
                         PrintableText(settings.userName) + " (it was revoked or has expired): " +
                         said + "\n" + SignInAgain(settings));
    }
    return Failure(OAuthFailure::Refused, "The provider refused to renew the access token: " + said);
  }
  TokenGrant& grant = *response.grant;
  // A provider that rotates refresh tokens sends a new one to keep.
  if (!grant.refreshToken.empty()) (void)KeepRefreshToken(settings, key, grant.refreshToken);
  CacheAccessToken(key, grant);
  AccessToken token;
  token.token = std::move(grant.accessToken);
  return token;
}

void OAuthTokens::CacheAccessToken(const std::string& key, const TokenGrant& grant) {
  Cached cached;
  cached.accessToken = CopyOf(grant.accessToken);
  // Without an expiry a token is taken to last an hour, the providers' usual life.
  cached.lifetime = grant.expiresIn.count() > 0 ? grant.expiresIn : std::chrono::seconds(3600);
  cached.expiry = Now() + cached.lifetime;
  accessTokens_[key] = std::move(cached);
}

Status OAuthTokens::KeepRefreshToken(const UserSettings& settings, const std::string& key,
                                     const Secret& refreshToken) {
  Status stored = store_ != nullptr
                      ? store_->Write(RefreshTokenKeyOf(settings), refreshToken)
                      : Status::Error("there is no secret store");
  if (stored) {
    sessionRefreshTokens_.erase(key);
    return stored;
  }
  sessionRefreshTokens_[key] = CopyOf(refreshToken);
  return stored;
}

Status OAuthTokens::Keep(const UserSettings& settings, TokenGrant grant) {
  KeepSecretsOutOfCoreDumps();
  const std::string key = KeyText(RefreshTokenKeyOf(settings));
  CacheAccessToken(key, grant);
  if (grant.refreshToken.empty()) return Status::Ok();
  return KeepRefreshToken(settings, key, grant.refreshToken);
}

bool OAuthTokens::HasSignIn(const UserSettings& settings) {
  if (!settings.tokenCommand.empty()) return true;
  const std::string key = KeyText(RefreshTokenKeyOf(settings));
  if (accessTokens_.count(key) != 0 || sessionRefreshTokens_.count(key) != 0) return true;
  if (store_ == nullptr) return false;
  return store_->Read(RefreshTokenKeyOf(settings)).state == StoredRefreshToken::State::Found;
}

Status OAuthTokens::Forget(const UserSettings& settings) {
  const std::string key = KeyText(RefreshTokenKeyOf(settings));
  accessTokens_.erase(key);
  sessionRefreshTokens_.erase(key);
  return store_ != nullptr ? store_->Erase(RefreshTokenKeyOf(settings)) : Status::Ok();
}

void OAuthTokens::DropUnkept(const UserSettings& settings) {
  const std::string key = KeyText(RefreshTokenKeyOf(settings));
  accessTokens_.erase(key);
  sessionRefreshTokens_.erase(key);
}

void OAuthTokens::DropAccessToken(const UserSettings& settings) {
  accessTokens_.erase(KeyText(RefreshTokenKeyOf(settings)));
}

}  // namespace postrider

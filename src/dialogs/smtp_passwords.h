#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "dialogs/password_store.h"
#include "platform/refresh_token_store.h"
#include "send/oauth_tokens.h"
#include "send/send_report.h"

namespace postrider {

// The SMTP password of the desktop program: kept in the desktop's secret
// store, or, when there is none, only in memory for this session and asked
// for at Send. Never written to a file. Beside it, the account's OAuth 2.0
// sign-in: the refresh token in the same store, the access token in memory.
class SmtpPasswords : public ISmtpPasswordSource {
 public:
  // Asks the user; nothing when they cancel. `note` says why it is asked.
  using Ask = std::function<std::optional<Secret>(const UserSettings& settings,
                                                  const std::string& note)>;

  // `refreshTokens` may be absent: sign-ins then last until the program ends.
  SmtpPasswords(IPasswordStore& store, Ask ask, IRefreshTokenStore* refreshTokens = nullptr)
      : store_(store), ask_(std::move(ask)), tokens_(refreshTokens) {}

  // The store's key for the account: "user@server".
  static std::string AccountOf(const UserSettings& settings);

  // A password the user gave for the settings' account. It goes to the
  // store, in place of one the server refused; when the store cannot keep
  // it, it is kept for this session and the error says why it was not stored.
  // The store is the one copy of what it keeps: two windows on one account
  // read the same.
  Status Keep(const UserSettings& settings, Secret password);
  // The session's copy first, then the store's (not when the server
  // refused the password and none was given since).
  std::optional<Secret> Find(const UserSettings& settings);
  // Find, else ask the user (and keep the answer for the session; after a
  // refusal it replaces the stored one too). For AuthMethod=oauth2: the
  // access token of the account's sign-in, renewed when it is about to
  // expire; an error that says to sign in when none is kept.
  Result<Secret> Password(const UserSettings& settings) override;
  // The session's copy is forgotten and the stored one removed from the
  // store (and, should that fail, not offered again by this session) until
  // the user gives a password: the next Send asks, in every window and
  // after a restart too. One another window stored after the refused one
  // was handed out stays, and goes at the next Send. For AuthMethod=oauth2:
  // the access token is dropped, so the next Send takes a new one with the
  // sign-in kept.
  std::string PasswordRefused(const UserSettings& settings) override;

  // The OAuth 2.0 tokens of the session, for AuthMethod=oauth2.
  OAuthTokens& tokens() { return tokens_; }

 private:
  IPasswordStore& store_;
  Ask ask_;
  // Passwords the store could not keep, for this session.
  std::map<std::string, Secret> session_;
  // For a password found in the store: whether it is the one refused.
  bool StillRefused(const std::string& account);
  // Notes the password handed out for the account, when the store holds it.
  void NoteGiven(const std::string& account, const Secret& password, bool fromStore);
  std::string DigestOf(const Secret& password);

  // Accounts whose password the server refused, until a new one is given,
  // each with whether the store forgot it.
  std::map<std::string, bool> refused_;
  // A salted digest of the stored password last handed out for each account,
  // to tell at a refusal whether another window has stored a new one since.
  std::map<std::string, std::string> given_;
  std::string salt_;
  OAuthTokens tokens_;
};

}  // namespace postrider

#include "dialogs/smtp_passwords.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include "send/oauth_client.h"

namespace postrider {

namespace {

Secret CopyOf(const Secret& secret) { return Secret(std::string(secret.reveal())); }

}  // namespace

std::string SmtpPasswords::AccountOf(const UserSettings& settings) {
  return settings.userName + "@" + settings.smtpServer;
}

Status SmtpPasswords::Keep(const UserSettings& settings, Secret password) {
  const std::string account = AccountOf(settings);
  const Status stored = store_.Write(account, password);
  refused_.erase(account);
  // Once stored it is read from the store at each Send, so that what another
  // window gives or forgets for the account counts here too.
  if (stored) {
    session_.erase(account);
    return stored;
  }
  session_[account] = std::move(password);
  return Status::Error("The password could not be kept in the desktop's secret store (" +
                       stored.message() +
                       "). Postrider keeps it until it closes, and asks for it at the next "
                       "Send after that.");
}

std::optional<Secret> SmtpPasswords::Find(const UserSettings& settings) {
  const std::string account = AccountOf(settings);
  if (const auto known = session_.find(account); known != session_.end()) {
    return CopyOf(known->second);
  }
  StoredPassword stored = store_.Read(account);
  if (stored.state != StoredPassword::State::Found || StillRefused(account)) return std::nullopt;
  return std::move(stored.password);
}

bool SmtpPasswords::StillRefused(const std::string& account) {
  const auto mark = refused_.find(account);
  if (mark == refused_.end()) return false;
  // Found after the store forgot the refused one: given since, in another window.
  if (mark->second) {
    refused_.erase(mark);
    return false;
  }
  return true;
}

std::string SmtpPasswords::DigestOf(const Secret& password) {
  if (salt_.empty()) {
    for (int i = 0; i < 4; ++i) salt_ += std::to_string(QRandomGenerator::system()->generate());
  }
  QCryptographicHash hash(QCryptographicHash::Sha256);
  hash.addData(QByteArrayView(salt_.data(), static_cast<qsizetype>(salt_.size())));
  hash.addData(QByteArrayView(password.reveal().data(),
                              static_cast<qsizetype>(password.reveal().size())));
  return hash.result().toStdString();
}

void SmtpPasswords::NoteGiven(const std::string& account, const Secret& password, bool fromStore) {
  if (fromStore) {
    given_[account] = DigestOf(password);
  } else {
    given_.erase(account);
  }
}

Result<Secret> SmtpPasswords::Password(const UserSettings& settings) {
  // No password is asked for an account that signs in with a token.
  if (UsesOAuth(settings)) {
    return AccessTokenFor(tokens_, settings);
  }
  const std::string account = AccountOf(settings);
  if (const auto known = session_.find(account); known != session_.end()) {
    NoteGiven(account, known->second, false);
    return CopyOf(known->second);
  }
  StoredPassword stored = store_.Read(account);
  // The stored copy is the one the server refused: never sent again unasked.
  const bool found = stored.state == StoredPassword::State::Found;
  const bool refused = found ? StillRefused(account) : refused_.contains(account);
  if (found && !refused) {
    NoteGiven(account, stored.password, true);
    return std::move(stored.password);
  }
  stored.password.Clear();
  std::string note =
      stored.state == StoredPassword::State::Unavailable
          ? "The desktop's secret store cannot be used (" + stored.error +
                "), so the password is kept only until Postrider closes."
          : "No password is stored for this account yet.";
  if (refused) {
    note = "The server refused the last password given for this account." +
           (stored.state == StoredPassword::State::Unavailable ? " " + note : std::string());
  }
  std::optional<Secret> typed = ask_ ? ask_(settings, note) : std::nullopt;
  if (!typed || typed->empty()) {
    return Status::Error("No password was given for " + settings.userName + ", so nothing was sent.");
  }
  refused_.erase(account);
  // A store that is there keeps it for the next session: in place of a
  // refused one, or where it had none. Only what it cannot keep stays here.
  const bool kept =
      stored.state != StoredPassword::State::Unavailable && store_.Write(account, *typed).ok();
  if (!kept) session_[account] = CopyOf(*typed);
  NoteGiven(account, *typed, kept);
  return std::move(*typed);
}

std::string SmtpPasswords::PasswordRefused(const UserSettings& settings) {
  if (UsesOAuth(settings)) {
    // TokenCommand's token is the command's to renew: nothing is kept here.
    if (!settings.tokenCommand.empty()) return {};
    tokens_.DropAccessToken(settings);
    return "Postrider gets a new access token at the next Send; if that one is refused too, "
           "sign in again (Configure > Sign In...).";
  }
  const std::string account = AccountOf(settings);
  session_.erase(account);
  // Another window may have stored a new password since this one was handed
  // out: that one is the user's answer to the refusal, kept and sent next.
  if (const auto given = given_.find(account); given != given_.end()) {
    StoredPassword stored = store_.Read(account);
    const bool replaced = stored.state == StoredPassword::State::Found &&
                          DigestOf(stored.password) != given->second;
    stored.password.Clear();
    given_.erase(given);
    if (replaced) {
      refused_.erase(account);
      return "The password given since for this account goes at the next Send.";
    }
  }
  // Gone from the store too, so that neither a later session nor another
  // window sends it again unasked (failed log-ins lock accounts). Should
  // the store fail, the mark still holds for this session.
  refused_[account] = store_.Forget(account).ok();
  return "Postrider asks for the password at the next Send.";
}

}  // namespace postrider

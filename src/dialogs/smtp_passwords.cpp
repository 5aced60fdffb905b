#include "dialogs/smtp_passwords.h"

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
  // The session's copy is the newest either way.
  session_[account] = std::move(password);
  refused_.erase(account);
  if (stored) return stored;
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
  if (refused_.contains(account)) return std::nullopt;
  StoredPassword stored = store_.Read(account);
  if (stored.state != StoredPassword::State::Found) return std::nullopt;
  return std::move(stored.password);
}

Result<Secret> SmtpPasswords::Password(const UserSettings& settings) {
  // No password is asked for an account that signs in with a token.
  if (UsesOAuth(settings)) {
    return AccessTokenFor(tokens_, settings);
  }
  const std::string account = AccountOf(settings);
  if (const auto known = session_.find(account); known != session_.end()) {
    return CopyOf(known->second);
  }
  const bool refused = refused_.contains(account);
  StoredPassword stored = store_.Read(account);
  // The stored copy is the one the server refused: never sent again unasked.
  if (stored.state == StoredPassword::State::Found && !refused) return std::move(stored.password);
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
  // A store that is there keeps it for the next session: in place of a
  // refused one, or where it had none.
  if (stored.state != StoredPassword::State::Unavailable) (void)store_.Write(account, *typed);
  session_[account] = CopyOf(*typed);
  refused_.erase(account);
  return std::move(*typed);
}

std::string SmtpPasswords::PasswordRefused(const UserSettings& settings) {
  if (UsesOAuth(settings)) return {};
  const std::string account = AccountOf(settings);
  session_.erase(account);
  refused_.insert(account);
  return "Postrider asks for the password at the next Send.";
}

}  // namespace postrider

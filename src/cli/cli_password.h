#pragma once

#include <optional>
#include <string>

#include "platform/secret.h"
#include "platform/status.h"
#include "send/access_token_source.h"
#include "send/send_report.h"
#include "send/user_settings.h"

namespace postrider::cli {

inline constexpr const char* kPasswordVariable = "POSTRIDER_SMTP_PASSWORD";

// The password for UserName, from the first of: the file --password-file
// names, the environment variable POSTRIDER_SMTP_PASSWORD, the
// PasswordCommand setting, or a question on the terminal (not echoed). For
// AuthMethod=oauth2 the credential is the access token from `tokens`
// (TokenCommand, or the sign-in kept in the Secret Service), asked again
// before every connection so that it is renewed before it expires.
class CliPasswordSource : public ISmtpPasswordSource {
 public:
  explicit CliPasswordSource(std::optional<std::string> passwordFile,
                             IAccessTokenSource* tokens = nullptr)
      : passwordFile_(std::move(passwordFile)), tokens_(tokens) {}
  Result<Secret> Password(const UserSettings& settings) override;
  // Where the refused password came from, so the user knows what to change:
  // nothing here can change it.
  std::string PasswordRefused(const UserSettings& settings) override;

 private:
  std::optional<std::string> passwordFile_;
  IAccessTokenSource* tokens_;
  // Where the last password came from, in words.
  std::string origin_;
};

// Asks on the controlling terminal with echo off; an error when there is no
// terminal or nothing was typed.
Result<Secret> AskPasswordOnTerminal(const std::string& prompt);

}  // namespace postrider::cli

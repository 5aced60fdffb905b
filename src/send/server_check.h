#pragma once

#include <functional>
#include <string>

#include "platform/secret.h"
#include "send/access_token_source.h"
#include "send/user_settings.h"
#include "smtp/smtp_client.h"

namespace postrider {

// What a server check found: 0 when every step passed, else the failing
// step's result with the server's or the TLS library's own words.
struct ServerCheckResult {
  int result = 0;
  SmtpStep failedStep = SmtpStep::None;
  std::string failureText;  // empty when every step passed

  bool passed() const { return result == 0; }
  // "Failed at RCPT TO (550):\n..." as the user reads it; empty when passed.
  std::string Summary() const;
};

// Connects with the settings' server, security and log-in (the password
// given, when there is a user name), says QUIT and sends no mail. Each step
// that passes is told, one line at a time, to `say`: the connection, the
// certificate, the greeting, the capabilities, STARTTLS, AUTH, QUIT. A
// setting that cannot make a session fails before anything is connected.
// The socket calls run the blocking hook, so the caller may cancel.
// For AuthMethod=oauth2 the first step is the access token, from `tokens`;
// then the check connects without logging in and tells which of OAUTHBEARER
// and XOAUTH2 the token would go by, failing when the server offers neither
// or the connection has no TLS.
ServerCheckResult CheckServer(const UserSettings& settings, const Secret* password,
                              const std::function<void(const std::string& line)>& say,
                              SmtpTimeouts timeouts = {}, IAccessTokenSource* tokens = nullptr);

}  // namespace postrider

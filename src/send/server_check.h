#pragma once

#include <functional>
#include <string>

#include "platform/secret.h"
#include "send/access_token_source.h"
#include "send/user_settings.h"
#include "smtp/smtp_client.h"

namespace postrider {

// What a server check found: the connection's outcome, with the server's or
// the TLS library's own words, or a setting that could make no session.
struct ServerCheckResult {
  SmtpOutcome outcome;
  std::string settingsProblem;  // empty when the settings made a session

  bool passed() const { return settingsProblem.empty() && outcome.ok(); }
  // "Failed at AUTH (535):\n..." as the user reads it; empty when passed.
  std::string Summary() const;
};

// What is wrong with an SMTPServer value ("The setting SMTPServer=... has a
// port that is not a number from 1 to 65535."), or empty when it names a
// host and a port. The check fails with it before asking for anything.
std::string ServerNameProblem(const std::string& server);

// Connects with the settings' server, security and log-in (the password
// given, when there is a user name), says QUIT and sends no mail. Each step
// that passes is told, one line at a time, to `say`: the connection, the
// certificate, the greeting, the capabilities, STARTTLS, AUTH, QUIT. A
// setting that cannot make a session fails before anything is connected.
// The socket calls run the blocking hook, so the caller may cancel.
// For AuthMethod=oauth2 the first step is the access token, from `tokens`,
// and the log-in goes with it by OAUTHBEARER or XOAUTH2.
ServerCheckResult CheckServer(const UserSettings& settings, const Secret* password,
                              const std::function<void(const std::string& line)>& say,
                              SmtpTimeouts timeouts = {}, IAccessTokenSource* tokens = nullptr);

}  // namespace postrider

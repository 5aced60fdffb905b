#pragma once

#include "platform/secret.h"
#include "platform/status.h"
#include "send/user_settings.h"
#include "smtp/smtp_session_options.h"

namespace postrider {

// The SMTP session the settings ask for, with the credential (kept by the
// caller) when there is a user name: the password for AuthMethod=password,
// the access token for AuthMethod=oauth2. An error names the setting that is
// wrong and what it should be, so nothing is sent on a guess: an unknown
// Security or AuthMethod value never falls back to something else.
Result<SmtpSessionOptions> SessionOptionsFrom(const UserSettings& settings,
                                              const Secret* credential);

}  // namespace postrider

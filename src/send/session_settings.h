#pragma once

#include "platform/secret.h"
#include "platform/status.h"
#include "send/user_settings.h"
#include "smtp/smtp_session_options.h"

namespace postrider {

// The SMTP session the settings ask for, with the password (kept by the
// caller) when there is a user name. An error names the setting that is
// wrong and what it should be, so nothing is sent on a guess: an unknown
// Security value never falls back to plain text.
Result<SmtpSessionOptions> SessionOptionsFrom(const UserSettings& settings,
                                              const Secret* password);

}  // namespace postrider

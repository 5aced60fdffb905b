#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "smtp/smtp_capabilities.h"

namespace postrider {

enum class SmtpAuthMechanism { Plain, Login };

// PLAIN when the server offers it, else LOGIN; nothing when it offers neither.
std::optional<SmtpAuthMechanism> ChooseAuthMechanism(const SmtpCapabilities& capabilities);

std::string_view AuthMechanismName(SmtpAuthMechanism mechanism);

// The initial response of AUTH PLAIN (RFC 4616): base64 of NUL, user, NUL,
// password. The caller wipes it once sent.
std::string PlainAuthResponse(std::string_view user, std::string_view password);

}  // namespace postrider

#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "smtp/smtp_capabilities.h"

namespace postrider {

enum class SmtpAuthMechanism { Plain, Login };

// PLAIN when the server offers it, else LOGIN; nothing when it offers neither.
// Without `plainUsable` (a log-in PLAIN cannot carry) only LOGIN will do.
std::optional<SmtpAuthMechanism> ChooseAuthMechanism(const SmtpCapabilities& capabilities,
                                                     bool plainUsable = true);

// Whether AUTH PLAIN can carry the log-in: it separates its fields with NUL
// (RFC 4616), so a NUL inside one would split it elsewhere on the server.
bool PlainCanCarry(std::string_view user, std::string_view password);

// Whether "AUTH <mechanism> <response>" fits the 512 octets of a command line
// (RFC 5321 4.5.3.1.4). A longer initial response must wait for the server's
// 334 and go as a line of its own (RFC 4954 4).
bool InitialResponseFits(std::string_view verb, std::string_view response);

std::string_view AuthMechanismName(SmtpAuthMechanism mechanism);

// The initial response of AUTH PLAIN (RFC 4616): base64 of NUL, user, NUL,
// password. The caller wipes it once sent.
std::string PlainAuthResponse(std::string_view user, std::string_view password);

}  // namespace postrider

#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/server_address.h"

namespace postrider {

// How the connection to the server is protected.
enum class SmtpSecurity {
  None,      // plain TCP
  StartTls,  // plain TCP, then STARTTLS before anything else (RFC 3207); required
  Tls,       // TLS from the first byte (RFC 8314), as on port 465
};

// "none", "starttls" or "tls" in any letter case, blanks around allowed; an
// empty text is "none". Nothing for any other text.
std::optional<SmtpSecurity> ParseSmtpSecurity(std::string_view text);

std::string_view SmtpSecurityName(SmtpSecurity security);

// The port used when the server setting names none: the smtp service's (25)
// for none, 587 (submission) for STARTTLS, 465 (submissions) for TLS.
DefaultPort DefaultPortFor(SmtpSecurity security);

}  // namespace postrider

#include "smtp/smtp_security.h"

#include <cctype>
#include <string>

#include "platform/ascii_text.h"
#include "platform/server_address.h"

namespace postrider {

std::optional<SmtpSecurity> ParseSmtpSecurity(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  const std::string lower = AsciiLowercase(text);
  if (lower.empty() || lower == "none") return SmtpSecurity::None;
  if (lower == "starttls") return SmtpSecurity::StartTls;
  if (lower == "tls") return SmtpSecurity::Tls;
  return std::nullopt;
}

std::string_view SmtpSecurityName(SmtpSecurity security) {
  switch (security) {
    case SmtpSecurity::None: return "none";
    case SmtpSecurity::StartTls: return "starttls";
    case SmtpSecurity::Tls: return "tls";
  }
  return "none";
}

DefaultPort DefaultPortFor(SmtpSecurity security) {
  switch (security) {
    case SmtpSecurity::StartTls: return 587;
    case SmtpSecurity::Tls: return 465;
    case SmtpSecurity::None: break;
  }
  return DefaultPort::SmtpService();
}

}  // namespace postrider

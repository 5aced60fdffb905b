#include "smtp/smtp_auth.h"

#include "platform/base64.h"
#include "platform/secret.h"

namespace postrider {

std::optional<SmtpAuthMechanism> ChooseAuthMechanism(const SmtpCapabilities& capabilities,
                                                     bool plainUsable) {
  if (plainUsable && capabilities.OffersAuth("PLAIN")) return SmtpAuthMechanism::Plain;
  if (capabilities.OffersAuth("LOGIN")) return SmtpAuthMechanism::Login;
  return std::nullopt;
}

std::string_view AuthMechanismName(SmtpAuthMechanism mechanism) {
  return mechanism == SmtpAuthMechanism::Plain ? "PLAIN" : "LOGIN";
}

bool PlainCanCarry(std::string_view user, std::string_view password) {
  return user.find('\0') == std::string_view::npos &&
         password.find('\0') == std::string_view::npos;
}

bool InitialResponseFits(std::string_view verb, std::string_view response) {
  constexpr std::size_t kCommandLine = 512;  // with its CR LF
  return verb.size() + response.size() + 2 <= kCommandLine;
}

std::string PlainAuthResponse(std::string_view user, std::string_view password) {
  std::string message;
  message.reserve(user.size() + password.size() + 2);
  message += '\0';
  message += user;
  message += '\0';
  message += password;
  std::string response = Base64(message);
  WipeString(message);
  return response;
}

}  // namespace postrider

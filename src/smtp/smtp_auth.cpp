#include "smtp/smtp_auth.h"

#include "platform/base64.h"
#include "platform/secret.h"

namespace postrider {

std::optional<SmtpAuthMechanism> ChooseAuthMechanism(const SmtpCapabilities& capabilities) {
  if (capabilities.OffersAuth("PLAIN")) return SmtpAuthMechanism::Plain;
  if (capabilities.OffersAuth("LOGIN")) return SmtpAuthMechanism::Login;
  return std::nullopt;
}

std::string_view AuthMechanismName(SmtpAuthMechanism mechanism) {
  return mechanism == SmtpAuthMechanism::Plain ? "PLAIN" : "LOGIN";
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

#include "smtp/smtp_oauth.h"

#include <nlohmann/json.hpp>

#include "platform/base64.h"
#include "platform/secret.h"
#include "smtp/smtp_wording.h"

namespace postrider {
namespace {

// RFC 7628's saslname: a user name with ',' and '=' escaped.
std::string SaslName(std::string_view user) {
  std::string name;
  for (const char c : user) {
    if (c == ',') {
      name += "=2C";
    } else if (c == '=') {
      name += "=3D";
    } else {
      name += c;
    }
  }
  return name;
}

std::string TextOf(const nlohmann::json& document, const char* key) {
  const auto found = document.find(key);
  if (found == document.end()) return {};
  if (found->is_string()) return found->get<std::string>();
  if (found->is_number()) return found->dump();
  return {};
}

}  // namespace

std::string_view OAuthMechanismName(SmtpOAuthMechanism mechanism) {
  return mechanism == SmtpOAuthMechanism::OAuthBearer ? "OAUTHBEARER" : "XOAUTH2";
}

OAuthMechanismChoice ChooseOAuthMechanism(const SmtpCapabilities& capabilities, bool encrypted,
                                          std::string_view userName,
                                          const SmtpReplyReader* reader) {
  OAuthMechanismChoice choice;
  if (!encrypted) {
    choice.refusal =
        "The access token is never sent over a connection without TLS. Set Security=starttls "
        "or Security=tls.";
    return choice;
  }
  if (capabilities.OffersAuth("OAUTHBEARER")) {
    choice.mechanism = SmtpOAuthMechanism::OAuthBearer;
  } else if (capabilities.OffersAuth("XOAUTH2")) {
    choice.mechanism = SmtpOAuthMechanism::XOAuth2;
  } else if (capabilities.authMechanisms.empty()) {
    choice.refusal = "The server offers no AUTH, so " + PrintableText(userName) +
                     " cannot sign in with OAuth 2.0.";
  } else {
    const SmtpReplyReader unhiding;
    choice.refusal = "The server offers AUTH " +
                     (reader != nullptr ? *reader : unhiding).Shown(capabilities.authOffered, " ") +
                     ", but neither OAUTHBEARER nor XOAUTH2, so the OAuth 2.0 sign-in cannot be "
                     "used with it: choose the password sign-in (AuthMethod=password).";
  }
  return choice;
}

std::string OAuthInitialResponse(SmtpOAuthMechanism mechanism, std::string_view user,
                                 std::string_view host, std::uint16_t port,
                                 std::string_view accessToken) {
  std::string message;
  message.reserve(accessToken.size() + user.size() + host.size() + 48);
  if (mechanism == SmtpOAuthMechanism::XOAuth2) {
    message += "user=";
    message += user;
    message += "\x01" "auth=Bearer ";
  } else {
    message += "n,a=";
    message += SaslName(user);
    message += ",\x01" "host=";
    message += host;
    message += "\x01" "port=";
    message += std::to_string(port);
    message += "\x01" "auth=Bearer ";
  }
  message += accessToken;
  message += "\x01\x01";
  std::string response = Base64(message);
  WipeString(message);
  return response;
}

std::optional<OAuthErrorDocument> ReadOAuthChallenge(std::string_view challengeText) {
  while (!challengeText.empty() && (challengeText.back() == ' ' || challengeText.back() == '\r')) {
    challengeText.remove_suffix(1);
  }
  const std::optional<std::string> json = DecodeBase64(challengeText);
  if (!json || json->empty()) return std::nullopt;
  const nlohmann::json document = nlohmann::json::parse(*json, nullptr, false);
  if (document.is_discarded() || !document.is_object()) return std::nullopt;
  OAuthErrorDocument read;
  read.status = TextOf(document, "status");
  read.scope = TextOf(document, "scope");
  read.schemes = TextOf(document, "schemes");
  if (read.status.empty() && read.scope.empty() && read.schemes.empty()) return std::nullopt;
  return read;
}

std::string_view OAuthChallengeAnswer(SmtpOAuthMechanism mechanism) {
  return mechanism == SmtpOAuthMechanism::OAuthBearer ? "AQ==" : "";
}

std::string OAuthRefusalText(std::string_view userName, const SmtpReply& finalReply,
                             const std::optional<OAuthErrorDocument>& document) {
  std::string text = "The server refused the OAuth 2.0 sign-in of " + PrintableText(userName) +
                     ":\n" + ShownReply(finalReply);
  if (document) {
    text += "\nIt said of the token: status " + PrintableText(document->status);
    if (!document->scope.empty()) text += ", the scope it needs " + PrintableText(document->scope);
    text += '.';
  }
  text +=
      "\nSign in again (Configure > Sign In..., or postrider-cli sign-in); the account signed in "
      "must be the one UserName names.";
  return text;
}

}  // namespace postrider

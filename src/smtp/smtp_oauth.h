#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "smtp/smtp_capabilities.h"
#include "smtp/smtp_reply_reader.h"

namespace postrider {

// The SASL mechanisms that carry an OAuth 2.0 access token.
enum class SmtpOAuthMechanism {
  OAuthBearer,  // RFC 7628
  XOAuth2,      // Google's and Microsoft's older one
};

std::string_view OAuthMechanismName(SmtpOAuthMechanism mechanism);

// The mechanism to log in with, or why there is none: the text names what the
// server offered.
struct OAuthMechanismChoice {
  std::optional<SmtpOAuthMechanism> mechanism;
  std::string refusal;
};

// OAUTHBEARER when the server offers it, else XOAUTH2; never over a
// connection without TLS, since a bearer token opens the account to whoever
// reads it.
// `reader`, when given, hides in what the server offered the log-in it hides.
OAuthMechanismChoice ChooseOAuthMechanism(const SmtpCapabilities& capabilities, bool encrypted,
                                          std::string_view userName,
                                          const SmtpReplyReader* reader = nullptr);

// The initial client response for AUTH, in base64. XOAUTH2:
// "user=U^Aauth=Bearer T^A^A"; OAUTHBEARER: "n,a=U,^Ahost=H^Aport=P^Aauth=Bearer T^A^A"
// (the user's ',' and '=' written "=2C" and "=3D"). The caller wipes it once sent.
std::string OAuthInitialResponse(SmtpOAuthMechanism mechanism, std::string_view user,
                                 std::string_view host, std::uint16_t port,
                                 std::string_view accessToken);

// The JSON document a server sends in a 334 challenge when it refuses the
// token (RFC 7628 3.2.2; Google's XOAUTH2 the same): its status ("401",
// "invalid_token"), the scope the token needs, the schemes it takes.
struct OAuthErrorDocument {
  std::string status;
  std::string scope;
  std::string schemes;
};

// The document in a 334 reply's text (base64 of JSON); nothing when the text
// is not one. Every value is the server's, so shown only through PrintableText.
std::optional<OAuthErrorDocument> ReadOAuthChallenge(std::string_view challengeText);

// The answer to that 334, after which the server ends the exchange with its
// 5xx: OAUTHBEARER's %x01 ("AQ==", RFC 7628 3.2.3), XOAUTH2's empty line
// (as Google and Microsoft document it).
std::string_view OAuthChallengeAnswer(SmtpOAuthMechanism mechanism);

// What the user reads when the server refused the token: the server's reply,
// and the error document's words when one came.
std::string OAuthRefusalText(std::string_view userName, const SmtpReply& finalReply,
                             const std::optional<OAuthErrorDocument>& document);

}  // namespace postrider

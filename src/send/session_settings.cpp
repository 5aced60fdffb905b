#include "send/session_settings.h"

#include <algorithm>

#include "send/oauth_client.h"
#include "smtp/smtp_wording.h"
#include "smtp/tls_certificate.h"

namespace postrider {

Result<SmtpSessionOptions> SessionOptionsFrom(const UserSettings& settings,
                                              const Secret* credential) {
  SmtpSessionOptions options;
  const std::optional<SmtpSecurity> security = ParseSmtpSecurity(settings.security);
  if (!security) {
    // A hand-edited value may hold escape sequences: never sent to a terminal as they are.
    return Status::Error("The setting Security=" + PrintableText(settings.security) +
                         " is not one of none, starttls or tls.");
  }
  options.security = *security;
  if (!settings.tlsFingerprint.empty()) {
    const std::optional<std::string> fingerprint = NormalizeFingerprint(settings.tlsFingerprint);
    if (!fingerprint) {
      return Status::Error("The setting TLSFingerprint=" + PrintableText(settings.tlsFingerprint) +
                           " is not a SHA-256 fingerprint (64 hex digits, colons allowed).");
    }
    options.fingerprint = *fingerprint;
  }
  options.trustFile = settings.tlsTrustFile;
  if (const Status method = CheckAuthMethod(settings); !method) return method;
  // The log-in puts a NUL (PLAIN) or ^A (XOAUTH2) after the user name, and a
  // line end would end the command: a name holding one would be misread.
  if (std::any_of(settings.userName.begin(), settings.userName.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
      })) {
    return Status::Error(
        "The setting UserName holds a control character, which no log-in can carry.");
  }
  options.userName = settings.userName;
  if (UsesOAuth(settings)) {
    if (settings.userName.empty()) {
      return Status::Error("AuthMethod=oauth2 needs UserName: the account the token is for.");
    }
    options.signIn = SmtpSignIn::OAuth2;
    options.accessToken = credential;
  } else {
    options.password = credential;
  }
  options.allowPlainAuth = settings.allowPlainAuth != 0;
  options.heloName = settings.heloName;
  return options;
}

}  // namespace postrider

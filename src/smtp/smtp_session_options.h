#pragma once

#include <string>

#include "platform/secret.h"
#include "smtp/smtp_security.h"

namespace postrider {

// How a user name logs in: with its password (PLAIN or LOGIN) or with an
// OAuth 2.0 access token (OAUTHBEARER or XOAUTH2).
enum class SmtpSignIn { Password, OAuth2 };

// How to reach and log in to the server, beyond its name.
struct SmtpSessionOptions {
  SmtpSecurity security = SmtpSecurity::None;
  std::string heloName;         // empty: this host's full name, else the address literal
  std::string userName;         // empty: no AUTH
  SmtpSignIn signIn = SmtpSignIn::Password;
  // Needed with a user name. The client keeps its address after Connect, to
  // hide it in the server's replies, so it must outlive the client's use.
  const Secret* password = nullptr;
  const Secret* accessToken = nullptr;  // instead of it for SmtpSignIn::OAuth2; kept so too
  bool allowPlainAuth = false;  // the password may cross a connection without TLS
  std::string trustFile;        // PEM file of CA certificates, or of the server's own
  std::string fingerprint;      // SHA-256 of the one certificate to accept, 64 hex digits
};

}  // namespace postrider
